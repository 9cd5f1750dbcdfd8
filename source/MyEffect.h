#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

// Level below which a ringing-out tail counts as silence.
constexpr double kTailFloorDb = -120.0;

// One parameter value shared between the host's threads: a whole 32-bit
// float, read and written without tearing and without ordering.
using ParamCell = std::atomic<float>;

// Base of every DSP block. Blocks see only buffers, the sample rate, the
// tempo and the parameter table; they own nothing that these point to.
class CMyEffect
{
public:
	CMyEffect() = default;
	virtual ~CMyEffect() = default;
	CMyEffect(const CMyEffect&) = delete;
	CMyEffect& operator=(const CMyEffect&) = delete;

	virtual int Reset() = 0;
	// Inputs and outputs are distinct buffers of at least iCount samples.
	// Blocks that only measure get null outputs. 1 = success, 0 stops the chain.
	virtual int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) = 0;
	virtual int ProcessSaturation(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount);
	virtual int SetSampleRate(const double* pdSampleRate);
	virtual int Configure(int i1, int i2, int i3, int i4, int i5, int i6, int i7, int i8, int i9, int i10, bool b);
	virtual float ProcessSample(float fSample);
	// How long this block keeps sounding after its input stops, at the
	// current settings, down to kTailFloorDb; 0 for blocks that stop at once.
	virtual double GetTailSeconds() const { return 0.0; }
	// Take the switches and levels as they now stand at the next Process,
	// without a fade or a ramp from what they were (loaded settings, or a
	// chain that nobody hears). Reset does the same.
	virtual void Snap() {}
	// How far back, in samples, what this block holds reaches at its
	// current settings: once it has run that long after standing still, it
	// holds the present signal again. 0 for blocks whose state is gone in a
	// few samples and for the delay and reverb lines, which ring on by design.
	virtual int MemorySamples() const { return 0; }

	int SetParams(ParamCell** afParams);
	int SetTempo(const ParamCell* pfTempo);

protected:
	float GetParam(int iId) const { return m_afParams[iId]->load(std::memory_order_relaxed); }
	void SetParam(int iId, float fValue) { m_afParams[iId]->store(fValue, std::memory_order_relaxed); }
	// The current host rate, narrowed as the blocks use it.
	float SampleRateF() const { return static_cast<float>(*m_pdSampleRate); }

	ParamCell** m_afParams = nullptr;
	const double* m_pdSampleRate = nullptr;
	const ParamCell* m_pfTempo = nullptr;
};

// A finite sample as it is, anything else as 0: written as a comparison so
// that loops over blocks vectorise.
inline float SanitiseSample(float fValue)
{
	return std::fabs(fValue) <= std::numeric_limits<float>::max() ? fValue : 0.0f;
}

// The chain's input: finite samples as they are up to +36 dBFS, louder ones
// at that bound, anything else 0. Far above anything a host plays, low
// enough that an absurd sample (1e30 from a broken source) leaves the
// equalisers' slowest band in a second or two rather than for good.
constexpr float kLoudestInput = 64.0f;
inline float BoundSample(float fValue)
{
	return std::min(std::max(SanitiseSample(fValue), -kLoudestInput), kLoudestInput);
}

// The floor of a value well inside the int range, without a libm call: the
// ring reads take one or two of these per sample.
inline int FloorToInt(float fValue)
{
	const int i = static_cast<int>(fValue);
	return static_cast<float>(i) > fValue ? i - 1 : i;
}

// Samples in fSeconds at the rate behind a block's pointer, as the blocks
// size their rings: the product in single precision, rounded half away from
// zero, 0 for a rate that is not a positive number, and at most iCapacity;
// bOverCapacity tells whether the capacity had to cut it.
inline int LengthAtRate(double dRate, float fSeconds, int iCapacity, bool& bOverCapacity)
{
	const double dLength = static_cast<double>(static_cast<float>(dRate) * fSeconds);
	bOverCapacity = dLength + 0.5 >= static_cast<double>(iCapacity) + 1.0;
	if (bOverCapacity)
		return iCapacity;
	return dLength > 0.0 ? static_cast<int>(dLength + 0.5) : 0;
}

// The off path of the switchable blocks: each output an exact copy of its input.
inline void CopyStereo(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (iCount <= 0)
		return;
	std::memcpy(pfOut1, pfIn1, sizeof(float) * static_cast<size_t>(iCount));
	std::memcpy(pfOut2, pfIn2, sizeof(float) * static_cast<size_t>(iCount));
}
