#pragma once

// Reading a player's cabinet impulse response from a WAV file: PCM 8, 16,
// 24 and 32 bits, float 32 and 64 bits, plain or WAVE_FORMAT_EXTENSIBLE,
// any chunks around 'data', mono or stereo at 8 to 384 kHz. The bytes are
// untrusted: every size is checked against what is there before it is used.
// No SDK, no platform: the same code reads the file on every system.

#include <cstddef>
#include <string>
#include <vector>

namespace brontal {

constexpr double kIrMinRate = 8000.0;
constexpr double kIrMaxRate = 384000.0;
constexpr double kIrMaxSeconds = 2.0;
// A longer response is cut at kIrMaxSeconds and faded out over this.
constexpr double kIrCutFadeSeconds = 0.01;
// The largest file read at all: 2 s of eight 64-bit channels at 384 kHz is 49 MB.
constexpr std::size_t kIrMaxFileBytes = std::size_t{64} << 20;

// A response as the file holds it, at its own rate: one channel, or two.
struct IrSamples
{
	double dSampleRate = 0.0;
	std::vector<float> afLeft;
	std::vector<float> afRight; // empty for a mono response
	bool IsStereo() const { return !afRight.empty(); }
	int Frames() const { return static_cast<int>(afLeft.size()); }
};

struct IrReadResult
{
	bool bOk = false;
	IrSamples samples;
	// A refused file: one sentence naming the file and what is wrong. A read
	// one: empty, or what was done to make it fit (cut, channels left out).
	std::string sMessage;
};

// sName is the file's name as the message shows it.
IrReadResult ReadWav(const unsigned char* pData, std::size_t uSize, const std::string& sName);
// The file at a UTF-8 path.
IrReadResult ReadWavFile(const std::string& sPath);
// The last part of a path, either separator.
std::string FileNameOf(const std::string& sPath);

} // namespace brontal
