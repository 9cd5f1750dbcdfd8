#include "MyChorus.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

namespace {
constexpr double kRate = 44100.0;
// 40 ms at 44.1 kHz, and the oscillator's period there.
constexpr int kLength = 1764;
constexpr int kPeriod = 147001;
constexpr double kLevelAtFullSpeed = (0.01 + 0.3) * 3.33;

struct ChorusRig
{
	BlockRig rig{kRate};
	CMyChorus chorus;

	explicit ChorusRig(float fSpeed)
	{
		rig.params.Set(kModulationOnOff, 1.0f);
		rig.params.Set(kChorusSpeed, fSpeed);
		rig.Attach(chorus);
	}
};

// Where a tap reads, in samples behind the newest: the centre h + 1 behind,
// swung by 0.15 h along the oscillator, whose counter is 1 on the first
// sample after Reset and restarts every kPeriod samples.
double TapLag(size_t i, bool bSine)
{
	const double h = kLength / 2;
	const double dPhase = static_cast<double>((i + 1) % kPeriod) / kRate * 0.6 * 3.141592653589793;
	return h + 1.0 - 0.15 * h * (bSine ? std::sin(dPhase) : std::cos(dPhase));
}

// Weight with which a tap at sample i picks up an impulse at sample j.
double ImpulseWeight(size_t i, size_t j, bool bSine)
{
	const double dRead = static_cast<double>(i) - TapLag(i, bSine);
	return std::max(0.0, 1.0 - std::fabs(dRead - static_cast<double>(j)));
}
} // namespace

TEST(Chorus, OffPathCopiesInputsBitForBit)
{
	ChorusRig c(1.0f);
	c.rig.params.Set(kModulationOnOff, 0.0f);
	std::vector<float> in1 = Noise(3000, 1), in2 = Noise(3000, 2), out1, out2;
	in1[5] = std::numeric_limits<float>::quiet_NaN();
	in2[7] = -std::numeric_limits<float>::infinity();
	in1[9] = std::numeric_limits<float>::denorm_min();
	RunBlock(c.chorus, in1, in2, out1, out2);
	EXPECT_EQ(std::memcmp(in1.data(), out1.data(), in1.size() * sizeof(float)), 0);
	EXPECT_EQ(std::memcmp(in2.data(), out2.data(), in2.size() * sizeof(float)), 0);
}

TEST(Chorus, SpeedSetsWetDryBalanceAndLevel)
{
	{
		// Speed 0: no wet signal at all, both outputs 0.999 x input 1.
		ChorusRig c(0.0f);
		std::vector<float> in1 = Noise(4000, 3), in2 = Noise(4000, 4), out1, out2;
		RunBlock(c.chorus, in1, in2, out1, out2);
		for (size_t i = 0; i < in1.size(); ++i)
		{
			ASSERT_NEAR(out1[i], 0.999 * in1[i], 1e-6) << i;
			ASSERT_NEAR(out2[i], 0.999 * in1[i], 1e-6) << i;
		}
	}
	{
		// Speed 1 on a constant: while the taps still read the cleared ring
		// only the dry 0.3 shows; once they reach the signal, 0.3 + 0.7.
		ChorusRig c(1.0f);
		std::vector<float> in1(3000, 0.5f), in2(3000, 0.0f), out1, out2;
		RunBlock(c.chorus, in1, in2, out1, out2);
		for (size_t i = 0; i < 700; ++i)
		{
			ASSERT_NEAR(out1[i], 0.3 * kLevelAtFullSpeed * 0.5, 1e-6) << i;
			ASSERT_NEAR(out2[i], 0.3 * kLevelAtFullSpeed * 0.5, 1e-6) << i;
		}
		for (size_t i = 1100; i < in1.size(); ++i)
		{
			ASSERT_NEAR(out1[i], kLevelAtFullSpeed * 0.5, 1e-6) << i;
			ASSERT_NEAR(out2[i], kLevelAtFullSpeed * 0.5, 1e-6) << i;
		}
	}
	{
		// Input 2 is not heard while the effect is on.
		ChorusRig c(1.0f);
		std::vector<float> in1(3000, 0.0f), in2 = Noise(3000, 5), out1, out2;
		RunBlock(c.chorus, in1, in2, out1, out2);
		for (size_t i = 0; i < in1.size(); ++i)
		{
			ASSERT_EQ(out1[i], 0.0f) << i;
			ASSERT_EQ(out2[i], 0.0f) << i;
		}
	}
}

// Two impulses one oscillator period apart: each tap picks each one up where
// its lag crosses the impulse's age, with the oscillator at the same phase
// both times. An oscillator starting from counter 0, or of another period,
// moves the sine tap by a hundredth of a sample at these crossings.
TEST(Chorus, TapsFollowTheOscillatorFromCounterOneWithItsPeriod)
{
	ChorusRig c(1.0f);
	const size_t n = kPeriod + 2000;
	std::vector<float> in1(n, 0.0f), in2(n, 0.0f), out1, out2;
	in1[0] = 1.0f;
	in1[kPeriod] = 1.0f;
	RunBlock(c.chorus, in1, in2, out1, out2);

	for (size_t i = 0; i < n; ++i)
	{
		const double dDry = 0.3 * kLevelAtFullSpeed * in1[i];
		const double dWet = 0.7 * kLevelAtFullSpeed;
		const double dExpected1 = dDry + dWet * (ImpulseWeight(i, 0, false) + ImpulseWeight(i, kPeriod, false));
		const double dExpected2 = dDry + dWet * (ImpulseWeight(i, 0, true) + ImpulseWeight(i, kPeriod, true));
		ASSERT_NEAR(out1[i], dExpected1, 3e-4) << i;
		ASSERT_NEAR(out2[i], dExpected2, 3e-4) << i;
	}
	// The cosine tap leaves near 751 samples behind, the sine tap near 883.
	EXPECT_GT(out1[750] + out1[751], 0.5);
	EXPECT_GT(out2[877] + out2[878], 0.5);
}

TEST(Chorus, RingLengthFollowsTheRateAtResetAndIsAlwaysSafe)
{
	CMyChorus chorus;
	ParamTable params;
	params.Set(kModulationOnOff, 1.0f);
	params.Set(kChorusSpeed, 1.0f);
	double dRate = 48000.0;
	chorus.SetParams(params.apTable);
	chorus.SetSampleRate(&dRate);
	EXPECT_EQ(chorus.GetConfiguredLength(), 1920);

	// Not reset yet: no ring to read, so the signal passes.
	std::vector<float> in1 = Noise(512, 6), in2 = Noise(512, 7), out1, out2;
	RunBlock(chorus, in1, in2, out1, out2);
	EXPECT_EQ(out1, in1);
	EXPECT_EQ(out2, in2);

	const struct
	{
		double dRate;
		int iLength;
	} aCases[] = {{44100.0, 1764}, {96000.0, 3840}, {192000.0, 7680}, {1e6, 32768}, {1e30, 32768}, {0.0, 0},
	              {-44100.0, 0}, {std::numeric_limits<double>::quiet_NaN(), 0}};
	for (const auto& tc : aCases)
	{
		dRate = tc.dRate;
		chorus.SetSampleRate(&dRate);
		EXPECT_EQ(chorus.GetConfiguredLength(), tc.iLength) << tc.dRate;
		chorus.Reset();
		in1 = Noise(40000, 8);
		in2 = Noise(40000, 9);
		RunBlock(chorus, in1, in2, out1, out2);
		for (size_t i = 0; i < in1.size(); ++i)
			ASSERT_TRUE(std::isfinite(out1[i]) && std::isfinite(out2[i])) << tc.dRate << " " << i;
		if (tc.iLength == 0)
		{
			EXPECT_EQ(out1, in1) << tc.dRate;
		}
	}
}

// The oscillator against the library functions it stands for, over a whole
// period at three rates: the taps read from exactly the positions that cos
// and sin of the single-precision phase give.
TEST(Chorus, OscillatorMatchesTheLibraryCosineAndSineOverAPeriod)
{
	for (double dRate : {44100.0, 48000.0, 96000.0})
	{
		SCOPED_TRACE(dRate);
		BlockRig rig(dRate);
		CMyChorus chorus;
		rig.params.Set(kModulationOnOff, 1.0f);
		rig.params.Set(kChorusSpeed, 1.0f);
		rig.Attach(chorus);
		const float fs = static_cast<float>(dRate);
		const size_t n = static_cast<size_t>(fs * 3.3333333f) + 1000;
		const std::vector<float> in = Noise(n, 17);
		std::vector<float> out1, out2;
		RunBlock(chorus, in, in, out1, out2, 777);

		// The same chorus, sample by sample, with the library's cos and sin.
		const int L = chorus.GetConfiguredLength();
		std::vector<float> ring(static_cast<size_t>(L), 0.0f);
		const float h = static_cast<float>(L / 2), fDry = 1.0f - 0.7f * 1.0f, fWet = 1.0f - fDry;
		const float fLevel = (0.01f * 1.0f + 0.3f) * 3.33f;
		auto read = [&](float p) {
			int k = static_cast<int>(std::floor(p));
			const float f = p - static_cast<float>(k);
			k = (k % L + L) % L;
			return (1.0f - f) * ring[static_cast<size_t>(k)] + f * ring[static_cast<size_t>((k + 1) % L)];
		};
		int w = 0, counter = 0, iMismatches = 0;
		for (size_t i = 0; i < n; ++i)
		{
			ring[static_cast<size_t>(w)] = in[i];
			w = (w + 1) % L;
			counter = fs * 3.3333333f > static_cast<float>(counter) ? counter + 1 : 0;
			const double dPhase = static_cast<double>(static_cast<float>(counter) / fs * 1.8849558f);
			const float fCentre = static_cast<float>(w) + (h - 2.0f);
			const float y1 = (fWet * read(fCentre + 0.15f * h * static_cast<float>(std::cos(dPhase))) + fDry * in[i]) * fLevel;
			const float y2 = (fWet * read(fCentre + 0.15f * h * static_cast<float>(std::sin(dPhase))) + fDry * in[i]) * fLevel;
			iMismatches += (y1 != out1[i]) + (y2 != out2[i]);
		}
		EXPECT_EQ(iMismatches, 0);
	}
}

// A new speed glides over 20 ms at every rate, in whatever calls it comes:
// on a constant the taps read the constant too, so the output over the
// input is the level, 3.33 (0.01 s + 0.3), and gives the speed sample by
// sample. Raised from 0 to 1, then turned back to 0 half-way, it takes a
// straight line from 0 and another back from where it stood (0.5), each
// N samples long: s = (k + 1) / N at k samples after the first change.
TEST(Chorus, ASpeedGlidesInAStraightLineAtEveryRateInAnyCalls)
{
	const std::pair<double, int> aGlides[] = {{44100.0, 882}, {48000.0, 960}, {96000.0, 1920}, {192000.0, 3840}};
	for (const auto& [dRate, N] : aGlides)
		for (const int iCall : {1, 37, 1024, 8192})
		{
			BlockRig rig(dRate);
			CMyChorus chorus;
			rig.params.Set(kModulationOnOff, 1.0f);
			rig.params.Set(kChorusSpeed, 0.0f);
			rig.Attach(chorus);
			// The taps read the constant everywhere from 40 ms on.
			const int iUp = static_cast<int>(0.05 * dRate) + 3;
			const int iBack = iUp + N / 2;
			const int iEnd = iBack + N + 100;
			const std::vector<float> in(static_cast<size_t>(iEnd), 0.5f);
			std::vector<float> out1(in.size()), out2(in.size());
			for (const auto& [iFrom, iTo, fSpeed] : {std::tuple{0, iUp, 0.0f}, {iUp, iBack, 1.0f}, {iBack, iEnd, 0.0f}})
			{
				rig.params.Set(kChorusSpeed, fSpeed);
				for (int i = iFrom; i < iTo; i += iCall)
					chorus.Process(&in[i], &in[i], &out1[i], &out2[i], std::min(iCall, iTo - i));
			}
			for (int k = iUp - 10; k < iEnd; ++k)
			{
				const double dExpected =
				    k < iUp     ? 0.0
				    : k < iBack ? static_cast<double>(k + 1 - iUp) / N
				                : 0.5 * std::max(0.0, 1.0 - static_cast<double>(k + 1 - iBack) / N);
				for (const std::vector<float>* pOut : {&out1, &out2})
				{
					const double dSpeed = ((*pOut)[k] / 0.5 / 3.33 - 0.3) / 0.01;
					ASSERT_NEAR(dSpeed, dExpected, 2e-5)
					    << dRate << " Hz in calls of " << iCall << ", " << k - iUp << " samples after the change";
				}
			}
		}
}

namespace {
// Runs two choruses block by block over the same inputs, telling each per
// block whether it is stereo; returns whether every output sample is the same.
template <typename StereoFn>
bool RunPairAlike(ChorusRig& a, ChorusRig& b, const std::vector<float>& in1, const std::vector<float>& in2,
                  StereoFn stereo)
{
	std::vector<float> a1(256), a2(256), b1(256), b2(256);
	bool bAlike = true;
	for (size_t i = 0, iBlock = 0; i + 256 <= in1.size(); i += 256, ++iBlock)
	{
		const auto [bA, bB] = stereo(iBlock);
		a.chorus.SetStereo(bA);
		b.chorus.SetStereo(bB);
		a.chorus.Process(&in1[i], &in2[i], a1.data(), a2.data(), 256);
		b.chorus.Process(&in1[i], &in2[i], b1.data(), b2.data(), 256);
		bAlike = bAlike && a1 == b1 && a2 == b2;
	}
	return bAlike;
}
} // namespace

// Equal inputs sound the same mono or stereo, whenever stereo begins: input
// 2's ring starts as input 1's.
TEST(Chorus, GoingStereoWithEqualInputsChangesNoSample)
{
	ChorusRig mono(0.8f), stereo(0.8f);
	const std::vector<float> x = Noise(256 * 40, 3);
	EXPECT_TRUE(RunPairAlike(mono, stereo, x, x, [](size_t i) { return std::pair{false, i >= 20}; }));
	EXPECT_TRUE(stereo.chorus.Stereo());
	EXPECT_FALSE(mono.chorus.Stereo());
}

// After different inputs, told mono with equal ones, a chorus sounds as one
// kept stereo, and turns mono once input 2's ring holds input 1's samples
// (a ring of 1764 in blocks of 256: from the eighth block).
TEST(Chorus, BackToMonoWaitsForTheSecondRing)
{
	ChorusRig kept(0.8f), told(0.8f);
	const std::vector<float> in1 = Noise(256 * 20, 4), in2 = Noise(256 * 20, 5), x = Noise(256 * 20, 6);
	EXPECT_TRUE(RunPairAlike(kept, told, in1, in2, [](size_t) { return std::pair{true, true}; }));
	EXPECT_TRUE(RunPairAlike(kept, told, x, x, [&](size_t i) {
		// Asked before each block runs.
		if (i == 7 || i == 8)
		{
			EXPECT_EQ(told.chorus.Stereo(), i == 7);
		}
		return std::pair{true, false};
	}));
	EXPECT_FALSE(told.chorus.Stereo());
}
