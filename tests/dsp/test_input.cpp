#include "EffectSourceSelector.h"
#include "GainDEntree.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

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
