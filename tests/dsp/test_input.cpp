#include "EffectSourceSelector.h"
#include "GainDEntree.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

// The selector puts one host input on both working channels: the first for
// any switch value but 0 (NaN included), the second for 0.
TEST(InputStage, SelectorTakesTheSecondInputOnlyAtZero)
{
	BlockRig rig;
	CEffectSourceSelector selector;
	rig.Attach(selector);
	const std::vector<float> in1 = Noise(700, 1), in2 = Noise(700, 2);
	std::vector<float> out1, out2;
	for (const float fValue : {1.0f, 0.5f, std::numeric_limits<float>::quiet_NaN(), 0.0f})
	{
		rig.params.Set(kInputSelection, fValue);
		selector.Snap();
		RunBlock(selector, in1, in2, out1, out2, 256);
		const std::vector<float>& expected = fValue == 0.0f ? in2 : in1;
		EXPECT_EQ(out1, expected) << fValue;
		EXPECT_EQ(out2, expected) << fValue;
	}
}

// Turned from the first input to the second, the selector fades between
// two different strings on a quarter circle (cos and sin of the fade's
// angle, 10 ms), so their powers add to the same level all the way; both
// working channels carry the mix.
TEST(InputStage, SelectorFadesBetweenTheInputsAtEqualPower)
{
	BlockRig rig;
	CEffectSourceSelector selector;
	rig.Attach(selector);
	const std::vector<float> in1 = Noise(1400, 3), in2 = Noise(1400, 4);
	std::vector<float> out1(in1.size()), out2(in1.size());
	constexpr int kSwitch = 300;
	selector.Process(in1.data(), in2.data(), out1.data(), out2.data(), kSwitch);
	rig.params.Set(kInputSelection, 0.0f);
	for (int i = kSwitch; i < static_cast<int>(in1.size()); i += 100)
		selector.Process(&in1[i], &in2[i], &out1[i], &out2[i], 100);
	for (int k = 0; k < static_cast<int>(in1.size()); ++k)
	{
		const double r = std::clamp(static_cast<double>(k - kSwitch + 1) / 480.0, 0.0, 1.0);
		ASSERT_NEAR(out1[k], std::cos(M_PI / 2 * r) * in1[k] + std::sin(M_PI / 2 * r) * in2[k], 2e-6) << k;
		ASSERT_EQ(out2[k], out1[k]) << k;
	}
}

// 0 dB: a copy of each channel, sample for sample.
TEST(InputStage, InputGainIsUnity)
{
	BlockRig rig;
	CGainDEntree gain;
	rig.Attach(gain);
	const std::vector<float> in1 = Noise(300, 3), in2 = Noise(300, 4);
	std::vector<float> out1, out2;
	RunBlock(gain, in1, in2, out1, out2);
	EXPECT_EQ(out1, in1);
	EXPECT_EQ(out2, in2);
}
