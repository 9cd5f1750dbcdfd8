#include "ComputeOutputVumeters.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {
struct MeterRig
{
	BlockRig rig{48000.0};
	CComputeOutputVumeters meters;

	MeterRig() { rig.Attach(meters); }

	// One block of 480 samples, silent but for one sample on one side.
	float Block(float fSample = 0.0f, bool bRight = false)
	{
		std::vector<float> left(480, 0.0f), right(480, 0.0f);
		(bRight ? right : left)[123] = fSample;
		meters.Process(left.data(), right.data(), nullptr, nullptr, 480);
		return rig.params.Get(kOutputClippingLed);
	}
};
} // namespace

// The clip test is 0.99 on the 45 dB scale: a level above -0.45 dBFS, that
// is a magnitude above 10^(-0.45 / 20) = 0.94951, on either side.
TEST(OutputMeters, ClipIndicatorLightsAboveMinusZeroPointFourFiveDecibels)
{
	EXPECT_NEAR(std::pow(10.0, (0.99 * 45.0 - 45.0) / 20.0), 0.94951, 1e-5);
	for (const bool bRight : {false, true})
		for (const float fSample : {0.95f, -0.95f, 1.0f, 7.0f})
		{
			MeterRig r;
			EXPECT_EQ(r.Block(fSample, bRight), 1.0f) << fSample << " right " << bRight;
		}
	for (const bool bRight : {false, true})
		for (const float fSample : {0.949f, -0.949f, 0.5f})
		{
			MeterRig r;
			EXPECT_EQ(r.Block(fSample, bRight), 0.0f) << fSample << " right " << bRight;
		}
}

// Lit in the block that triggers it and the 199 after it, off in the 201st;
// a new trigger starts the count again.
TEST(OutputMeters, ClipIndicatorHoldsForTwoHundredBlocks)
{
	MeterRig r;
	EXPECT_EQ(r.Block(), 0.0f);
	ASSERT_EQ(r.Block(0.97f), 1.0f);
	for (int i = 1; i < 200; ++i)
		ASSERT_EQ(r.Block(), 1.0f) << "block " << i;
	EXPECT_EQ(r.Block(), 0.0f);

	ASSERT_EQ(r.Block(-1.0f, true), 1.0f);
	for (int i = 1; i < 150; ++i)
		ASSERT_EQ(r.Block(), 1.0f);
	ASSERT_EQ(r.Block(0.96f), 1.0f);
	for (int i = 1; i < 200; ++i)
		ASSERT_EQ(r.Block(), 1.0f) << "block " << i << " after the second trigger";
	EXPECT_EQ(r.Block(), 0.0f);

	// Reset ends the hold at once.
	ASSERT_EQ(r.Block(1.0f), 1.0f);
	r.meters.Reset();
	EXPECT_EQ(r.Block(), 0.0f);
}

// Each side reads its own peak on the 45 dB scale: a sine of 0.5 is
// (20 log10 0.5 + 45) / 45 = 0.8662, 1.0 and above read full scale.
TEST(OutputMeters, EachSideReadsItsPeakInDecibels)
{
	MeterRig r;
	std::vector<float> left(480), right(480, 0.0f);
	for (size_t i = 0; i < left.size(); ++i)
		left[i] = 0.5f * static_cast<float>(std::sin(2.0 * 3.141592653589793 * 1000.0 * static_cast<double>(i) / 48000.0));
	right[7] = -3.0f;
	r.meters.Process(left.data(), right.data(), nullptr, nullptr, 480);
	EXPECT_NEAR(r.rig.params.Get(kOutputLeftVumeter), (20.0 * std::log10(0.5) + 45.0) / 45.0, 1e-5);
	EXPECT_EQ(r.rig.params.Get(kOutputRightVumeter), 1.0f);
}
