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
	ASSERT_TRUE(fade.Fading());
	std::vector<float> on, off;
	Weights(fade, 480, CSwitchFade::kEqualGain, on, off);
	for (int i = 0; i < 480; ++i)
	{
		ASSERT_FLOAT_EQ(on[i], static_cast<float>(i + 1) / 480.0f) << i;
		ASSERT_FLOAT_EQ(on[i] + off[i], 1.0f) << i;
	}
	EXPECT_EQ(on[479], 1.0f);
	EXPECT_FALSE(fade.Fading());
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
