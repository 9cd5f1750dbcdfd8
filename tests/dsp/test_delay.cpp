#include "MyDelay.h"
#include "assertcapture.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {
struct DelayRig
{
	BlockRig rig;
	CMyDelay delay;

	explicit DelayRig(double dRate, float fTempo = 120.0f, bool bWithTempo = true) : rig(dRate)
	{
		rig.fTempo = fTempo;
		rig.params.Set(kDelayOnOff, 1.0f);
		rig.params.Set(kDelayLevel, 1.0f);
		rig.Attach(delay, bWithTempo);
	}

	// An impulse of 1.0 on input 1 followed by n - 1 zeros.
	void Impulse(size_t n, std::vector<float>& out1, std::vector<float>& out2)
	{
		std::vector<float> in1(n, 0.0f), in2(n, 0.0f);
		in1[0] = 1.0f;
		RunBlock(delay, in1, in2, out1, out2);
	}
};

// Every output sample is 0 except the listed ones, which match within 2e-6.
void ExpectSparse(const std::vector<float>& out1, const std::vector<float>& out2,
                  const std::map<size_t, std::pair<double, double>>& expected)
{
	for (size_t i = 0; i < out1.size(); ++i)
	{
		const auto it = expected.find(i);
		const double d1 = it == expected.end() ? 0.0 : it->second.first;
		const double d2 = it == expected.end() ? 0.0 : it->second.second;
		ASSERT_NEAR(out1[i], d1, 2e-6) << i;
		ASSERT_NEAR(out2[i], d2, 2e-6) << i;
	}
}
} // namespace

TEST(Delay, ImpulseAlternatesBetweenSidesOnEighthNotes)
{
	DelayRig d(44100.0);
	std::vector<float> out1, out2;
	d.Impulse(44200, out1, out2);
	ExpectSparse(out1, out2,
	             {{0, {1.0, 0.0}},
	              {11025, {0.07, 0.35}},
	              {22050, {0.0049, 0.0245}},
	              {33075, {0.122843, 0.026215}},
	              {44100, {0.01717401, 0.04471005}}});
}

TEST(Delay, WithoutTempoCellAssumes90Bpm)
{
	DelayRig d(44100.0, 120.0f, false);
	std::vector<float> out1, out2;
	d.Impulse(29500, out1, out2);
	ExpectSparse(out1, out2, {{0, {1.0, 0.0}}, {14700, {0.07, 0.35}}, {29400, {0.0049, 0.0245}}});
}

// 121 BPM puts the eighth note at 10933.884 samples. An impulse right after
// Reset is read while the position is still before the ring's start, one
// 20000 samples later well after it; both must land on the two samples
// around the delay, split as linear interpolation splits them, and keep the
// echo's whole energy.
TEST(Delay, FractionalDelayInterpolatesOnBothSidesOfTheRingStart)
{
	DelayRig d(44100.0, 121.0f);
	// Half a beat in samples, in single precision.
	const double D = (1.0f / (121.0f / 60.0f)) * 0.5f * 44100.0f;
	for (const size_t t0 : {size_t{0}, size_t{20000}})
	{
		d.delay.Reset();
		std::vector<float> in1(t0 + 11500, 0.0f), in2(t0 + 11500, 0.0f), out1, out2;
		in1[t0] = 1.0f;
		RunBlock(d.delay, in1, in2, out1, out2);
		double dSum1 = 0.0, dSum2 = 0.0;
		for (size_t i = t0 + 1; i < in1.size(); ++i)
		{
			const double w = std::max(0.0, 1.0 - std::fabs(static_cast<double>(i - t0) - D));
			ASSERT_NEAR(out1[i], 0.07 * w, 1e-6) << i;
			ASSERT_NEAR(out2[i], 0.35 * w, 2e-6) << i;
			dSum1 += out1[i];
			dSum2 += out2[i];
		}
		EXPECT_NEAR(dSum1, 0.07, 1e-6) << t0;
		EXPECT_NEAR(dSum2, 0.35, 1e-6) << t0;
		EXPECT_GT(out1[t0 + 10933], 0.0f);
		EXPECT_GT(out1[t0 + 10934], out1[t0 + 10933]);
	}
}

TEST(Delay, SwitchAndLevelGoverningTheRings)
{
	DelayRig d(44100.0);
	{
		// Off: an exact copy, whatever the samples, and the rings stand still.
		d.rig.params.Set(kDelayOnOff, 0.0f);
		std::vector<float> in1 = Noise(4000, 1), in2 = Noise(4000, 2), out1, out2;
		in1[3] = std::numeric_limits<float>::quiet_NaN();
		in2[4] = std::numeric_limits<float>::infinity();
		in1[5] = std::numeric_limits<float>::denorm_min();
		RunBlock(d.delay, in1, in2, out1, out2);
		EXPECT_EQ(std::memcmp(in1.data(), out1.data(), in1.size() * sizeof(float)), 0);
		EXPECT_EQ(std::memcmp(in2.data(), out2.data(), in2.size() * sizeof(float)), 0);
	}
	{
		// Level 0: the input passes unchanged while the rings record it; what
		// they recorded is heard once the level comes up.
		d.rig.params.Set(kDelayOnOff, 1.0f);
		d.rig.params.Set(kDelayLevel, 0.0f);
		std::vector<float> in1(5000, 0.0f), in2(5000, 0.0f), out1, out2;
		in1[0] = 1.0f;
		in2[3] = 0.5f;
		RunBlock(d.delay, in1, in2, out1, out2);
		EXPECT_EQ(out1, in1);
		EXPECT_EQ(out2, in2);

		d.rig.params.Set(kDelayLevel, 1.0f);
		std::vector<float> z(18000, 0.0f);
		RunBlock(d.delay, z, z, out1, out2);
		ExpectSparse(out1, out2,
		             {{11025 - 5000, {0.07, 0.35}},
		              {22050 - 5000, {0.0049, 0.0245}},
		              {22053 - 5000, {0.35 * 0.5, 0.07 * 0.5}}});
	}
}

// At 1 kHz the rings hold 33,000 samples, so line 2 can reach 16,500 samples
// (line 1's delay) x 2. Tempos that ask for longer, or for nothing sensible,
// are bounded before any index exists: never more than half a ring, never
// less than one sample.
TEST(Delay, AbsurdTemposAreBoundedToTheRing)
{
	const float fInf = std::numeric_limits<float>::infinity();
	const struct
	{
		float fTempo;
		size_t iEcho;
		bool bAsserts;
	} aCases[] = {{0.0f, 16500, true},
	              {std::numeric_limits<float>::quiet_NaN(), 16500, true},
	              {1e-30f, 16500, true},
	              {1.0f, 16500, false},
	              {-120.0f, 1, false},
	              {fInf, 1, false},
	              {-fInf, 1, false},
	              {1e30f, 1, false},
	              {1.875f, 16000, false}};
	DelayRig d(1000.0);
	ASSERT_EQ(d.delay.GetRingLength(), 33000);
	for (const auto& tc : aCases)
	{
		AssertCapture asserts;
		d.rig.fTempo = tc.fTempo;
		d.delay.Reset();
		std::vector<float> out1, out2;
		d.Impulse(34000, out1, out2);
		for (size_t i = 0; i < out1.size(); ++i)
			ASSERT_TRUE(std::isfinite(out1[i]) && std::isfinite(out2[i])) << tc.fTempo << " " << i;
		for (size_t i = 1; i < tc.iEcho; ++i)
			ASSERT_EQ(out1[i], 0.0f) << tc.fTempo << " " << i;
		EXPECT_NEAR(out1[tc.iEcho], 0.07, 1e-6) << tc.fTempo;
		EXPECT_NEAR(out2[tc.iEcho], 0.35, 1e-6) << tc.fTempo;
		EXPECT_EQ(asserts.s_iCount > 0, tc.bAsserts) << tc.fTempo;
		if (tc.bAsserts)
		{
			EXPECT_EQ(asserts.s_text, "samplesfordelay < fbuffsizetouse");
		}
	}
}

// Non-finite input samples behave exactly as zeros would: the echoes stay
// finite and identical, and only the dry part of those samples is lost.
TEST(Delay, NonFiniteInputNeverReachesTheRings)
{
	const float fNaN = std::numeric_limits<float>::quiet_NaN();
	const float fInf = std::numeric_limits<float>::infinity();
	std::vector<float> in1 = Noise(6000, 4), in2 = Noise(6000, 5);
	std::vector<float> clean1 = in1, clean2 = in2;
	for (size_t i = 0; i < 3000; i += 37)
	{
		const float fBad = i % 3 == 0 ? fNaN : (i % 3 == 1 ? fInf : -fInf);
		in1[i] = fBad, clean1[i] = 0.0f;
		in2[i + 11] = -fBad, clean2[i + 11] = 0.0f;
	}
	for (size_t i = 3000; i < in1.size(); ++i)
		in1[i] = in2[i] = clean1[i] = clean2[i] = 0.0f;

	std::vector<float> out1, out2, ref1, ref2;
	DelayRig dirty(1000.0), clean(1000.0);
	dirty.rig.params.Set(kDelayLevel, 0.6f);
	clean.rig.params.Set(kDelayLevel, 0.6f);
	RunBlock(dirty.delay, in1, in2, out1, out2);
	RunBlock(clean.delay, clean1, clean2, ref1, ref2);
	EXPECT_EQ(out1, ref1);
	EXPECT_EQ(out2, ref2);
	for (size_t i = 0; i < out1.size(); ++i)
		ASSERT_TRUE(std::isfinite(out1[i]) && std::isfinite(out2[i])) << i;
	EXPECT_NE(out1[5500], 0.0f);
}

TEST(Delay, RingLengthFollowsTheRateAndResetClearsAllItCanRead)
{
	AssertCapture asserts;
	CMyDelay delay;
	ParamTable params;
	params.Set(kDelayOnOff, 1.0f);
	params.Set(kDelayLevel, 1.0f);
	double dRate = 44100.0;
	ParamCell fTempo{120.0f};
	delay.SetSampleRate(&dRate);
	delay.SetTempo(&fTempo);
	delay.SetParams(params.apTable);
	EXPECT_EQ(delay.GetConfiguredLength(), 1455300);
	dRate = 192000.0;
	delay.SetSampleRate(&dRate);
	EXPECT_EQ(delay.GetConfiguredLength(), 6336000);
	EXPECT_EQ(asserts.s_iCount, 0);
	dRate = 384000.0;
	delay.SetSampleRate(&dRate);
	EXPECT_EQ(delay.GetConfiguredLength(), CMyDelay::kRingCapacity);
	EXPECT_EQ(asserts.s_iCount, 1);
	EXPECT_EQ(asserts.s_source, "MyDelay");

	// Fill the rings at one rate, reset at another: nothing written before is
	// heard again, whichever of the two rings is longer. With the longest
	// delay (tempo 0 is bounded to it), line 2 reads each entry just before
	// it is rewritten, so a whole ring of silence sweeps every entry in use.
	const double aRates[][2] = {{1000.0, 2000.0}, {2000.0, 1000.0}};
	for (const auto& rates : aRates)
	{
		dRate = rates[0];
		delay.SetSampleRate(&dRate);
		delay.Reset();
		std::vector<float> noise = Noise(70000, 6), out1, out2;
		RunBlock(delay, noise, noise, out1, out2);

		dRate = rates[1];
		fTempo = 0.0f;
		delay.SetSampleRate(&dRate);
		delay.Reset();
		EXPECT_EQ(delay.GetRingLength(), static_cast<int>(33 * rates[1]));
		std::vector<float> z(static_cast<size_t>(33 * rates[1]) + 10, 0.0f);
		RunBlock(delay, z, z, out1, out2);
		for (size_t i = 0; i < z.size(); ++i)
		{
			ASSERT_EQ(out1[i], 0.0f) << rates[1] << " " << i;
			ASSERT_EQ(out2[i], 0.0f) << rates[1] << " " << i;
		}
		fTempo = 120.0f;
	}
}

TEST(Delay, ReportedTailCoversTheEchoesDownToTheFloor)
{
	for (float fLevel : {1.0f, 0.75f, 0.3f})
	{
		SCOPED_TRACE(fLevel);
		DelayRig d(44100.0);
		d.rig.params.Set(kDelayLevel, fLevel);
		const double dTail = d.delay.GetTailSeconds();
		const auto nTail = static_cast<size_t>(dTail * 44100.0);
		std::vector<float> out1, out2;
		d.Impulse(nTail + 44100, out1, out2);
		float fAfter = 0.0f, fBefore = 0.0f;
		for (size_t i = 1; i < out1.size(); ++i)
		{
			float& fPeak = i >= nTail ? fAfter : fBefore;
			fPeak = std::max(fPeak, std::max(std::fabs(out1[i]), std::fabs(out2[i])));
		}
		EXPECT_LT(fAfter, 1e-6f);
		EXPECT_GT(fBefore, 1e-3f);
	}
	// Off, or no echo level: nothing rings on.
	DelayRig off(44100.0);
	off.rig.params.Set(kDelayOnOff, 0.0f);
	EXPECT_EQ(off.delay.GetTailSeconds(), 0.0);
	off.rig.params.Set(kDelayOnOff, 1.0f);
	off.rig.params.Set(kDelayLevel, 0.0f);
	EXPECT_EQ(off.delay.GetTailSeconds(), 0.0);
	// A tempo of 0 reads half the ring back: the tail follows that bound.
	DelayRig slow(44100.0, 0.0f);
	EXPECT_GT(slow.delay.GetTailSeconds(), 16.5 * 15.0);
	EXPECT_TRUE(std::isfinite(slow.delay.GetTailSeconds()));
}

// The lines as defined, one sample at a time: each read interpolates between
// the entries written ceil(D) and ceil(D) - 1 samples ago.
std::pair<std::vector<float>, std::vector<float>> ReferenceLines(const std::vector<float>& in1,
                                                                 const std::vector<float>& in2, int L, double D,
                                                                 float m)
{
	std::vector<float> ring1(static_cast<size_t>(L), 0.0f), ring2(ring1), out1(in1.size()), out2(in1.size());
	auto read = [L](const std::vector<float>& ring, int w, double dDelay) {
		const int iBack = static_cast<int>(std::ceil(dDelay));
		const float fNewer = static_cast<float>(iBack - dDelay);
		const int k = ((w - iBack) % L + L) % L;
		return (1.0f - fNewer) * ring[static_cast<size_t>(k)] + fNewer * ring[static_cast<size_t>((k + 1) % L)];
	};
	const float g = 0.7f * m;
	for (size_t i = 0, w = 0; i < in1.size(); ++i, w = (w + 1) % static_cast<size_t>(L))
	{
		const float r1 = read(ring1, static_cast<int>(w), D), r2 = read(ring2, static_cast<int>(w), 2.0 * D);
		const float w1 = (0.5f * (0.2f * g) * r1 + 0.5f * g * r2) + in1[i];
		const float w2 = (0.5f * (0.2f * g) * r2 + 0.5f * g * r1) + in2[i];
		ring1[w] = w1;
		ring2[w] = w2;
		out1[i] = (1.0f - m) * in1[i] + m * w1;
		out2[i] = (1.0f - m) * in2[i] + m * w2;
	}
	return {out1, out2};
}

// The lines run a stretch of samples at a time wherever no read can reach
// what the stretch writes: at any block length, across the ring's wrap and
// at the longest and the shortest delays, the samples are those of the lines
// run one at a time.
TEST(Delay, StretchesGiveTheSamplesOfOneAtATime)
{
	const std::vector<float> in1 = Noise(75000, 31), in2 = Noise(75000, 32);
	// At 1 kHz the ring holds 33000 entries; 121 beats per minute is a
	// fractional eighth note, 0 the longest delay, 1e6 the shortest.
	for (float fTempo : {121.0f, 0.0f, 1e6f})
	{
		SCOPED_TRACE(fTempo);
		DelayRig ref(1000.0, fTempo);
		const double D = fTempo == 0.0f ? 16500.0 : fTempo > 1e5f ? 1.0 : static_cast<double>((1.0f / (fTempo / 60.0f)) * 0.5f * 1000.0f);
		const auto expected = ReferenceLines(in1, in2, 33000, D, 1.0f);
		for (int iBlock : {1, 37, 1024})
		{
			SCOPED_TRACE(iBlock);
			DelayRig d(1000.0, fTempo);
			std::vector<float> out1, out2;
			RunBlock(d.delay, in1, in2, out1, out2, iBlock);
			ASSERT_EQ(out1, expected.first);
			ASSERT_EQ(out2, expected.second);
		}
	}
}
