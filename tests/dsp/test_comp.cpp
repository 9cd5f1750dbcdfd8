#include "MyComp.h"
#include "dspfixture.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace {
struct CompRig
{
	BlockRig rig;
	CMyComp comp;

	explicit CompRig(float fLevel)
	{
		rig.Attach(comp);
		rig.params.Set(kGateCompOnOff, 1.0f);
		rig.params.Set(kCompressorLevel, fLevel);
	}
	std::vector<float> Run(const std::vector<float>& in1, const std::vector<float>& in2, std::vector<float>* pOut2 = nullptr)
	{
		std::vector<float> out1, out2;
		RunBlock(comp, in1, in2, out1, out2);
		if (pOut2)
			*pOut2 = out2;
		return out1;
	}
	std::vector<float> Run(const std::vector<float>& in) { return Run(in, std::vector<float>(in.size(), 0.0f)); }
	float Led() const { return rig.params.Get(kCompressionLed); }
};

// A steady input whose detector level, once the window is full, is dLevelDb:
// the window holds 1023 magnitudes and divides by 1024.
std::vector<float> SteadyAtLevel(double dLevelDb, size_t n = 2048)
{
	return std::vector<float>(n, static_cast<float>(std::pow(10.0, (dLevelDb - 3.8) / 20.0) * 1024.0 / 1023.0));
}

double GainDb(float fOut, float fIn)
{
	return ToDb(static_cast<double>(fOut) / fIn);
}

double SteadyGainDb(float fLevel, double dLevelDb)
{
	CompRig rig(fLevel);
	const std::vector<float> in = SteadyAtLevel(dLevelDb);
	return GainDb(rig.Run(in).back(), in.back());
}

// The gain computer written out directly from its definition, fed by a
// plain moving average of magnitudes kept to 32 fractional bits: the
// reference for the block's faster evaluation.
struct ReferenceComp
{
	float p;
	std::deque<double> window;
	double dSum = 0.0;

	float Gain(float x)
	{
		const double dMagnitude = std::trunc(std::fabs(static_cast<double>(x)) * 0x1p32) * 0x1p-32;
		window.push_back(dMagnitude);
		dSum += dMagnitude;
		if (window.size() > 1023)
		{
			dSum -= window.front();
			window.pop_front();
		}
		const double dMean = dSum / 1024.0;
		const float L = dMean == 0.0 ? -146.2f : static_cast<float>(20.0 * std::log10(dMean) + 3.8);
		const float T = (1.0f - p) * 30.0f - 50.0f;
		const float Tg = std::min(T, -27.84f);
		float o = L + 11.45f;
		if (L >= T)
			o = (T - L) * 0.532f + (L + 11.45f);
		else if (Tg >= L)
			o = (L + 11.45f) - (Tg - L);
		const float fDb = p * 13.0f + (o - L);
		return static_cast<float>(std::pow(10.0, static_cast<double>(fDb / 20.0f)));
	}
};
} // namespace

TEST(Comp, SteadyLevelsGetTheirWorkedGains)
{
	const double kTol = 1e-3;
	// p = 0: thresholds -20 and -27.84 dB, make-up 11.45 dB.
	EXPECT_NEAR(SteadyGainDb(0.0f, -24.0), 11.45, kTol);
	EXPECT_NEAR(SteadyGainDb(0.0f, -10.0), 6.13, kTol);
	EXPECT_NEAR(SteadyGainDb(0.0f, -37.84), 1.45, kTol);
	// p = 0.8: both thresholds at -44 dB, make-up 21.85 dB.
	EXPECT_NEAR(SteadyGainDb(0.8f, -44.0), 21.85, kTol);
	EXPECT_NEAR(SteadyGainDb(0.8f, -40.0), 21.85 - 0.532 * 4.0, kTol);
	EXPECT_NEAR(SteadyGainDb(0.8f, -50.0), 21.85 - 6.0, kTol);
	// p = 1: both thresholds at -50 dB.
	EXPECT_NEAR(SteadyGainDb(1.0f, -40.0), 19.13, kTol);
	EXPECT_NEAR(SteadyGainDb(1.0f, -60.0), 14.45, kTol);
}

TEST(Comp, DetectorReadsSilenceFirstSamplesAndSines)
{
	// Magnitudes below 2^-32 vanish in the fixed point: an exactly empty
	// window reads -146.2 dB and gates by 11.45 - (-27.84 + 146.2) = -106.91 dB.
	CompRig silence(0.0f);
	const std::vector<float> tiny(3000, 1e-10f);
	const std::vector<float> out = silence.Run(tiny);
	for (size_t i = 0; i < out.size(); ++i)
		ASSERT_NEAR(GainDb(out[i], tiny[i]), -106.91, 1e-3) << i;

	// After a reset the first full-scale sample is 1/1024 of the window:
	// L = 20 log10(1/1024) + 3.8 = -56.406 dB, gated to 39.29 + L.
	CompRig first(0.0f);
	first.Run(std::vector<float>(5000, 0.7f));
	first.comp.Reset();
	const double dFirstLevel = ToDb(1.0 / 1024.0) + 3.8;
	EXPECT_NEAR(dFirstLevel, -56.406, 1e-3);
	EXPECT_NEAR(GainDb(first.Run({1.0f})[0], 1.0f), 11.45 + 27.84 + dFirstLevel, 1e-3);

	// A full-scale sine (93 samples a period tile the window) reads
	// 20 log10((2/pi) 1023/1024) + 3.8 = -0.131 dB; recovered from the
	// compressed gain 11.45 - 0.532 (L + 20).
	CompRig sine(0.0f);
	const std::vector<float> in = MakeTone(4096, 48000.0 / 93.0, 48000.0, 1.0);
	const std::vector<float> outSine = sine.Run(in);
	for (size_t i = 1023; i < in.size(); ++i)
	{
		if (std::fabs(in[i]) < 1e-3f)
			continue;
		const double dLevel = (11.45 - GainDb(outSine[i], in[i])) / 0.532 - 20.0;
		ASSERT_NEAR(dLevel, -0.131, 0.002) << i;
	}
}

TEST(Comp, FastGainEqualsTheDirectFormula)
{
	// Sweeps from -100 to +6 dBFS and back, then silence and near-silence,
	// crossing both thresholds in both directions at every setting.
	std::vector<float> in;
	for (int i = 0; i < 120000; ++i)
	{
		const double dDb = i < 60000 ? -100.0 + 106.0 * i / 60000.0 : 6.0 - 106.0 * (i - 60000) / 60000.0;
		in.push_back(static_cast<float>(std::pow(10.0, dDb / 20.0) * std::sin(0.05 * i)));
	}
	in.insert(in.end(), 3000, 0.0f);
	in.insert(in.end(), 3000, 3e-10f);

	for (float p : {0.0f, 0.2613f, 0.5f, 0.8f, 1.0f})
	{
		CompRig rig(p);
		ReferenceComp reference{p, {}, 0.0};
		const std::vector<float> out = rig.Run(in);
		for (size_t i = 0; i < in.size(); ++i)
		{
			const float fExpected = reference.Gain(in[i]);
			if (in[i] == 0.0f)
				ASSERT_EQ(out[i], 0.0f);
			else
				ASSERT_NEAR(GainDb(out[i], in[i]), ToDb(fExpected), 1e-4) << "p " << p << " at " << i;
		}

		// Blocks of any length give the same samples.
		CompRig odd(p);
		std::vector<float> outOdd, out2;
		RunBlock(odd.comp, in, in, outOdd, out2, 301);
		EXPECT_EQ(outOdd, out) << "p " << p;
	}
}

TEST(Comp, LedShowsWhetherTheLastSampleWasCompressed)
{
	CompRig rig(0.0f);
	rig.rig.params.Set(kCompressionLed, 0.5f);
	rig.Run(SteadyAtLevel(-10.0)); // gated while the window fills, compressed at the end
	EXPECT_EQ(rig.Led(), 1.0f);

	float f = 0.0f;
	rig.comp.Process(&f, &f, &f, &f, 0);
	EXPECT_EQ(rig.Led(), 1.0f);

	rig.Run(std::vector<float>(2048, 0.0f)); // compressed at the start, gated at the end
	EXPECT_EQ(rig.Led(), 0.0f);
	rig.Run(SteadyAtLevel(-10.0));
	rig.Run(SteadyAtLevel(-24.0)); // linear
	EXPECT_EQ(rig.Led(), 0.0f);

	// Within one block: the first of eight silent samples after a level just
	// above the threshold still compresses, the last no longer does.
	rig.Run(SteadyAtLevel(-19.99));
	ASSERT_EQ(rig.Led(), 1.0f);
	const std::vector<float> silent(8, 0.0f);
	rig.Run(silent);
	EXPECT_EQ(rig.Led(), 0.0f);

	// At p = 0.8 there is no linear range: just above -44 dB compresses.
	CompRig high(0.8f);
	high.Run(SteadyAtLevel(-43.9));
	EXPECT_EQ(high.Led(), 1.0f);
	high.Run(SteadyAtLevel(-44.1));
	EXPECT_EQ(high.Led(), 0.0f);

	// There a level exactly at T is both at the gate threshold and at the
	// compression threshold: compression wins. The detector's level of a
	// steady x, in single precision as the detector forms it, and a p whose
	// threshold lands on it exactly.
	float x = SteadyAtLevel(-44.0)[0];
	float p = 0.0f;
	for (int iTry = 0; iTry < 1000 && p == 0.0f; ++iTry)
	{
		const auto llSum = 1023 * static_cast<int64_t>(x * 4294967296.0f);
		const float L = 20.0f * std::log10(static_cast<float>(llSum) * 0x1p-42f) + 3.8f;
		const float fNear = 1.0f - (L + 50.0f) / 30.0f;
		for (float q = fNear - 1e-5f; q < fNear + 1e-5f && p == 0.0f; q = std::nextafter(q, 1.0f))
			if ((1.0f - q) * 30.0f - 50.0f == L)
				p = q;
		if (p == 0.0f)
			x = std::nextafter(x, 1.0f);
	}
	ASSERT_NE(p, 0.0f);
	CompRig tie(p);
	tie.Run(std::vector<float>(2048, x));
	EXPECT_EQ(tie.Led(), 1.0f) << "x " << x << ", p " << p;
}

TEST(Comp, OffIsAStereoCopyAndFreezesTheDetector)
{
	CompRig rig(0.0f);
	const std::vector<float> steady = SteadyAtLevel(-10.0);
	rig.Run(steady);
	ASSERT_EQ(rig.Led(), 1.0f);

	rig.rig.params.Set(kGateCompOnOff, 0.0f);
	rig.comp.Snap();
	std::mt19937 rng(7);
	std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
	std::vector<float> in1(3000), in2(3000), out2;
	for (size_t i = 0; i < in1.size(); ++i)
		in1[i] = dist(rng), in2[i] = dist(rng);
	EXPECT_EQ(rig.Run(in1, in2, &out2), in1);
	EXPECT_EQ(out2, in2);
	EXPECT_EQ(rig.Led(), 0.0f);

	// Back on, the window still holds the steady level it saw before.
	rig.rig.params.Set(kGateCompOnOff, 1.0f);
	rig.comp.Snap();
	EXPECT_NEAR(GainDb(rig.Run({steady[0]})[0], steady[0]), 6.13, 1e-3);

	// On, both outputs carry the first input's gained signal.
	const std::vector<float> out1 = rig.Run(in1, in2, &out2);
	EXPECT_EQ(out1, out2);
}

TEST(Comp, SaturatorBendsBothChannelsAlike)
{
	CompRig rig(0.0f);
	rig.Run(SteadyAtLevel(-10.0));
	ASSERT_EQ(rig.Led(), 1.0f);

	const std::vector<std::pair<float, float>> aPoints = {
		{0.0f, 0.0f},   {0.05f, 0.3f},  {0.1f, 0.5001f}, {0.2f, 0.7401f}, {0.224f, 1.0f},
		{0.3f, 1.0f},   {5.0f, 1.0f},   {-0.05f, -0.3f}, {-0.1f, -0.5001f}, {-0.2f, -0.7401f},
		{-0.224f, -1.0f}, {-100.0f, -1.0f},
	};
	for (const auto& [fIn, fExpected] : aPoints)
	{
		float out1 = 9.0f, out2 = 9.0f;
		EXPECT_EQ(rig.comp.ProcessSaturation(&fIn, &fIn, &out1, &out2, 1), 1);
		EXPECT_NEAR(out1, fExpected, 1e-5) << fIn;
		EXPECT_EQ(out2, out1) << fIn;
	}

	// Both channels are continuous where they leave the straight line (6x = 0.5).
	const float fKnee = 0.5f / 6.0f;
	const float afIn[4] = {std::nextafter(fKnee, 0.0f), fKnee, -std::nextafter(fKnee, 0.0f), -fKnee};
	float afOut1[4], afOut2[4];
	rig.comp.ProcessSaturation(afIn, afIn, afOut1, afOut2, 4);
	for (const float* pf : {afOut1, afOut2})
	{
		EXPECT_NEAR(pf[0], pf[1], 1e-6);
		EXPECT_NEAR(pf[2], pf[3], 1e-6);
	}

	// Whatever arrives, the host gets at most full scale.
	const float afBad[2] = {std::nanf(""), -INFINITY};
	float afBadOut1[2], afBadOut2[2];
	rig.comp.ProcessSaturation(afBad, afBad, afBadOut1, afBadOut2, 2);
	for (float f : {afBadOut1[0], afBadOut1[1], afBadOut2[0], afBadOut2[1]})
		EXPECT_LE(std::fabs(f), 1.0f);
	EXPECT_EQ(afBadOut1[1], -1.0f);

	// The saturator leaves the detector and the indicator alone.
	EXPECT_EQ(rig.Led(), 1.0f);
	const std::vector<float> steady = SteadyAtLevel(-10.0, 1);
	EXPECT_NEAR(GainDb(rig.Run(steady)[0], steady[0]), 6.13, 1e-3);
}
