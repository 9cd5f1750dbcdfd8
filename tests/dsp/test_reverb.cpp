#include "MyReverb.h"
#include "decay.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {
constexpr double kRate = 44100.0;
// Lags in samples as the elements form them, rate and time each in single
// precision: the enhancer's 0.10004001 s is 4411.7646 samples at 44.1 kHz.
double Lag(float fSeconds)
{
	return static_cast<double>(static_cast<float>(kRate) * fSeconds);
}
const double kEnhancerLag = Lag(0.10004001f);

struct ReverbRig
{
	BlockRig rig{kRate};
	CMyReverb reverb;

	ReverbRig(bool bReverb, float fLevel, bool bEnhancer)
	{
		rig.params.Set(kReverbOnOff, bReverb ? 1.0f : 0.0f);
		rig.params.Set(kReverbLevel, fLevel);
		rig.params.Set(kStereoEnhancerOnOff, bEnhancer ? 1.0f : 0.0f);
		rig.Attach(reverb);
	}
};

// Three tones of 0.3 between 220 Hz and 1.2 kHz: slow enough that the
// elements' single-precision read positions, a thousandth of a sample
// apart at worst, move the result by under 1e-4.
std::vector<float> Tones(size_t n, unsigned seed)
{
	std::mt19937 gen(seed);
	std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
	const double a = phase(gen), b = phase(gen), c = phase(gen);
	std::vector<float> v(n);
	for (size_t i = 0; i < n; ++i)
	{
		const double t = 6.283185307179586 * static_cast<double>(i) / kRate;
		v[i] = static_cast<float>(0.3 * (std::sin(220.0 * t + a) + std::sin(530.0 * t + b) + std::sin(1210.0 * t + c)));
	}
	return v;
}

// x at time i - dLag, linearly interpolated, silent before time 0.
double Delayed(const std::vector<float>& x, size_t i, double dLag)
{
	const double t = static_cast<double>(i) - dLag;
	const double k = std::floor(t);
	const double f = t - k;
	const auto At = [&](double j) { return j < 0.0 ? 0.0 : static_cast<double>(x[static_cast<size_t>(j)]); };
	return (1.0 - f) * At(k) + f * At(k + 1.0);
}

} // namespace

TEST(Reverb, SwitchedOffPassesTheDrySignalAndDropsNaN)
{
	ReverbRig r(false, 1.0f, false);
	std::vector<float> in1 = Noise(20000, 1), in2 = Noise(20000, 2), out1, out2;
	in1[100] = std::numeric_limits<float>::quiet_NaN();
	in2[200] = std::numeric_limits<float>::quiet_NaN();
	RunBlock(r.reverb, in1, in2, out1, out2);
	in1[100] = 0.0f;
	in2[200] = 0.0f;
	EXPECT_EQ(out1, in1);
	EXPECT_EQ(out2, in2);
}

// With the reverberation off, the enhancer delays channel 2 alone by
// 4411.76 samples at 44.1 kHz, interpolated; switched off, its line stands
// still, and switched on again at once (a snap, as for a loaded state) it
// first gives back what it held.
TEST(Reverb, EnhancerDelaysChannelTwoAndHoldsItsLineWhileOff)
{
	ReverbRig r(false, 0.5f, true);
	std::vector<float> in1 = Noise(12000, 3), in2 = Tones(12000, 4), out1, out2;
	RunBlock(r.reverb, in1, in2, out1, out2);
	EXPECT_EQ(out1, in1);
	for (size_t i = 0; i < in2.size(); ++i)
		ASSERT_NEAR(out2[i], Delayed(in2, i, kEnhancerLag), 1e-4) << i;
	EXPECT_EQ(out2[4410], 0.0f);
	EXPECT_NE(out2[4411], 0.0f);

	r.rig.params.Set(kStereoEnhancerOnOff, 0.0f);
	r.reverb.Snap();
	std::vector<float> mid2 = Noise(3000, 5), mid1 = Noise(3000, 6), o1, o2;
	RunBlock(r.reverb, mid1, mid2, o1, o2);
	EXPECT_EQ(o2, mid2);

	r.rig.params.Set(kStereoEnhancerOnOff, 1.0f);
	r.reverb.Snap();
	std::vector<float> z(5000, 0.0f);
	RunBlock(r.reverb, z, z, o1, o2);
	std::vector<float> resumed = in2;
	resumed.insert(resumed.end(), z.begin(), z.end());
	for (size_t i = 0; i < z.size(); ++i)
		ASSERT_NEAR(o2[i], Delayed(resumed, in2.size() + i, kEnhancerLag), 1e-4) << i;
}

// Switched on, the enhancer first fills its line with the present signal
// (a tenth of a second, the original meanwhile), then fades from the
// original to the delayed copy on a quarter circle: two unrelated signals
// whose powers add, sin and cos of the fade's angle, so the level holds
// (equal gains would dip it by 3 dB half-way).
TEST(Reverb, EnhancerFillsThenFadesInAtEqualPower)
{
	ReverbRig r(false, 0.5f, false);
	const std::vector<float> in1 = Noise(16000, 7), in2 = Tones(16000, 8);
	std::vector<float> out1(in1.size()), out2(in1.size());
	constexpr int kSwitch = 6000;
	r.reverb.Process(in1.data(), in2.data(), out1.data(), out2.data(), kSwitch);
	r.rig.params.Set(kStereoEnhancerOnOff, 1.0f);
	for (int i = kSwitch; i < static_cast<int>(in1.size()); i += 256)
		r.reverb.Process(&in1[i], &in2[i], &out1[i], &out2[i], std::min(256, static_cast<int>(in1.size()) - i));
	const int iFill = static_cast<int>(std::ceil(kEnhancerLag));
	constexpr int kFade = 441;
	for (int k = kSwitch; k < static_cast<int>(in1.size()); ++k)
	{
		const double r01 = std::clamp(static_cast<double>(k - kSwitch - iFill + 1) / kFade, 0.0, 1.0);
		const double dExpected = std::cos(M_PI / 2 * r01) * in2[k] + std::sin(M_PI / 2 * r01) * Delayed(in2, k, kEnhancerLag);
		ASSERT_NEAR(out2[k], dExpected, 1e-4) << k - kSwitch << " samples after the switch";
	}
}

// Level 0: every loop gain is 0, so the five combs sum to 5x and the
// all-passes are plain delays of 5 ms and 1.7 ms; the reverberation, scaled
// by 0.04 x 0.45 = 0.018, is subtracted from 0.73 x the dry signal.
TEST(Reverb, LevelZeroLeavesCombsTransparentAndAllPassesAsDelays)
{
	ReverbRig r(true, 0.0f, false);
	std::vector<float> in1 = Tones(20000, 7), in2 = Tones(20000, 8), out1, out2;
	RunBlock(r.reverb, in1, in2, out1, out2);
	for (size_t i = 0; i < in1.size(); ++i)
	{
		const auto Expected = [&](const std::vector<float>& x) {
			return 0.73 * x[i] - 0.018 * (5.0 * Delayed(x, i, Lag(0.005f)) + 5.0 * Delayed(x, i, Lag(0.0017f)));
		};
		ASSERT_NEAR(out1[i], Expected(in1), 2e-5) << i;
		ASSERT_NEAR(out2[i], Expected(in2), 2e-5) << i;
	}
}

// The reverberator of one channel as a separate model: five feedback combs
// of 39.7 to 53.7 ms into two parallel all-passes of 5 and 1.7 ms, each loop
// gain 0.001^(delay / decay) for decays of 3V, 3V / 31.25 and 3V / 911 s, all
// in double with whole-sample delays (every delay is one at 40 kHz).
std::vector<double> ModelReverb(const std::vector<float>& x, double dRate, double dLevel)
{
	const auto Samples = [&](double dSeconds) { return static_cast<size_t>(std::lround(dSeconds * dRate)); };
	const auto Gain = [&](double dDelay, double dDecay) { return std::pow(0.001, dDelay / dDecay); };
	// y[n] = in[n] + g y[n - D]
	const auto Comb = [&](const std::vector<double>& in, double dDelay) {
		const size_t D = Samples(dDelay);
		const double g = Gain(dDelay, 3.0 * dLevel);
		std::vector<double> y(in.size());
		for (size_t n = 0; n < in.size(); ++n)
			y[n] = in[n] + (n >= D ? g * y[n - D] : 0.0);
		return y;
	};
	// w[n] = in[n] + g w[n - D], out = -g w[n] + w[n - D]
	const auto AllPass = [&](const std::vector<double>& in, double dDelay, double dDecay) {
		const size_t D = Samples(dDelay);
		const double g = Gain(dDelay, dDecay);
		std::vector<double> w(in.size()), y(in.size());
		for (size_t n = 0; n < in.size(); ++n)
		{
			const double d = n >= D ? w[n - D] : 0.0;
			w[n] = in[n] + g * d;
			y[n] = -g * w[n] + d;
		}
		return y;
	};
	const std::vector<double> in(x.begin(), x.end());
	std::vector<double> sum(x.size(), 0.0);
	for (const double dCombMs : {39.7, 43.2, 46.7, 50.2, 53.7})
	{
		const std::vector<double> y = Comb(in, dCombMs * 0.001);
		for (size_t n = 0; n < sum.size(); ++n)
			sum[n] += y[n];
	}
	const std::vector<double> a = AllPass(sum, 0.005, 3.0 * dLevel / 31.25);
	const std::vector<double> b = AllPass(sum, 0.0017, 3.0 * dLevel / 911.0);
	std::vector<double> out(x.size());
	for (size_t n = 0; n < out.size(); ++n)
		out[n] = 0.73 * in[n] - 0.04 * 0.45 * (a[n] + b[n]);
	return out;
}

// At level 0.1 each comb's first echo (gain 0.40 to 0.29) shows at its own
// delay behind each all-pass: the impulse response, and a burst of noise,
// follow the model sample by sample.
TEST(Reverb, EachCombAndAllPassEchoesAtItsOwnDelay)
{
	constexpr double dRate = 40000.0;
	constexpr double dLevel = 0.1;
	for (const bool bImpulse : {true, false})
	{
		BlockRig rig(dRate);
		CMyReverb reverb;
		rig.params.Set(kReverbOnOff, 1.0f);
		rig.params.Set(kReverbLevel, static_cast<float>(dLevel));
		rig.params.Set(kStereoEnhancerOnOff, 0.0f);
		rig.Attach(reverb);
		std::vector<float> in(12000, 0.0f), out1, out2;
		if (bImpulse)
			in[0] = 1.0f;
		else
			std::copy_n(Noise(400, 11).begin(), 400, in.begin());
		RunBlock(reverb, in, in, out1, out2, 512);
		const std::vector<double> expected = ModelReverb(in, dRate, dLevel);
		for (size_t n = 0; n < in.size(); ++n)
			ASSERT_NEAR(out1[n], expected[n], 2e-5) << (bImpulse ? "impulse" : "noise") << ", sample " << n;
		EXPECT_EQ(out1, out2);
		if (!bImpulse)
			continue;
		// Comb k's first echo behind all-pass B (a plain 68-sample delay at
		// this level): -0.018 times its loop gain 0.001^(delay / 0.3 s).
		for (const double dCombMs : {39.7, 43.2, 46.7, 50.2, 53.7})
		{
			const auto n = static_cast<size_t>(std::lround(dCombMs * 40.0)) + 68;
			EXPECT_NEAR(out1[n], -0.018 * std::pow(0.001, dCombMs * 0.001 / 0.3), 2e-5) << dCombMs << " ms";
		}
	}
}

// The energy of an impulse's tail falls by 60 dB in 3 x the level, in
// seconds, on both channels.
TEST(Reverb, LevelSetsTheReverberationTime)
{
	for (const float fLevel : {1.0f, 0.5f})
	{
		ReverbRig r(true, fLevel, false);
		const size_t n = static_cast<size_t>(3.2 * kRate);
		std::vector<float> in(n, 0.0f), out1, out2;
		in[0] = 1.0f;
		RunBlock(r.reverb, in, in, out1, out2);
		// At once: 0.73 dry, and the all-passes' direct paths -g x 5 from
		// the combs, with g = 0.001^(delay / decay) for decays of 3V / 31.25
		// and 3V / 911 s (about 0.698 and 0.028 at level 1).
		const double gA = std::pow(0.001, 0.005 * 31.25 / (3.0 * fLevel));
		const double gB = std::pow(0.001, 0.0017 * 911.0 / (3.0 * fLevel));
		EXPECT_NEAR(out1[0], 0.73 + 0.018 * 5.0 * (gA + gB), 1e-5) << fLevel;
		const double dExpected = -60.0 / (3.0 * fLevel);
		const double t1 = 3.0 * fLevel;
		EXPECT_NEAR(DecayDbPerSecond(out1, kRate, 0.2, t1), dExpected, 0.05 * -dExpected) << fLevel;
		EXPECT_NEAR(DecayDbPerSecond(out2, kRate, 0.2, t1), dExpected, 0.05 * -dExpected) << fLevel;
		EXPECT_EQ(out1, out2);
	}
}

// Non-finite samples act exactly as zeros, in the dry path and in every line.
TEST(Reverb, NonFiniteInputActsAsSilence)
{
	const float fNaN = std::numeric_limits<float>::quiet_NaN();
	const float fInf = std::numeric_limits<float>::infinity();
	std::vector<float> in1 = Noise(30000, 9), in2 = Noise(30000, 10);
	std::vector<float> clean1 = in1, clean2 = in2;
	for (size_t i = 0; i + 7 < in1.size(); i += 101)
	{
		const float fBad = i % 3 == 0 ? fNaN : (i % 3 == 1 ? fInf : -fInf);
		in1[i] = fBad, clean1[i] = 0.0f;
		in2[i + 7] = fBad, clean2[i + 7] = 0.0f;
	}
	ReverbRig dirty(true, 1.0f, true), clean(true, 1.0f, true);
	std::vector<float> out1, out2, ref1, ref2;
	RunBlock(dirty.reverb, in1, in2, out1, out2);
	RunBlock(clean.reverb, clean1, clean2, ref1, ref2);
	EXPECT_EQ(out1, ref1);
	EXPECT_EQ(out2, ref2);
	for (size_t i = 0; i < out1.size(); ++i)
		ASSERT_TRUE(std::isfinite(out1[i]) && std::isfinite(out2[i])) << i;
}

TEST(Reverb, ReportedTailCoversTheDecayDownToTheFloor)
{
	ReverbRig r(true, 1.0f, true);
	const double dTail = r.reverb.GetTailSeconds();
	EXPECT_NEAR(dTail, 6.0 + 0.0537 + 0.10004001, 1e-6);
	const auto nTail = static_cast<size_t>(dTail * kRate);
	std::vector<float> in1(nTail + static_cast<size_t>(kRate), 0.0f), in2 = in1, out1, out2;
	in1[0] = in2[0] = 1.0f;
	RunBlock(r.reverb, in1, in2, out1, out2);
	float fAfter = 0.0f;
	for (size_t i = nTail; i < out1.size(); ++i)
		fAfter = std::max(fAfter, std::max(std::fabs(out1[i]), std::fabs(out2[i])));
	EXPECT_LT(fAfter, 1e-6f);

	ReverbRig dry(false, 1.0f, false);
	EXPECT_EQ(dry.reverb.GetTailSeconds(), 0.0);
}

// Settings reach the elements only when they change; a change between
// blocks must still reach them. An impulse stored while the level is 0 (no
// feedback) comes round again after the shortest comb's 39.7 ms only if
// the new level's feedback is in place by then.
TEST(Reverb, ALevelChangedBetweenBlocksReachesTheElements)
{
	for (float fLater : {0.0f, 1.0f})
	{
		ReverbRig r(true, 0.0f, false);
		std::vector<float> in(22050, 0.0f), out1(in.size()), out2(in.size());
		in[0] = 1.0f;
		r.reverb.Process(in.data(), in.data(), out1.data(), out2.data(), 256);
		r.rig.params.Set(kReverbLevel, fLater);
		r.reverb.Process(in.data() + 256, in.data() + 256, out1.data() + 256, out2.data() + 256,
		                 static_cast<int>(in.size()) - 256);
		double dLate = 0.0;
		for (size_t i = static_cast<size_t>(0.045 * kRate); i < in.size(); ++i)
			dLate += static_cast<double>(out1[i]) * out1[i];
		if (fLater > 0.0f)
			EXPECT_GT(dLate, 1e-6);
		else
			EXPECT_EQ(dLate, 0.0);
	}
}
