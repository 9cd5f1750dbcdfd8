#include "SwitchFade.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// The on path's weight and the off path's over the next iCount samples, read
// off by fading 1 against 0 and 0 against 1 in two copies of the fade.
void Weights(CSwitchFade& fade, int iCount, CSwitchFade::Law law, std::vector<float>& on, std::vector<float>& off)
{
	CSwitchFade copy = fade;
	on.assign(static_cast<size_t>(iCount), 1.0f);
	off.assign(static_cast<size_t>(iCount), 0.0f);
	const std::vector<float> zeros(static_cast<size_t>(iCount), 0.0f), ones(static_cast<size_t>(iCount), 1.0f);
	fade.Crossfade(zeros.data(), on.data(), nullptr, nullptr, iCount, law);
	copy.Crossfade(ones.data(), off.data(), nullptr, nullptr, iCount, law);
}

} // namespace

// Unknown, a fade takes the first value at once; a change then fades over
// 10 ms of samples (480 at 48 kHz), the on path's share rising by 1/480 a
// sample to exactly 1, the off path's falling to 0.
TEST(SwitchFade, AdoptsTheFirstValueThenFadesOverTenMilliseconds)
{
	CSwitchFade fade;
	fade.Follow(false, 48000.0);
	EXPECT_TRUE(fade.Off());
	fade.Follow(true, 48000.0);
	ASSERT_TRUE(fade.Mixing());
	std::vector<float> on, off;
	Weights(fade, 480, CSwitchFade::kEqualGain, on, off);
	for (int i = 0; i < 480; ++i)
	{
		ASSERT_FLOAT_EQ(on[i], static_cast<float>(i + 1) / 480.0f) << i;
		ASSERT_FLOAT_EQ(on[i] + off[i], 1.0f) << i;
	}
	EXPECT_EQ(on[479], 1.0f);
	EXPECT_FALSE(fade.Mixing());
	EXPECT_TRUE(fade.On());

	fade.Forget();
	fade.Follow(false, 48000.0);
	EXPECT_TRUE(fade.Off());
}

// Equal power: the squares of the two weights sum to 1 all the way.
TEST(SwitchFade, EqualPowerKeepsThePowerOfUnrelatedPaths)
{
	CSwitchFade fade;
	fade.Follow(true, 44100.0);
	fade.Follow(false, 44100.0);
	std::vector<float> on, off;
	Weights(fade, 441, CSwitchFade::kEqualPower, on, off);
	for (int i = 0; i < 441; ++i)
		ASSERT_NEAR(on[i] * on[i] + off[i] * off[i], 1.0f, 1e-6f) << i;
	EXPECT_NEAR(on[220], std::cos(1.5707963f * 221.0f / 441.0f), 1e-6f);
	EXPECT_NEAR(on[440], 0.0f, 1e-6f);
	EXPECT_TRUE(fade.Off());
}

// Turned back a quarter of the way, the fade returns from where it stands
// and is back in a quarter of the time.
TEST(SwitchFade, TurnedBackMidFadeReturnsFromWhereItIs)
{
	CSwitchFade fade;
	fade.Follow(false, 48000.0);
	fade.Follow(true, 48000.0);
	std::vector<float> on, off;
	Weights(fade, 120, CSwitchFade::kEqualGain, on, off);
	EXPECT_FLOAT_EQ(on[119], 0.25f);
	fade.Follow(false, 48000.0);
	Weights(fade, 120, CSwitchFade::kEqualGain, on, off);
	EXPECT_FLOAT_EQ(on[0], 119.0f / 480.0f);
	EXPECT_FLOAT_EQ(on[119], 0.0f);
	EXPECT_TRUE(fade.Off());
}

// A path with a memory: switched on from settled off, it runs unheard for
// its fill (700 samples here, taken in pieces that do not line up with it),
// then fades in over 480 and stays on; switched off and on again it does
// the same every time. Switched off while still filling, it is off at once.
TEST(SwitchFade, FillsUnheardThenFadesInEveryTimeItIsSwitchedOn)
{
	CSwitchFade fade;
	fade.Follow(false, 48000.0, 700);
	for (int iRound = 0; iRound < 3; ++iRound)
	{
		fade.Follow(true, 48000.0, 700);
		std::vector<float> on, off, allOn;
		for (int iDone = 0; iDone < 1536; iDone += 256)
		{
			// The fill and the switch's position hold however often they are asked.
			fade.Follow(true, 48000.0, 700);
			Weights(fade, 256, CSwitchFade::kEqualGain, on, off);
			allOn.insert(allOn.end(), on.begin(), on.end());
		}
		for (int i = 0; i < 700; ++i)
			ASSERT_EQ(allOn[i], 0.0f) << iRound << " " << i;
		for (int i = 700; i < 1180; ++i)
			ASSERT_FLOAT_EQ(allOn[i], static_cast<float>(i - 699) / 480.0f) << iRound << " " << i;
		for (int i = 1180; i < 1536; ++i)
			ASSERT_EQ(allOn[i], 1.0f) << iRound << " " << i;
		EXPECT_FALSE(fade.Mixing());
		fade.Follow(false, 48000.0, 700);
		Weights(fade, 480, CSwitchFade::kEqualGain, on, off);
		EXPECT_TRUE(fade.Off()) << iRound;
	}

	fade.Follow(true, 48000.0, 700);
	std::vector<float> on, off;
	Weights(fade, 300, CSwitchFade::kEqualGain, on, off);
	fade.Follow(false, 48000.0, 700);
	EXPECT_TRUE(fade.Off());
	EXPECT_FALSE(fade.Mixing());
}
