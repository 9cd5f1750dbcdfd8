#include "irstate.h"

#include <cmath>

namespace brontal {
namespace {
constexpr std::uint32_t kNormaliseFlag = 1;
constexpr std::uint32_t kTrimFlag = 2;
} // namespace

StateChunk EncodeIrChunk(const LoadedIr& ir)
{
	ChunkWriter writer;
	writer.PutU32((ir.settings.bNormalise ? kNormaliseFlag : 0) | (ir.settings.bTrim ? kTrimFlag : 0));
	writer.PutString(ir.sName.substr(0, kIrMaxNameBytes));
	writer.PutString(ir.sPath.substr(0, kIrMaxPathBytes));
	writer.PutU32(static_cast<std::uint32_t>(ir.samples.dSampleRate));
	writer.PutU32(ir.samples.IsStereo() ? 2 : 1);
	writer.PutU32(static_cast<std::uint32_t>(ir.samples.Frames()));
	for (const std::vector<float>* pChannel : {&ir.samples.afLeft, &ir.samples.afRight})
		for (float x : *pChannel)
			writer.PutF32(x);
	return {kIrChunkTag, kIrChunkVersion, std::move(writer.Bytes())};
}

bool DecodeIrChunk(const StateChunk& chunk, LoadedIr& out)
{
	if (chunk.uTag != kIrChunkTag || chunk.uVersion != kIrChunkVersion)
		return false;
	ChunkReader reader(chunk.payload);
	LoadedIr ir;
	const std::uint32_t uFlags = reader.GetU32();
	ir.settings.bNormalise = (uFlags & kNormaliseFlag) != 0;
	ir.settings.bTrim = (uFlags & kTrimFlag) != 0;
	ir.sName = reader.GetString(kIrMaxNameBytes);
	ir.sPath = reader.GetString(kIrMaxPathBytes);
	const std::uint32_t uRate = reader.GetU32();
	const std::uint32_t uChannels = reader.GetU32();
	const std::uint32_t uFrames = reader.GetU32();
	if (!reader.Ok() || uFlags > (kNormaliseFlag | kTrimFlag) || uRate < kIrMinRate || uRate > kIrMaxRate ||
	    (uChannels != 1 && uChannels != 2) || uFrames == 0 ||
	    uFrames > static_cast<std::uint32_t>(std::lround(kIrMaxSeconds * uRate)) ||
	    reader.Remaining() != std::size_t{4} * uChannels * uFrames)
		return false;
	ir.samples.dSampleRate = uRate;
	bool bSound = false;
	for (std::uint32_t c = 0; c < uChannels; ++c)
	{
		std::vector<float>& channel = c == 0 ? ir.samples.afLeft : ir.samples.afRight;
		channel.resize(uFrames);
		for (float& x : channel)
		{
			x = reader.GetF32();
			if (!std::isfinite(x) || std::fabs(x) > 1.0e6f)
				return false;
			bSound = bSound || x != 0.0f;
		}
	}
	if (!reader.Done() || !bSound)
		return false;
	out = std::move(ir);
	return true;
}

bool LoadIrFile(const std::string& sPath, LoadedIr& out, std::string& sMessage)
{
	IrReadResult read = ReadWavFile(sPath);
	sMessage = read.sMessage;
	if (!read.bOk)
		return false;
	out.samples = std::move(read.samples);
	out.settings = {};
	out.sName = FileNameOf(sPath).substr(0, kIrMaxNameBytes);
	out.sPath = sPath.substr(0, kIrMaxPathBytes);
	return true;
}

} // namespace brontal
