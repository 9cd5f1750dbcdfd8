#pragma once

#include "Fft.h"

#include <memory>
#include <vector>

// Convolution of one input with a player's response, any length, with no
// latency: the first kDirect taps directly, then levels of uniform
// partitions whose size grows eightfold (64 taps from 64 on, 512 from 512
// on, 4096 from 4096 to the end). A level of size P covers taps from P on,
// so the input block it waits for has always arrived in time. Within a
// level's period the partitions already heard are summed a slice of bins
// every kDirect samples; only the newest partition and the transforms wait
// for the period's end, so no block carries the whole level's work.
//
// A stereo response costs what a mono one does: left and right are the
// real and imaginary parts of one complex response, and since the input is
// real the two outputs come back as the real and imaginary parts.
//
// Built off the audio thread (it allocates); Reset and Process do not.
class CIrConvolver
{
public:
	static constexpr int kDirect = 64;
	static constexpr int kLevelGrowth = 8;
	static constexpr int kLargestPartition = 4096;

	// afRight empty: a mono response. Neither may be empty otherwise, and
	// both have the same length.
	CIrConvolver(const std::vector<float>& afLeft, const std::vector<float>& afRight);
	~CIrConvolver();
	CIrConvolver(const CIrConvolver&) = delete;
	CIrConvolver& operator=(const CIrConvolver&) = delete;

	bool IsStereo() const { return m_bStereo; }
	int Taps() const { return m_iTaps; }
	// How the taps are split: the partition size and count of each level.
	int Levels() const { return static_cast<int>(m_levels.size()); }
	int LevelSize(int i) const;
	int LevelPartitions(int i) const;

	void Reset();
	// pfOutRight gets the same as pfOutLeft for a mono response.
	void Process(const float* pfIn, float* pfOutLeft, float* pfOutRight, int iCount);

private:
	struct Level;
	template <bool bAvx2> void Run(const float* pfIn, float* pfOutLeft, float* pfOutRight, int iCount);

	bool m_bStereo;
	int m_iTaps;
	int m_iDirect;
	float m_afDirectLeft[kDirect] = {};
	float m_afDirectRight[kDirect] = {};
	// The previous kDirect input samples, then the current ones up to m_iPos.
	float m_afHistory[2 * kDirect] = {};
	int m_iPos = 0;
	std::vector<std::unique_ptr<Level>> m_levels;
};
