#include "MyConvolution.h"
#include "brontalassert.h"
#include "brontaldata.h"
#include "brontalparams.h"
#include "dspfixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {
const float kDrive[7] = {-0.7076f, -0.93978f, -0.75808f, 0.38399994f, -0.028259993f, 0.22935998f, -0.72688997f};
const float kClean[7] = {-0.12981999f, 0.09280002f, -0.34906f, 0.42418003f, 0.0f, 0.0f, -1.0f};
const double kGains[7] = {6, 0.75, 8, 10, 7, 5, 5};

// The mixed response at a rate, worked out from the base responses.
std::vector<float> Mixed(double dRate, bool bDrive)
{
	namespace d = brontal::data;
	const brontal::Blob aBlobs[7] = {d::afBaseIR1(), d::afBaseIR2(), d::afBaseIR3(), d::afBaseIR4(),
	                                 d::afBaseIR5(), d::afBaseIR6(), d::afBaseIR7()};
	const int iLength = static_cast<int>(std::lround(0.05 * dRate));
	std::vector<float> h(static_cast<size_t>(iLength));
	for (int i = 0; i < iLength; ++i)
	{
		const int m = static_cast<int>(std::lround(i * 44100.0 / dRate));
		double dSum = 0.0;
		for (int j = 0; j < 7; ++j)
			if (static_cast<size_t>(m) < aBlobs[j].size / 4)
				dSum += static_cast<double>(reinterpret_cast<const float*>(aBlobs[j].data)[m]) *
				        (bDrive ? kDrive[j] : kClean[j]) * kGains[j];
		h[static_cast<size_t>(i)] = static_cast<float>(25.0 * dSum);
	}
	return h;
}

int NonZero(const std::vector<float>& h, int iTaps)
{
	return static_cast<int>(std::count_if(h.begin(), h.begin() + iTaps, [](float f) { return f != 0.0f; }));
}

std::vector<std::string> g_asAsserts;
void Record(const char* szText, const char* szSource)
{
	g_asAsserts.push_back(std::string(szSource) + ": " + szText);
}
} // namespace

TEST(Convolution, ImpulseGivesTheMeanScaledResponseAtEveryRate)
{
	const struct
	{
		double dRate;
		int iTaps;
	} aCases[] = {{44100.0, 458}, {48000.0, 499}, {96000.0, 998}, {192000.0, 1996}, {22050.0, 229}};
	for (const auto& c : aCases)
		for (bool bDrive : {true, false})
		{
			SCOPED_TRACE(c.dRate);
			SCOPED_TRACE(bDrive);
			BlockRig rig(c.dRate);
			CMyConvolution conv;
			rig.Attach(conv);
			rig.params.Set(kDistortionOnOff, bDrive ? 1.0f : 0.0f);
			std::vector<float> in(static_cast<size_t>(c.iTaps) + 600, 0.0f), out1, out2;
			in[0] = 1.0f;
			RunBlock(conv, in, in, out1, out2, 256);

			const std::vector<float> h = Mixed(c.dRate, bDrive);
			ASSERT_EQ(conv.GetResponseLength(), static_cast<int>(h.size()));
			ASSERT_EQ(conv.GetConvolvedTaps(), c.iTaps);
			const int iUsed = NonZero(h, c.iTaps);
			const float F = bDrive ? 0.1f : 0.35481339f;
			// The taps past the first partition go through single-precision
			// transforms: each output is exact to a few parts in 10^8 of the
			// response's peak (measured worst 8e-8).
			float fPeak = 0.0f;
			for (int k = 0; k < c.iTaps; ++k)
				fPeak = std::max(fPeak, std::fabs(static_cast<float>(h[static_cast<size_t>(k)] / static_cast<double>(iUsed)) * F * 0.208f));
			for (int k = 0; k < c.iTaps; ++k)
			{
				const float fExpected = static_cast<float>(h[static_cast<size_t>(k)] / static_cast<double>(iUsed)) * F * 0.208f;
				const float fTolerance = k < CMyConvolution::kPartition ? 1e-6f * std::fabs(fExpected) + 1e-12f : 2e-7f * fPeak;
				ASSERT_NEAR(out1[static_cast<size_t>(k)], fExpected, fTolerance) << k;
			}
			// Nothing but rounding while the impulse is in the transformed
			// inputs (each holds two partitions), and nothing at all after.
			const size_t nQuiet = static_cast<size_t>(((c.iTaps - 1) / CMyConvolution::kPartition + 2) * CMyConvolution::kPartition);
			for (size_t k = static_cast<size_t>(c.iTaps); k < in.size(); ++k)
				ASSERT_NEAR(out1[k], 0.0f, k < nQuiet ? 2e-7f * fPeak : 0.0f) << k;
			EXPECT_EQ(out1, out2);
		}
}

// Against the plain arithmetic, single-precision products summed one after
// the other in double: the direct taps form each product exactly (the
// reference rounds it, by up to 6e-8 of its size), the partitions round in
// single precision. Measured worst: 1.1e-7 of the sum of the products'
// magnitudes.
TEST(Convolution, MatchesSequentialDoubleSumWithinSinglePrecision)
{
	const double dRate = 48000.0;
	BlockRig rig(dRate);
	CMyConvolution conv;
	rig.Attach(conv);
	const std::vector<float> in = Noise(6000, 7), in2 = Noise(6000, 8);
	std::vector<float> out1, out2;
	RunBlock(conv, in, in2, out1, out2, 333);
	EXPECT_EQ(out1, out2);

	const std::vector<float> h = Mixed(dRate, true);
	const int M = 499, iUsed = NonZero(h, M);
	double dWorst = 0.0;
	for (size_t n = 0; n < in.size(); ++n)
	{
		double dSum = 0.0, dScale = 0.0;
		for (int k = 0; k < M && static_cast<size_t>(k) <= n; ++k)
		{
			dSum += static_cast<double>(h[static_cast<size_t>(k)] * in[n - static_cast<size_t>(k)]);
			dScale += std::fabs(static_cast<double>(h[static_cast<size_t>(k)] * in[n - static_cast<size_t>(k)]));
		}
		const float fRef = static_cast<float>(dSum / iUsed) * 0.1f * 0.208f;
		dWorst = std::max(dWorst, std::fabs(out1[n] - fRef) / (std::fabs(fRef) * 1.2e-7 + dScale / iUsed * 0.1 * 0.208));
	}
	EXPECT_LE(dWorst, 2e-7) << "of the products' magnitudes";
}

TEST(Convolution, SwitchRebuildsWithoutLosingHistory)
{
	const double dRate = 44100.0;
	BlockRig rig(dRate);
	CMyConvolution conv;
	rig.Attach(conv);
	rig.params.Set(kDistortionOnOff, 0.0f);
	const std::vector<float> in = Noise(1024, 9);
	std::vector<float> a1(512), a2(512), b1(512), b2(512);
	conv.Process(in.data(), in.data(), a1.data(), a2.data(), 512);
	conv.Process(in.data(), in.data(), a1.data(), a2.data(), 0);
	EXPECT_EQ(conv.GetBuildCount(), 1);

	rig.params.Set(kDistortionOnOff, 1.0f);
	conv.Process(in.data() + 512, in.data(), b1.data(), b2.data(), 512);
	EXPECT_EQ(conv.GetBuildCount(), 2);
	// The first drive output already sees the clean block's input.
	const std::vector<float> h = Mixed(dRate, true);
	const int iUsed = NonZero(h, 458);
	double dSum = 0.0;
	for (int k = 0; k < 458; ++k)
		dSum += static_cast<double>(h[static_cast<size_t>(k)] * in[static_cast<size_t>(512 - k)]);
	const float fExpected = static_cast<float>(dSum / iUsed) * 0.1f * 0.208f;
	EXPECT_NEAR(b1[0], fExpected, 1e-6f * std::fabs(fExpected) + 1e-9f);

	// 0.5 means drive: the same voicing, so nothing is rebuilt.
	rig.params.Set(kDistortionOnOff, 0.5f);
	for (int i = 0; i < 3; ++i)
		conv.Process(in.data(), in.data(), a1.data(), a2.data(), 64);
	EXPECT_EQ(conv.GetBuildCount(), 2);
	EXPECT_EQ(std::vector<float>(conv.GetResponse(), conv.GetResponse() + h.size()), h);
	rig.params.Set(kDistortionOnOff, 0.0f);
	conv.Process(in.data(), in.data(), a1.data(), a2.data(), 64);
	conv.Process(in.data(), in.data(), a1.data(), a2.data(), 64);
	EXPECT_EQ(conv.GetBuildCount(), 3);

	// A new rate, as the chain applies it: rebuilt at the next block.
	rig.dRate = 96000.0;
	conv.SetSampleRate(&rig.dRate);
	conv.Reset();
	conv.Process(in.data(), in.data(), a1.data(), a2.data(), 64);
	EXPECT_EQ(conv.GetBuildCount(), 4);
	EXPECT_EQ(conv.GetConvolvedTaps(), 998);
}

TEST(Convolution, SilenceAndDegenerateRates)
{
	for (double dRate : {44100.0, 85.0, 50.0, 5.0})
	{
		SCOPED_TRACE(dRate);
		BlockRig rig(dRate);
		CMyConvolution conv;
		rig.Attach(conv);
		std::vector<float> out1, out2;
		RunBlock(conv, std::vector<float>(2048, 0.0f), std::vector<float>(2048, 0.0f), out1, out2);
		for (float f : out1)
			ASSERT_EQ(f, 0.0f);
		if (dRate < 90.0)
		{
			// No convolved tap: silent, not 0/0.
			EXPECT_EQ(conv.GetNonZeroTaps(), 0);
			RunBlock(conv, Noise(2048, 10), std::vector<float>(2048, 0.0f), out1, out2);
			for (float f : out1)
				ASSERT_EQ(f, 0.0f);
		}
	}
}

TEST(Convolution, RateAboveCapacityIsClampedWithAnAssertion)
{
	g_asAsserts.clear();
	brontal::SetAssertHandler(&Record);
	BlockRig rig(384000.0);
	CMyConvolution conv;
	rig.Attach(conv);
	std::vector<float> out1, out2;
	RunBlock(conv, Noise(4096, 11), std::vector<float>(4096, 0.0f), out1, out2);
	brontal::SetAssertHandler(nullptr);
	ASSERT_EQ(g_asAsserts.size(), 1u);
	EXPECT_EQ(g_asAsserts[0], "MyConvolution: 0");
	EXPECT_EQ(conv.GetResponseLength(), BUFCONVOLUTIONSIZE);
	EXPECT_EQ(conv.GetConvolvedTaps(), 1996);
	for (float f : out1)
		ASSERT_TRUE(std::isfinite(f));
}

TEST(Convolution, NonFiniteOrHugeInputLeavesTheOutputFinite)
{
	BlockRig rig(48000.0);
	CMyConvolution conv;
	rig.Attach(conv);
	std::vector<float> in = Noise(2048, 12);
	in[3] = std::numeric_limits<float>::quiet_NaN();
	in[300] = std::numeric_limits<float>::infinity();
	in[600] = -std::numeric_limits<float>::max();
	std::vector<float> out1, out2;
	RunBlock(conv, in, in, out1, out2, 128);
	for (float f : out1)
		ASSERT_TRUE(std::isfinite(f));
}

TEST(Convolution, OutputDoesNotDependOnTheBlockLength)
{
	const std::vector<float> in = Noise(5000, 13);
	std::vector<float> expected, out, ignored;
	{
		BlockRig rig(96000.0);
		CMyConvolution conv;
		rig.Attach(conv);
		RunBlock(conv, in, in, expected, ignored, 1024);
	}
	for (int iBlock : {1, 37, 64, 1000})
	{
		SCOPED_TRACE(iBlock);
		BlockRig rig(96000.0);
		CMyConvolution conv;
		rig.Attach(conv);
		RunBlock(conv, in, in, out, ignored, iBlock);
		EXPECT_EQ(out, expected);
	}
}
