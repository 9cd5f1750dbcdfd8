#include "IrConvolver.h"
#include "cpufeatures.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// The convolution sum in double, term by term.
std::vector<double> Direct(const std::vector<float>& x, const std::vector<float>& h)
{
	std::vector<double> y(x.size(), 0.0);
	for (size_t k = 0; k < h.size(); ++k)
		if (h[k] != 0.0f)
			for (size_t n = k; n < x.size(); ++n)
				y[n] += static_cast<double>(h[k]) * x[n - k];
	return y;
}

// Runs x through in host blocks of random lengths from 1 to 700.
void RunBlocks(CIrConvolver& conv, const std::vector<float>& x, std::vector<float>& left, std::vector<float>& right, unsigned uSeed)
{
	left.assign(x.size(), 0.0f);
	right.assign(x.size(), 0.0f);
	std::mt19937 rng(uSeed);
	std::uniform_int_distribution<int> length(1, 700);
	for (size_t i = 0; i < x.size();)
	{
		const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(length(rng)), x.size() - i));
		conv.Process(x.data() + i, left.data() + i, right.data() + i, n);
		i += static_cast<size_t>(n);
	}
}

double ErrorDb(const std::vector<float>& y, const std::vector<double>& expected)
{
	double dErr = 0.0, dPeak = 0.0;
	for (size_t i = 0; i < y.size(); ++i)
	{
		dErr = std::max(dErr, std::fabs(y[i] - expected[i]));
		dPeak = std::max(dPeak, std::fabs(expected[i]));
	}
	return 20.0 * std::log10(dErr / dPeak + 1e-300);
}

} // namespace

// Every length around the edges of the direct part and of the levels, mono
// and stereo, in blocks of any length: the sum term by term, to within
// -120 dB of the output's peak, every output sample from the first on (no
// latency); both instruction sets alike.
TEST(IrConvolver, EqualsTheConvolutionSumWithNoLatency)
{
	for (int iTaps : {1, 63, 64, 65, 130, 511, 512, 513, 4095, 4096, 4097, 9000, 40000})
		for (bool bStereo : {false, true})
		{
			SCOPED_TRACE(std::to_string(iTaps) + (bStereo ? " stereo" : " mono"));
			const std::vector<float> hl = Noise(static_cast<size_t>(iTaps), static_cast<unsigned>(iTaps));
			const std::vector<float> hr = bStereo ? Noise(static_cast<size_t>(iTaps), static_cast<unsigned>(iTaps) + 1) : std::vector<float>{};
			const std::vector<float> x = Noise(static_cast<size_t>(iTaps) + 9000, 5);
			CIrConvolver conv(hl, hr);
			EXPECT_EQ(conv.IsStereo(), bStereo);
			std::vector<float> left, right;
			RunBlocks(conv, x, left, right, static_cast<unsigned>(iTaps));
			const std::vector<double> el = Direct(x, hl);
			EXPECT_LT(ErrorDb(left, el), -120.0);
			EXPECT_LT(ErrorDb(right, bStereo ? Direct(x, hr) : el), -120.0);
			if (HasAvx2() && iTaps == 9000)
			{
				AllowAvx2(false);
				conv.Reset();
				std::vector<float> plainLeft, plainRight;
				RunBlocks(conv, x, plainLeft, plainRight, 3);
				AllowAvx2(true);
				EXPECT_EQ(plainLeft, left);
				EXPECT_EQ(plainRight, right);
			}
		}
}

// The partitions: 64 direct taps, then 64, 512 and 4096 from their own
// size on, the last level to the end; Reset forgets every input.
TEST(IrConvolver, PartitionsGrowAndResetClears)
{
	CIrConvolver conv(std::vector<float>(96000, 0.0f), {});
	ASSERT_EQ(conv.Levels(), 3);
	EXPECT_EQ(conv.LevelSize(0), 64);
	EXPECT_EQ(conv.LevelPartitions(0), 7);
	EXPECT_EQ(conv.LevelSize(1), 512);
	EXPECT_EQ(conv.LevelPartitions(1), 7);
	EXPECT_EQ(conv.LevelSize(2), 4096);
	EXPECT_EQ(conv.LevelPartitions(2), 23); // (96000 - 4096) / 4096, rounded up

	// An impulse at 33600 (700 ms at 48 kHz) delays by exactly that, at the same level.
	std::vector<float> h(48000, 0.0f);
	h[33600] = 0.5f;
	CIrConvolver delay(h, {});
	std::vector<float> x = Noise(40000, 9), left, right;
	for (int iPass = 0; iPass < 2; ++iPass)
	{
		RunBlocks(delay, x, left, right, 11);
		for (size_t i = 0; i < x.size(); ++i)
			ASSERT_NEAR(left[i], i < 33600 ? 0.0f : 0.5f * x[i - 33600], 1e-6f) << i << " pass " << iPass;
		delay.Reset();
	}
}
