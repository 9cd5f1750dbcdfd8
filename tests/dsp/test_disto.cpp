#include "MyDisto.h"
#include "brontaldata.h"
#include "brontalparams.h"
#include "dspfixture.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
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

double ShapeOf(double x)
{
	return CMyDisto::EvaluateCurve(CMyDisto::kShaperCurve, x).f;
}

const float* Data(brontal::Blob blob)
{
	return reinterpret_cast<const float*>(blob.data);
}

using Cplx = std::complex<double>;

enum class Section
{
	LowPass,
	HighPass,
	Peak // +20 dB
};

// Response at dFreq of the second-order designs the distortion's filters use
// (K = tan(pi f0 / fs), Q = 0.55), from their coefficient formulas.
Cplx SectionResponse(Section kind, double dCorner, double dFreq, double dRate)
{
	const double K = std::tan(kTestPi * dCorner / dRate), K2 = K * K, Q = 0.55, V = 10.0;
	const double a0 = 1.0 + K / Q + K2, a1 = 2.0 * (K2 - 1.0), a2 = 1.0 - K / Q + K2;
	double b0 = K2, b1 = 2.0 * K2, b2 = K2;
	if (kind == Section::HighPass)
		b0 = 1.0, b1 = -2.0, b2 = 1.0;
	else if (kind == Section::Peak)
		b0 = 1.0 + V * K / Q + K2, b1 = a1, b2 = 1.0 - V * K / Q + K2;
	const Cplx z1 = std::polar(1.0, -2.0 * kTestPi * dFreq / dRate);
	return (b0 + z1 * (b1 + z1 * b2)) / (a0 + z1 * (a1 + z1 * a2));
}

// The fundamental of g applied to the sinusoid Re(cIn e^(jwt)), as the
// complex amplitude c of its Re(c e^(jwt)). The curves run without folded
// partials, so it is the fundamental of the continuous sine through g
// (4096 points a period are far finer than any table step it crosses).
template <typename Fn> Cplx Fundamental(Cplx cIn, Fn g)
{
	constexpr int kPoints = 4096;
	Cplx sum = 0.0;
	for (int n = 0; n < kPoints; ++n)
	{
		const Cplx rotation = std::polar(1.0, 2.0 * kTestPi * (n + 0.5) / kPoints);
		sum += g(std::real(cIn * rotation)) * std::conj(rotation);
	}
	return 2.0 * sum / static_cast<double>(kPoints);
}

// Amplitude of the output tone for an input sine of amplitude dAmplitude at
// dFreq: every branch is a fixed curve between linear filters, so in the
// steady state each passes the driven sine's fundamental through its curve
// and then its output filter. The way to twice the rate and back passes the
// tone at unity, the window's loss being put back.
// The drive (-40 dB at level 0, +5 dB at 1) and the response from the input
// to the hard clipper's input: the three peaks each pass the whole signal,
// the dry path once more; then the high-pass and the presence peak.
double Drive(float fLevel)
{
	return std::pow(10.0, (45.0 * fLevel - 40.0) / 20.0);
}

Cplx PreEmphasis(double dFreq, double dRate)
{
	const auto H = [&](Section kind, double dCorner) { return SectionResponse(kind, dCorner, dFreq, dRate); };
	return 1.0 + H(Section::Peak, 500.0) + H(Section::Peak, 800.0) + H(Section::Peak, 2000.0);
}

Cplx ClipInput(double dFreq, double dRate)
{
	return SectionResponse(Section::HighPass, 200.0, dFreq, dRate) *
	       SectionResponse(Section::Peak, 2500.0, dFreq, dRate);
}

double ModelDriveResponse(double dAmplitude, double dFreq, double dRate, float fLevel)
{
	namespace d = brontal::data;
	const auto H = [&](Section kind, double dCorner) { return SectionResponse(kind, dCorner, dFreq, dRate); };
	// x = A sin(wn) = Re(-jA e^(jwn)).
	const Cplx cDriven = Drive(fLevel) * PreEmphasis(dFreq, dRate) * Cplx(0.0, -dAmplitude);

	const Cplx cClipIn = 25.0 * ClipInput(dFreq, dRate) * cDriven;
	const Cplx P = H(Section::LowPass, 4500.0) *
	               Fundamental(cClipIn, [](double h) { return std::min(0.999, std::max(-0.999, h)); });
	const Cplx T = Fundamental(cDriven, [](double s) {
		return s > 0.0 ? 1.0 - std::exp(-25.0 * s) : std::exp(25.0 * s) - 1.0;
	});
	const auto Shaper = [&](brontal::Blob pos, brontal::Blob neg, int iLast) {
		return H(Section::LowPass, 10000.0) * Fundamental(cDriven, [&](double s) {
			       if (s == 0.0)
				       return 0.0;
			       return s > 0.0 ? Lookup(Data(pos), iLast, s) : -Lookup(Data(neg), iLast, s);
		       });
	};
	const Cplx R = Shaper(d::afShape1_Pos(), d::afShape1_Neg(), 2400);
	const Cplx U = Shaper(d::afShape2(), d::afShape2(), 6000);
	const Cplx W = Shaper(d::afShape3(), d::afShape3(), 6000);
	const Cplx E = Shaper(d::afShape4_Pos(), d::afShape4_Neg(), 24000);
	const Cplx Y = -(0.6364 * T + 0.5504 * P + 0.47 * R + 0.3334 * U + 0.31314 * W + 0.411 * E) *
	               std::pow(10.0, -0.5264) * 0.7;
	return std::abs(Y);
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
	EXPECT_NEAR(ShapeOf(1e-7), dEntry0Pos, 1e-9);
	EXPECT_NEAR(ShapeOf(-1e-7), -dEntry0Neg, 1e-9);
	EXPECT_EQ(ShapeOf(0.0), 0.0);
	// At and above 0 dBFS: the last entries, separately per half-wave.
	const double dLastPos = 0.47 * 0.720168 + 0.3334 * 0.906327 + 0.31314 * 0.474279 + 0.411 * 0.657017;
	const double dLastNeg = 0.47 * 0.898243 + 0.3334 * 0.906327 + 0.31314 * 0.474279 + 0.411 * 0.7325;
	EXPECT_NEAR(ShapeOf(1.0), dLastPos, 1e-6);
	EXPECT_NEAR(ShapeOf(7.5), dLastPos, 1e-6);
	EXPECT_NEAR(ShapeOf(-7.5), -dLastNeg, 1e-6);
	// Everywhere between, both half-waves: levels on a fine irregular grid,
	// also half-way between entries of the coarse tables (-60.025 dB lies
	// between entries 1199 and 1200 of shaper 1). The curve is kept as lines
	// between every 8th entry of the finest table, which the coarse tables'
	// corners between them leave within 7e-6 of the tables (-100 dB).
	double dWorst = 0.0;
	for (double dDb = -125.0; dDb <= 3.0; dDb += 0.0137)
		for (double dSign : {1.0, -1.0})
		{
			const double dDriven = dSign * std::pow(10.0, dDb / 20.0);
			ASSERT_NEAR(ShapeOf(dDriven), WeightedShapers(dDriven), 7e-6) << dDb;
			dWorst = std::max(dWorst, std::fabs(ShapeOf(dDriven) - WeightedShapers(dDriven)));
		}
	// Close to the bound, not far inside it: the lines run through the
	// entries, not merely near them.
	EXPECT_GT(dWorst, 3e-6);
	const double dMid = std::pow(10.0, -60.025 / 20.0);
	EXPECT_NEAR(ShapeOf(dMid), WeightedShapers(dMid), 7e-6);
}

// The soft clipper and the hard clipper as described, both half-waves.
TEST(Disto, ClipperCurvesFollowTheirFormulas)
{
	for (double dDb = -130.0; dDb <= 20.0; dDb += 0.0173)
		for (double dSign : {1.0, -1.0})
		{
			const double x = dSign * std::pow(10.0, dDb / 20.0);
			const double dSoft = dSign * (1.0 - std::exp(-25.0 * std::fabs(x)));
			ASSERT_NEAR(CMyDisto::EvaluateCurve(CMyDisto::kSoftCurve, x).f, dSoft, 1.5e-6) << x;
			const double dClip = std::max(-0.999, std::min(0.999, 25.0 * x));
			ASSERT_NEAR(CMyDisto::EvaluateCurve(CMyDisto::kClipCurve, x).f, dClip, 1e-15) << x;
		}
	for (int c = 0; c < CMyDisto::kNumCurves; ++c)
	{
		const CMyDisto::CurvePoint zero = CMyDisto::EvaluateCurve(c, 0.0);
		EXPECT_EQ(zero.f, 0.0);
		EXPECT_EQ(zero.F1, 0.0);
		EXPECT_EQ(zero.F2, 0.0);
	}
}

// The antiderivatives carried with each curve, against the curve and F1
// integrated numerically (trapezoids, fine enough that their error is far
// below the tolerance) over short spans at every level, both half-waves.
TEST(Disto, AntiderivativesIntegrateTheCurves)
{
	for (int c = 0; c < CMyDisto::kNumCurves; ++c)
		for (double dDb = -135.0; dDb <= 15.0; dDb += 1.37)
			for (double dSign : {1.0, -1.0})
			{
				const double a = dSign * std::pow(10.0, dDb / 20.0), b = a * 1.02 + dSign * 1e-9;
				constexpr int kSteps = 4000;
				const double h = (b - a) / kSteps;
				double dF1 = 0.0, dF2 = 0.0;
				for (int i = 0; i < kSteps; ++i)
				{
					const CMyDisto::CurvePoint p0 = CMyDisto::EvaluateCurve(c, a + i * h);
					const CMyDisto::CurvePoint p1 = CMyDisto::EvaluateCurve(c, a + (i + 1) * h);
					dF1 += 0.5 * h * (p0.f + p1.f);
					dF2 += 0.5 * h * (p0.F1 + p1.F1);
				}
				const CMyDisto::CurvePoint pa = CMyDisto::EvaluateCurve(c, a), pb = CMyDisto::EvaluateCurve(c, b);
				const double dScale = std::fabs(b - a) * (std::fabs(pa.f) + std::fabs(pb.f) + 1e-3);
				ASSERT_NEAR(pb.F1 - pa.F1, dF1, 1e-6 * dScale) << c << " " << a;
				ASSERT_NEAR(pb.F2 - pa.F2, dF2, 1e-6 * std::fabs(b - a) * (std::fabs(pa.F1) + std::fabs(pb.F1) + 1e-12))
				    << c << " " << a;
			}
	// From 0: F1 of the clipper at 0.1 and F2 of the soft clipper at 0.1,
	// worked out by hand: 12.5·q0² + 0.999·(0.1 - q0) with q0 = 0.999/25, and
	// (o²/2 - o + 1 - e^-o)/625 with o = 2.5; the soft clipper's lines, within
	// 1.5e-6 of it, integrated twice over 0.1 stay within 7.5e-9.
	const double q0 = 0.999 / 25.0;
	EXPECT_NEAR(CMyDisto::EvaluateCurve(CMyDisto::kClipCurve, 0.1).F1, 12.5 * q0 * q0 + 0.999 * (0.1 - q0), 1e-15);
	EXPECT_NEAR(CMyDisto::EvaluateCurve(CMyDisto::kSoftCurve, 0.1).F2, (3.125 - 2.5 + 1.0 - std::exp(-2.5)) / 625.0,
	            7.5e-9);
	EXPECT_NEAR(CMyDisto::EvaluateCurve(CMyDisto::kSoftCurve, -0.1).F2, -(3.125 - 2.5 + 1.0 - std::exp(-2.5)) / 625.0,
	            7.5e-9);
}

// The level index only picks the piece a sample falls in; a quarter of an
// entry is a thirtieth of a piece.
TEST(Disto, LevelIndexIs200EntriesPerDecibelAndNeverLeavesTheTable)
{
	EXPECT_NEAR(CMyDisto::LevelIndex(1.0f), 24000.0f, 0.25f);
	EXPECT_NEAR(CMyDisto::LevelIndex(-0.1f), 20000.0f, 0.25f);
	EXPECT_NEAR(CMyDisto::LevelIndex(1e-3f), 12000.0f, 0.25f);
	EXPECT_NEAR(CMyDisto::LevelIndex(std::pow(10.0f, -119.99f / 20.0f)), 2.0f, 0.25f);
	for (double dDb = -119.0; dDb < 0.0; dDb += 0.731)
		ASSERT_NEAR(CMyDisto::LevelIndex(static_cast<float>(std::pow(10.0, dDb / 20.0))), 200.0 * (dDb + 120.0), 0.25)
		    << dDb;
	const float fInf = std::numeric_limits<float>::infinity();
	EXPECT_EQ(CMyDisto::LevelIndex(fInf), 24000.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(-fInf), 24000.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(std::numeric_limits<float>::max()), 24000.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(std::numeric_limits<float>::quiet_NaN()), 0.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(std::numeric_limits<float>::denorm_min()), 0.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(1e-30f), 0.0f);
	EXPECT_EQ(CMyDisto::LevelIndex(0.0f), 0.0f);
	EXPECT_NEAR(ShapeOf(std::numeric_limits<float>::max()), ShapeOf(1.0), 1e-7);
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
	// trim and 0.7 stays below 0.5. Band-limited, a clipped edge overshoots by
	// up to 9 % (Gibbs), and the window's loss put back lifts the top octave
	// by up to 11 %.
	EXPECT_LT(fPeak, 0.5f * 1.09f * 1.11f);

	const std::vector<float> silence(44100, 0.0f);
	RunBlock(disto, silence, silence, out1, out2);
	for (size_t i = out1.size() - 4096; i < out1.size(); ++i)
		ASSERT_EQ(out1[i], 0.0f) << i;
}

// A steady input: the pre-emphasis peaks pass DC at unity (s = 4·x·G), the
// hard-clip branch's high-pass removes it, the low-passes pass it, so the
// output is the mix of the soft clipper and the four table values.
double SettledOutput(double x, float fLevel)
{
	namespace d = brontal::data;
	const double s = 4.0 * x * std::pow(10.0, (45.0 * fLevel - 40.0) / 20.0);
	const double T = s > 0 ? 1.0 - std::exp(-25.0 * s) : std::exp(25.0 * s) - 1.0;
	const bool bPos = s > 0;
	const double dSign = bPos ? 1.0 : -1.0;
	const double R = dSign * Lookup(Data(bPos ? d::afShape1_Pos() : d::afShape1_Neg()), 2400, s);
	const double U = dSign * Lookup(Data(d::afShape2()), 6000, s);
	const double W = dSign * Lookup(Data(d::afShape3()), 6000, s);
	const double E = dSign * Lookup(Data(bPos ? d::afShape4_Pos() : d::afShape4_Neg()), 24000, s);
	return -(0.6364 * T + 0.47 * R + 0.3334 * U + 0.31314 * W + 0.411 * E) * std::pow(10.0, -0.5264) * 0.7;
}

TEST(Disto, SettledDcOutputIsTheWeightedInvertedMix)
{
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
				const double y = SettledOutput(x, fLevel);
				EXPECT_NEAR(out1.back(), y, 2e-5 + 1e-4 * std::fabs(y)) << dRate << " " << fLevel << " " << x;
			}
}

// An input gliding so slowly that the steps between samples are a millionth
// of their size or less (what a decaying tail or a drifting offset gives):
// the curves are read at the samples or by the divisions, whichever the steps
// allow, and the output follows the settled value of each moment.
TEST(Disto, SlowGlideFollowsTheSettledCurve)
{
	for (auto [fFrom, fTo] : {std::pair{0.2f, 0.19f}, std::pair{-0.003f, -0.0031f}, std::pair{1e-4f, 0.9e-4f}})
	{
		BlockRig rig(48000.0);
		CMyDisto disto;
		rig.Attach(disto);
		const size_t n = 48000;
		std::vector<float> in(n);
		for (size_t i = 0; i < n; ++i)
			in[i] = static_cast<float>(fFrom * std::pow(static_cast<double>(fTo) / fFrom, static_cast<double>(i) / n));
		std::vector<float> out1, out2;
		RunBlock(disto, in, in, out1, out2, 256);
		for (size_t i = n / 4; i < n; i += 97)
		{
			const double y = SettledOutput(in[i], 0.55f);
			ASSERT_NEAR(out1[i], y, 2e-5 + 1e-4 * std::fabs(y)) << fFrom << " " << i;
		}
	}
}

// Silence into a stage whose every state has come to zero is not worked
// through, and must give what working it through gives: exact zeros, and a
// stage that then plays like a fresh one. Right after input, the tail is
// still worked out.
TEST(Disto, SilenceAtRestLeavesTheStageAsFresh)
{
	const std::vector<float> noise = Noise(3000, 0.8f, 8), silence(60000, 0.0f);
	for (int iBlock : {37, 64, 256})
	{
		BlockRig rig(48000.0);
		CMyDisto disto;
		rig.Attach(disto);
		std::vector<float> out1, out2, fresh1, fresh2;
		RunBlock(disto, noise, noise, out1, out2, iBlock);
		RunBlock(disto, silence, silence, out1, out2, iBlock);
		int iTail = 0;
		for (int i = 0; i < 64; ++i)
			iTail += out1[static_cast<size_t>(i)] != 0.0f;
		EXPECT_EQ(iTail, 64) << iBlock;
		for (size_t i = 50000; i < out1.size(); ++i)
			ASSERT_EQ(out1[i], 0.0f) << i;
		RunBlock(disto, noise, noise, out1, out2, iBlock);

		BlockRig freshRig(48000.0);
		CMyDisto freshDisto;
		freshRig.Attach(freshDisto);
		RunBlock(freshDisto, noise, noise, fresh1, fresh2, iBlock);
		ASSERT_EQ(out1, fresh1) << iBlock;
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

// Chunks, blocks and the samples carried between them: the same input gives
// the same output whatever the block lengths.
TEST(Disto, OnPathOutputDoesNotDependOnTheBlockSize)
{
	std::vector<float> in = Noise(5000, 0.6f, 7);
	// A stretch of silence and of a held value, where the near-sample paths
	// run, inside the noise.
	std::fill(in.begin() + 1000, in.begin() + 1300, 0.0f);
	std::fill(in.begin() + 2000, in.begin() + 2300, 0.25f);
	std::vector<float> reference1, reference2;
	{
		BlockRig rig(44100.0);
		CMyDisto disto;
		rig.Attach(disto);
		rig.params.Set(kDistortionLevel, 0.9f);
		RunBlock(disto, in, in, reference1, reference2, 1024);
	}
	for (int iBlock : {1, 2, 3, 37, 64, 65, 500, 1024})
	{
		BlockRig rig(44100.0);
		CMyDisto disto;
		rig.Attach(disto);
		rig.params.Set(kDistortionLevel, 0.9f);
		std::vector<float> out1, out2;
		RunBlock(disto, in, in, out1, out2, iBlock);
		ASSERT_EQ(out1, reference1) << iBlock;
	}
	for (float f : reference1)
		ASSERT_TRUE(std::isfinite(f));
}

// Where the input holds still, neighbouring samples at twice the rate are
// equal and the curves are read at the samples themselves instead of between
// them; when it moves on, the means before carry over. The output then must
// not tell an input held exactly from one that wavers by 1e-5 of itself
// (which takes the ordinary path), before, during or after the hold.
TEST(Disto, HeldInputGoesTheSameWayAsAlmostHeldInput)
{
	for (float fHeld : {0.3f, -0.02f})
	{
		std::vector<float> held(8000), wavering(8000);
		for (size_t i = 0; i < held.size(); ++i)
		{
			const float fRamp = 0.05f * std::sin(static_cast<float>(i) * 0.01f);
			held[i] = i < 2000 || i >= 5000 ? fHeld + fRamp : fHeld;
			wavering[i] = held[i] * (i % 2 ? 1.00001f : 0.99999f);
		}
		std::vector<float> outHeld, outWavering, out2;
		for (auto [pIn, pOut] : {std::pair{&held, &outHeld}, std::pair{&wavering, &outWavering}})
		{
			BlockRig rig(48000.0);
			CMyDisto disto;
			rig.Attach(disto);
			RunBlock(disto, *pIn, *pIn, *pOut, out2, 256);
		}
		double dWorst = 0.0;
		for (size_t i = 0; i < held.size(); ++i)
			dWorst = std::max(dWorst, static_cast<double>(std::fabs(outHeld[i] - outWavering[i])));
		EXPECT_LT(dWorst, 1e-4) << fHeld;
	}
}

// Once the input stops, the output comes to exact zeros, whatever the rate
// and whatever came before, also where denormals are not flushed.
TEST(Disto, SettlesToExactSilenceAfterAnyInput)
{
	for (double dRate : {44100.0, 48000.0, 96000.0})
		for (unsigned uSeed : {1u, 2u, 3u})
		{
			BlockRig rig(dRate);
			CMyDisto disto;
			rig.Attach(disto);
			const std::vector<float> noise = Noise(20000, 1.0f, uSeed), silence(100000, 0.0f);
			std::vector<float> out1, out2;
			RunBlock(disto, noise, noise, out1, out2);
			RunBlock(disto, silence, silence, out1, out2);
			for (size_t i = 50000; i < out1.size(); ++i)
				ASSERT_EQ(out1[i], 0.0f) << dRate << " " << uSeed << " " << i;
		}
}

// Sine in, tone out: the drive path's gain at frequencies around its filters'
// corners and centres, at several drive levels, against the model above.
// The input is set so that the driven signal peaks near -60 or -40 dBFS
// before the pre-emphasis, or so that the hard clipper's input peaks at 0.9:
// there its branch is a line from the input through every filter before it,
// and the shapers' and soft clipper's share is small enough for the filters
// to show. The shapers' curve is smooth enough at these levels for its
// pieces to stay within 0.01 dB of the tables. What the antiderivatives
// smooth off a bent curve, and the part of the window's loss left over,
// grow with the square of the frequency over the rate: about 0.08 dB at a
// tenth of it.
TEST(Disto, DrivePathResponseFollowsItsFiltersAndMix)
{
	const double aRates[] = {44100.0, 96000.0};
	// Whole periods at each rate: 441 Hz is 100 samples at 44.1 kHz.
	const double aFreqs[2][6] = {{147.0, 441.0, 882.0, 2205.0, 2940.0, 4410.0},
	                             {160.0, 480.0, 800.0, 2000.0, 2400.0, 4800.0}};
	for (int r = 0; r < 2; ++r)
		for (const double dFreq : aFreqs[r])
			for (const float fLevel : {0.0f, 0.3f, 0.55f, 1.0f})
				for (const double dDriven : {1e-3, 1e-2, 0.0})
				{
					const double dRate = aRates[r];
					const double dAmplitude =
					    (dDriven > 0.0 ? dDriven
					                   : 0.9 / (25.0 * std::abs(PreEmphasis(dFreq, dRate) * ClipInput(dFreq, dRate)))) /
					    Drive(fLevel);
					BlockRig rig(dRate);
					CMyDisto disto;
					rig.Attach(disto);
					rig.params.Set(kDistortionOnOff, 1.0f);
					rig.params.Set(kDistortionLevel, fLevel);
					const size_t nPeriod = static_cast<size_t>(std::lround(dRate / dFreq));
					const size_t nSettle = nPeriod * static_cast<size_t>(0.1 * dFreq);
					const size_t nMeasure = nPeriod * static_cast<size_t>(0.05 * dFreq);
					const std::vector<float> in = MakeTone(nSettle + nMeasure, dFreq, dRate, dAmplitude);
					std::vector<float> out1, out2;
					RunBlock(disto, in, in, out1, out2);
					const double dMeasured = ToneAmplitude(out1, nSettle, nMeasure, dFreq, dRate);
					const double dExpected = ModelDriveResponse(dAmplitude, dFreq, dRate, fLevel);
					const double dTolerance = 0.01 + 10.0 * (dFreq / dRate) * (dFreq / dRate);
					EXPECT_NEAR(ToDb(dMeasured / dExpected), 0.0, dTolerance)
					    << dRate << " Hz rate, " << dFreq << " Hz, level " << fLevel << ", amplitude " << dAmplitude
					    << ": " << dMeasured << " against " << dExpected;
				}
}
