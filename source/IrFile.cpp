#include "IrFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace brontal {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The sub-format GUID's bytes after its leading format tag.
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t U32(const unsigned char* p)
{
	return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
	       static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t U16(const unsigned char* p)
{
	return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

struct Format
{
	std::uint16_t uTag = 0;
	unsigned uChannels = 0;
	std::uint32_t uRate = 0;
	unsigned uBlockAlign = 0;
	unsigned uBits = 0;
};

// One sample of the container, as -1..1 (integers) or as stored (floats).
double SampleAt(const unsigned char* p, const Format& f)
{
	if (f.uTag == kFormatFloat)
	{
		if (f.uBits == 32)
		{
			const std::uint32_t u = U32(p);
			float x;
			std::memcpy(&x, &u, sizeof x);
			return x;
		}
		const std::uint64_t u = static_cast<std::uint64_t>(U32(p)) | static_cast<std::uint64_t>(U32(p + 4)) << 32;
		double x;
		std::memcpy(&x, &u, sizeof x);
		return x;
	}
	switch (f.uBits)
	{
	case 8: return (static_cast<int>(p[0]) - 128) / 128.0;
	case 16: return static_cast<std::int16_t>(U16(p)) / 32768.0;
	case 24:
		return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 | static_cast<std::uint32_t>(p[1]) << 16 |
		                                 static_cast<std::uint32_t>(p[2]) << 24) /
		       2147483648.0;
	default: return static_cast<std::int32_t>(U32(p)) / 2147483648.0;
	}
}

IrReadResult Refuse(const std::string& sName, const std::string& sWhat)
{
	IrReadResult r;
	r.sMessage = "The impulse response file '" + sName + "' " + sWhat + ".";
	return r;
}

std::string Number(double d, int iDecimals)
{
	char sz[64];
	std::snprintf(sz, sizeof sz, "%.*f", iDecimals, d);
	return sz;
}

} // namespace

IrReadResult ReadWav(const unsigned char* pData, std::size_t uSize, const std::string& sName)
{
	if (uSize < 12 || std::memcmp(pData, "RIFF", 4) != 0 || std::memcmp(pData + 8, "WAVE", 4) != 0)
		return Refuse(sName, "is not a WAV file (no RIFF/WAVE header)");

	// The RIFF size is often wrong in files written while streaming; the
	// chunks are walked to the end of what is there instead.
	Format f;
	bool bHaveFormat = false;
	const unsigned char* pSamples = nullptr;
	std::size_t uDataBytes = 0;
	bool bDataCut = false;
	std::size_t uPos = 12;
	while (uSize - uPos >= 8)
	{
		const unsigned char* pChunk = pData + uPos;
		const std::size_t uChunkSize = U32(pChunk + 4);
		const std::size_t uLeft = uSize - uPos - 8;
		if (std::memcmp(pChunk, "fmt ", 4) == 0 && !bHaveFormat)
		{
			if (uChunkSize < 16 || uChunkSize > uLeft)
				return Refuse(sName, "has a format chunk that is cut short");
			const unsigned char* p = pChunk + 8;
			f.uTag = U16(p);
			f.uChannels = U16(p + 2);
			f.uRate = U32(p + 4);
			f.uBlockAlign = U16(p + 12);
			f.uBits = U16(p + 14);
			if (f.uTag == kFormatExtensible)
			{
				if (uChunkSize < 40 || U16(p + 16) < 22)
					return Refuse(sName, "has an extensible format chunk that is cut short");
				if (std::memcmp(p + 26, kGuidTail, sizeof kGuidTail) != 0)
					return Refuse(sName, "has an unknown extensible sub-format");
				f.uTag = U16(p + 24);
			}
			bHaveFormat = true;
		}
		else if (std::memcmp(pChunk, "data", 4) == 0 && !pSamples)
		{
			pSamples = pChunk + 8;
			uDataBytes = uChunkSize;
			if (uChunkSize > uLeft)
			{
				// A size of 0 or 0xFFFFFFFF comes from writers that never
				// went back to fill it in; the frames present are used.
				uDataBytes = uLeft;
				bDataCut = true;
			}
		}
		if (uChunkSize > uLeft)
			break;
		// Chunks start on even offsets: an odd size is followed by a pad byte.
		uPos += 8 + uChunkSize + (uChunkSize & 1);
		if (uPos > uSize)
			break;
	}

	if (!bHaveFormat)
		return Refuse(sName, "has no format chunk");
	if (f.uTag != kFormatPcm && f.uTag != kFormatFloat)
		return Refuse(sName, "is in a compressed format (" + std::to_string(f.uTag) + "), not PCM or float");
	const bool bPcmBits = f.uTag == kFormatPcm && (f.uBits == 8 || f.uBits == 16 || f.uBits == 24 || f.uBits == 32);
	const bool bFloatBits = f.uTag == kFormatFloat && (f.uBits == 32 || f.uBits == 64);
	if (!bPcmBits && !bFloatBits)
		return Refuse(sName, "has " + std::to_string(f.uBits) + "-bit " + (f.uTag == kFormatPcm ? "PCM" : "float") +
		                         " samples, which are not supported");
	if (f.uChannels == 0)
		return Refuse(sName, "has no channels");
	const unsigned uBytes = f.uBits / 8;
	if (f.uBlockAlign < f.uChannels * uBytes)
		return Refuse(sName, "has a frame size too small for its channels");
	if (f.uRate < kIrMinRate || f.uRate > kIrMaxRate)
		return Refuse(sName, "has a sample rate of " + std::to_string(f.uRate) + " Hz, outside 8 to 384 kHz");
	if (!pSamples)
		return Refuse(sName, "has no data chunk");

	const std::size_t uFrames = uDataBytes / f.uBlockAlign;
	if (uFrames == 0)
		return Refuse(sName, "holds no samples");
	const std::size_t uMaxFrames = static_cast<std::size_t>(std::lround(kIrMaxSeconds * f.uRate));
	const std::size_t uKeep = uFrames < uMaxFrames ? uFrames : uMaxFrames;
	const unsigned uUsed = f.uChannels < 2 ? f.uChannels : 2;

	IrReadResult r;
	r.samples.dSampleRate = f.uRate;
	r.samples.afLeft.resize(uKeep);
	if (uUsed == 2)
		r.samples.afRight.resize(uKeep);
	double dPeak = 0.0;
	for (std::size_t i = 0; i < uKeep; ++i)
		for (unsigned c = 0; c < uUsed; ++c)
		{
			const double x = SampleAt(pSamples + i * f.uBlockAlign + c * uBytes, f);
			if (!std::isfinite(x) || std::fabs(x) > 1.0e6)
				return Refuse(sName, "holds samples that are not finite numbers");
			dPeak = std::fabs(x) > dPeak ? std::fabs(x) : dPeak;
			(c == 0 ? r.samples.afLeft : r.samples.afRight)[i] = static_cast<float>(x);
		}
	if (dPeak == 0.0 || static_cast<float>(dPeak) == 0.0f)
		return Refuse(sName, "holds only silence");

	std::string sNote;
	if (uFrames > uMaxFrames)
	{
		// A half cosine to zero, so the cut does not ring.
		const std::size_t uFade = static_cast<std::size_t>(std::lround(kIrCutFadeSeconds * f.uRate));
		for (std::size_t k = 0; k < uFade; ++k)
		{
			const float g = static_cast<float>(0.5 + 0.5 * std::cos(kPi * static_cast<double>(k + 1) / uFade));
			r.samples.afLeft[uKeep - uFade + k] *= g;
			if (uUsed == 2)
				r.samples.afRight[uKeep - uFade + k] *= g;
		}
		sNote = "is " + Number(static_cast<double>(uFrames) / f.uRate, 2) + " s long: its first 2 s are used, faded out over the last 10 ms";
	}
	if (f.uChannels > 2)
		sNote += std::string(sNote.empty() ? "has " : ", and it has ") + std::to_string(f.uChannels) +
		         " channels: the first two are used as left and right";
	if (bDataCut)
		sNote += std::string(sNote.empty() ? "is shorter than its data chunk claims: " : ", and it is shorter than its data chunk claims: ") +
		         "the " + std::to_string(uFrames) + " frames present are used";
	if (!sNote.empty())
		r.sMessage = "The impulse response file '" + sName + "' " + sNote + ".";
	r.bOk = true;
	return r;
}

std::string FileNameOf(const std::string& sPath)
{
	const std::size_t uSlash = sPath.find_last_of("/\\");
	return uSlash == std::string::npos ? sPath : sPath.substr(uSlash + 1);
}

IrReadResult ReadWavFile(const std::string& sPath)
{
	const std::string sName = FileNameOf(sPath);
	std::ifstream file(std::filesystem::u8path(sPath), std::ios::binary);
	if (!file)
		return Refuse(sName, "cannot be opened");
	file.seekg(0, std::ios::end);
	const std::streamoff iSize = file.tellg();
	if (iSize < 0)
		return Refuse(sName, "cannot be read");
	if (static_cast<std::uint64_t>(iSize) > kIrMaxFileBytes)
		return Refuse(sName, "is larger than 64 MB, far more than 2 s of any response");
	std::vector<unsigned char> bytes(static_cast<std::size_t>(iSize));
	file.seekg(0, std::ios::beg);
	if (!bytes.empty() && !file.read(reinterpret_cast<char*>(bytes.data()), iSize))
		return Refuse(sName, "cannot be read");
	return ReadWav(bytes.data(), bytes.size(), sName);
}

} // namespace brontal
