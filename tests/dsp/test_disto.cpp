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

// The fundamental of g applied to the sinusoid Re(cIn e^(jwn)) of period
// iPeriod samples, as the complex amplitude c of its Re(c e^(jwn)). Taken
// over the sampled period, so harmonics folded back onto the fundamental
// count exactly as they do in the block.
template <typename Fn> Cplx Fundamental(Cplx cIn, int iPeriod, Fn g)
{
	Cplx sum = 0.0;
	for (int n = 0; n < iPeriod; ++n)
	{
		const Cplx rotation = std::polar(1.0, 2.0 * kTestPi * n / iPeriod);
		sum += g(std::real(cIn * rotation)) * std::conj(rotation);
	}
	return 2.0 * sum / static_cast<double>(iPeriod);
}

// Amplitude of the output tone for an input sine of amplitude dAmplitude at
// dFreq (a whole number of samples per period): every branch is a fixed
// curve between linear filters, so in the steady state each passes the
// driven sine's fundamental through its curve and then its output filter.
double ModelDriveResponse(double dAmplitude, double dFreq, double dRate, float fLevel)
{
	namespace d = brontal::data;
	const int iPeriod = static_cast<int>(std::lround(dRate / dFreq));
	const auto H = [&](Section kind, double dCorner) { return SectionResponse(kind, dCorner, dFreq, dRate); };
	const double G = std::pow(10.0, (45.0 * fLevel - 40.0) / 20.0);
	// x = A sin(wn) = Re(-jA e^(jwn)); the three peaks each pass the whole
	// signal, the dry path once more.
	const Cplx cDriven = G * (1.0 + H(Section::Peak, 500.0) + H(Section::Peak, 800.0) + H(Section::Peak, 2000.0)) *
	                     Cplx(0.0, -dAmplitude);

	const Cplx cClipIn = 25.0 * H(Section::HighPass, 200.0) * H(Section::Peak, 2500.0) * cDriven;
	const Cplx P = H(Section::LowPass, 4500.0) *
	               Fundamental(cClipIn, iPeriod, [](double h) { return std::min(0.999, std::max(-0.999, h)); });
	const Cplx T = Fundamental(cDriven, iPeriod, [](double s) {
		return s > 0.0 ? 1.0 - std::exp(-25.0 * s) : std::exp(25.0 * s) - 1.0;
	});
	const auto Shaper = [&](brontal::Blob pos, brontal::Blob neg, int iLast) {
		return H(Section::LowPass, 10000.0) * Fundamental(cDriven, iPeriod, [&](double s) {
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

TEST(Disto, ShaperReadsEntryZeroBelowAndLastEntryAboveItsRange)
{
	const CMyDisto::Shaper s3 = CMyDisto::GetShaper(CMyDisto::kShaper3);
	const CMyDisto::Shaper s4 = CMyDisto::GetShaper(CMyDisto::kShaper4);
	const CMyDisto::Shaper s1 = CMyDisto::GetShaper(CMyDisto::kShaper1);
	// -140 dBFS: entry 0, not silence.
	EXPECT_EQ(CMyDisto::Shape(1e-7f, s3), 0.000566221f);
	EXPECT_EQ(CMyDisto::Shape(-1e-7f, s3), -0.000566221f);
	EXPECT_EQ(CMyDisto::Shape(1e-7f, s4), 1.53949e-06f);
	EXPECT_EQ(CMyDisto::Shape(-1e-7f, s4), -3.9894e-07f);
	EXPECT_EQ(CMyDisto::Shape(0.0f, s3), 0.0f);
	// At and above 0 dBFS: the last entries, separately per half-wave.
	EXPECT_EQ(CMyDisto::Shape(1.0f, s1), 0.720168f);
	EXPECT_EQ(CMyDisto::Shape(-7.5f, s1), -0.898243f);
	// Between entries: linear in the level index. -60.025 dB is half-way
	// between entries 1199 and 1200 of shaper 1.
	const float fMid = std::pow(10.0f, -60.025f / 20.0f);
	EXPECT_NEAR(CMyDisto::Shape(fMid, s1), 0.5 * (s1.pfPos[1199] + s1.pfPos[1200]), 2e-4);
}

TEST(Disto, NonFiniteAndHugeLevelsNeverReachAnIndexOutsideTheTable)
{
	const CMyDisto::Shaper s4 = CMyDisto::GetShaper(CMyDisto::kShaper4);
	const float fInf = std::numeric_limits<float>::infinity();
	EXPECT_EQ(CMyDisto::Shape(fInf, s4), s4.pfPos[24000]);
	EXPECT_EQ(CMyDisto::Shape(-fInf, s4), -s4.pfNeg[24000]);
	EXPECT_EQ(CMyDisto::Shape(std::numeric_limits<float>::max(), s4), s4.pfPos[24000]);
	EXPECT_EQ(CMyDisto::Shape(std::numeric_limits<float>::quiet_NaN(), s4), 0.0f);
	EXPECT_EQ(CMyDisto::Shape(std::numeric_limits<float>::denorm_min(), s4), s4.pfPos[0]);
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

// Sine in, tone out: the drive path's gain at frequencies around its filters'
// corners and centres, several drive levels and two input levels (the hard
// clipper below and at its clip level), against the model above.
TEST(Disto, DrivePathResponseFollowsItsFiltersAndMix)
{
	const double aRates[] = {44100.0, 96000.0};
	// Whole periods at each rate: 441 Hz is 100 samples at 44.1 kHz.
	const double aFreqs[2][6] = {{147.0, 441.0, 882.0, 2205.0, 2940.0, 4410.0},
	                             {160.0, 480.0, 800.0, 2000.0, 2400.0, 4800.0}};
	for (int r = 0; r < 2; ++r)
		for (const double dFreq : aFreqs[r])
			for (const float fLevel : {0.0f, 0.3f, 0.55f, 1.0f})
				for (const double dAmplitude : {0.003, 0.05})
				{
					const double dRate = aRates[r];
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
					EXPECT_NEAR(ToDb(dMeasured / dExpected), 0.0, 0.01)
					    << dRate << " Hz rate, " << dFreq << " Hz, level " << fLevel << ", amplitude " << dAmplitude
					    << ": " << dMeasured << " against " << dExpected;
				}
}
