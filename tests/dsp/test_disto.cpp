#include "MyDisto.h"
#include "brontaldata.h"
#include "brontalparams.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {
std::vector<float> Noise(size_t n, float fAmplitude, unsigned uSeed)
{
	std::mt19937 rng(uSeed);
	std::uniform_real_distribution<float> dist(-fAmplitude, fAmplitude);
	std::vector<float> v(n);
	for (float& f : v)
		f = dist(rng);
	return v;
}

// Table lookup worked out from the description, in double.
double Lookup(const float* pfTable, int iLast, double dDriven)
{
	double dIndex = (20.0 * std::log10(std::fabs(dDriven)) + 120.0) * iLast / 120.0;
	dIndex = std::min(std::max(dIndex, 0.0), static_cast<double>(iLast));
	const int i = static_cast<int>(dIndex);
	const int j = std::min(i + 1, iLast);
	const double f = dIndex - i;
	return (1.0 - f) * pfTable[i] + f * pfTable[j];
}

const float* Data(brontal::Blob blob)
{
	return reinterpret_cast<const float*>(blob.data);
}
} // namespace

TEST(Disto, DriveGainSpansMinus40ToPlus5Decibels)
{
	EXPECT_NEAR(CMyDisto::DriveGain(0.0f), 0.01f, 1e-8f);
	EXPECT_NEAR(CMyDisto::DriveGain(1.0f), 1.7782794f, 1e-6f);
	EXPECT_NEAR(CMyDisto::DriveGain(0.5f), std::pow(10.0, -17.5 / 20.0), 1e-7);
}

// The four shapers' mix as one curve, worked out per table from the
// description in double: entry 0 below -120 dBFS, the last entry at and above
// 0 dBFS, linear in the level index between entries.
double WeightedShapers(double dDriven)
{
	namespace d = brontal::data;
	if (dDriven == 0.0)
		return 0.0;
	const bool bPos = dDriven > 0;
	const double dSum = 0.47 * Lookup(Data(bPos ? d::afShape1_Pos() : d::afShape1_Neg()), 2400, dDriven) +
	                    0.3334 * Lookup(Data(d::afShape2()), 6000, dDriven) +
	                    0.31314 * Lookup(Data(d::afShape3()), 6000, dDriven) +
	                    0.411 * Lookup(Data(bPos ? d::afShape4_Pos() : d::afShape4_Neg()), 24000, dDriven);
	return bPos ? dSum : -dSum;
}

TEST(Disto, ShaperCurveIsTheWeightedSumOfTheFourTablesAtEveryLevel)
{
	namespace d = brontal::data;
	// -140 dBFS: entry 0 of every table, not silence.
	const double dEntry0Pos = 0.47 * 0 + 0.3334 * 5.77401e-09 + 0.31314 * 0.000566221 + 0.411 * 1.53949e-06;
	const double dEntry0Neg = 0.3334 * 5.77401e-09 + 0.31314 * 0.000566221 + 0.411 * 3.9894e-07;
	EXPECT_NEAR(CMyDisto::Shape(1e-7f), dEntry0Pos, 1e-9);
	EXPECT_NEAR(CMyDisto::Shape(-1e-7f), -dEntry0Neg, 1e-9);
	EXPECT_EQ(CMyDisto::Shape(0.0f), 0.0f);
	// At and above 0 dBFS: the last entries, separately per half-wave.
	const double dLastPos = 0.47 * 0.720168 + 0.3334 * 0.906327 + 0.31314 * 0.474279 + 0.411 * 0.657017;
	const double dLastNeg = 0.47 * 0.898243 + 0.3334 * 0.906327 + 0.31314 * 0.474279 + 0.411 * 0.7325;
	EXPECT_NEAR(CMyDisto::Shape(1.0f), dLastPos, 1e-6);
	EXPECT_NEAR(CMyDisto::Shape(7.5f), dLastPos, 1e-6);
	EXPECT_NEAR(CMyDisto::Shape(-7.5f), -dLastNeg, 1e-6);
	// Everywhere between, both half-waves: levels on a fine irregular grid,
	// also half-way between entries of the coarse tables (-60.025 dB lies
	// between entries 1199 and 1200 of shaper 1).
	for (double dDb = -125.0; dDb <= 3.0; dDb += 0.0137)
		for (double dSign : {1.0, -1.0})
		{
			const double dDriven = dSign * std::pow(10.0, dDb / 20.0);
			ASSERT_NEAR(CMyDisto::Shape(static_cast<float>(dDriven)), WeightedShapers(dDriven), 2e-6) << dDb;
		}
	const float fMid = std::pow(10.0f, -60.025f / 20.0f);
	EXPECT_NEAR(CMyDisto::Shape(fMid), WeightedShapers(fMid), 2e-6);
}

TEST(Disto, LevelIndexIs200EntriesPerDecibelAndNeverLeavesTheTable)
{
	EXPECT_NEAR(CMyDisto::LevelIndex(1.0f), 24000.0f, 2e-3f);
	EXPECT_NEAR(CMyDisto::LevelIndex(-0.1f), 20000.0f, 2e-3f);
	EXPECT_NEAR(CMyDisto::LevelIndex(1e-3f), 12000.0f, 2e-3f);
	EXPECT_NEAR(CMyDisto::LevelIndex(std::pow(10.0f, -119.99f / 20.0f)), 2.0f, 2e-3f);
	const float fInf = std::numeric_limits<float>::infinity();
	EXPECT_EQ(CMyDisto::LevelIndex(fInf), 24000.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(-fInf), 24000.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(std::numeric_limits<float>::max()), 24000.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(std::numeric_limits<float>::quiet_NaN()), 0.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(std::numeric_limits<float>::denorm_min()), 0.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(1e-30f), 0.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(0.0f), 0.0f);
	EXPECT_NEAR(CMyDisto::Shape(std::numeric_limits<float>::max()), CMyDisto::Shape(1.0f), 1e-7);
	EXPECT_EQ(CMyDisto::Shape(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(Disto, OffPathIsAnExactCopyWhateverTheLevel)
{
	BlockRig rig(48000.0);
	CMyDisto disto;
	rig.Attach(disto);
	const std::vector<float> in1 = Noise(3000, 1.5f, 1), in2 = Noise(3000, 0.3f, 2);
	std::vector<float> out1, out2;
	RunBlock(disto, in1, in2, out1, out2, 512); // on, so the filters hold state
	for (float fLevel : {0.0f, 0.37f, 1.0f})
	{
		rig.params.Set(kDistortionLevel, fLevel);
		rig.params.Set(kDistortionOnOff, 0.0f);
		RunBlock(disto, in1, in2, out1, out2, 700);
		EXPECT_EQ(std::memcmp(out1.data(), in1.data(), in1.size() * sizeof(float)), 0);
		EXPECT_EQ(std::memcmp(out2.data(), in2.data(), in2.size() * sizeof(float)), 0);
	}
}

TEST(Disto, OnPathIsMonoFromInputOneAndSettlesToSilence)
{
	BlockRig rig(44100.0);
	CMyDisto disto;
	rig.Attach(disto);
	rig.params.Set(kDistortionOnOff, 1.0f);
	const std::vector<float> zeros(4096, 0.0f), noise = Noise(4096, 0.5f, 3);
	std::vector<float> out1, out2;
	RunBlock(disto, zeros, noise, out1, out2);
	for (size_t i = 0; i < out1.size(); ++i)
		ASSERT_TRUE(out1[i] == 0.0f && out2[i] == 0.0f) << i;

	RunBlock(disto, noise, zeros, out1, out2);
	EXPECT_EQ(out1, out2);
	float fPeak = 0.0f;
	for (float f : out1)
		fPeak = std::max(fPeak, std::fabs(f));
	EXPECT_GT(fPeak, 0.05f);
	// Every branch is bounded: the weighted sum of the branch maxima times the
	// trim and 0.7 stays below 0.5.
	EXPECT_LT(fPeak, 0.5f);

	const std::vector<float> silence(44100, 0.0f);
	RunBlock(disto, silence, silence, out1, out2);
	for (size_t i = out1.size() - 4096; i < out1.size(); ++i)
		ASSERT_EQ(out1[i], 0.0f) << i;
}

// A steady input: the pre-emphasis peaks pass DC at unity (s = 4·x·G), the
// hard-clip branch's high-pass removes it, the low-passes pass it, so the
// output is the mix of the soft clipper and the four table values.
TEST(Disto, SettledDcOutputIsTheWeightedInvertedMix)
{
	namespace d = brontal::data;
	for (double dRate : {48000.0, 96000.0})
		for (float fLevel : {1.0f, 0.5f})
			for (float x : {0.01f, -0.003f, 0.2f})
			{
				BlockRig rig(dRate);
				CMyDisto disto;
				rig.Attach(disto);
				rig.params.Set(kDistortionOnOff, 1.0f);
				rig.params.Set(kDistortionLevel, fLevel);
				const std::vector<float> in(static_cast<size_t>(dRate / 2), x);
				std::vector<float> out1, out2;
				RunBlock(disto, in, in, out1, out2);

				const double s = 4.0 * x * std::pow(10.0, (45.0 * fLevel - 40.0) / 20.0);
				const double T = s > 0 ? 1.0 - std::exp(-25.0 * s) : std::exp(25.0 * s) - 1.0;
				const bool bPos = s > 0;
				const double dSign = bPos ? 1.0 : -1.0;
				const double R = dSign * Lookup(Data(bPos ? d::afShape1_Pos() : d::afShape1_Neg()), 2400, s);
				const double U = dSign * Lookup(Data(d::afShape2()), 6000, s);
				const double W = dSign * Lookup(Data(d::afShape3()), 6000, s);
				const double E = dSign * Lookup(Data(bPos ? d::afShape4_Pos() : d::afShape4_Neg()), 24000, s);
				const double y = -(0.6364 * T + 0.47 * R + 0.3334 * U + 0.31314 * W + 0.411 * E) *
				                 std::pow(10.0, -0.5264) * 0.7;
				EXPECT_NEAR(out1.back(), y, 2e-5 + 1e-4 * std::fabs(y)) << dRate << " " << fLevel << " " << x;
			}
}

TEST(Disto, NonFiniteOrHugeInputLeavesTheOutputFinite)
{
	BlockRig rig(48000.0);
	CMyDisto disto;
	rig.Attach(disto);
	rig.params.Set(kDistortionOnOff, 1.0f);
	std::vector<float> in = Noise(2048, 0.5f, 4);
	in[10] = std::numeric_limits<float>::quiet_NaN();
	in[20] = std::numeric_limits<float>::infinity();
	in[30] = -std::numeric_limits<float>::infinity();
	in[40] = 3.0e38f;
	in[50] = -1.0e30f;
	std::vector<float> out1, out2;
	RunBlock(disto, in, in, out1, out2, 256);
	RunBlock(disto, Noise(2048, 0.5f, 5), in, out1, out2, 256);
	for (float f : out1)
		ASSERT_TRUE(std::isfinite(f));
	EXPECT_GT(std::fabs(out1.back()) + std::fabs(out1[out1.size() - 2]), 0.0f);
}

// The designs follow the rate behind the pointer: a rate stored after the
// block was attached takes effect at the next block, as at any other time.
TEST(Disto, RateChangedBehindThePointerTakesEffectAtTheNextBlock)
{
	const std::vector<float> in = Noise(4096, 0.4f, 6);
	std::vector<float> expected1, expected2, out1, out2;
	BlockRig fresh(96000.0);
	CMyDisto reference;
	fresh.Attach(reference);
	fresh.params.Set(kDistortionOnOff, 1.0f);
	RunBlock(reference, in, in, expected1, expected2, 300);

	BlockRig rig(48000.0);
	CMyDisto disto;
	rig.Attach(disto);
	rig.params.Set(kDistortionOnOff, 1.0f);
	rig.dRate = 96000.0;
	RunBlock(disto, in, in, out1, out2, 300);
	EXPECT_EQ(out1, expected1);
}
