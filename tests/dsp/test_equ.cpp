#include "MyEqu.h"
#include "assertcapture.h"
#include "dspfixture.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {
struct EquRig
{
	BlockRig rig;
	CMyEqu equ;

	EquRig(bool bPostCabinet, float fDistortion, double dRate = 48000.0) : rig(dRate)
	{
		rig.Attach(equ);
		equ.Configure(bPostCabinet ? 7 : 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, bPostCabinet);
		rig.params.Set(kDistortionOnOff, fDistortion);
	}
	std::vector<float> Run(const std::vector<float>& in, std::vector<float>* pOut2 = nullptr)
	{
		std::vector<float> out1, out2;
		const std::vector<float> in2(in.size(), 0.0f);
		RunBlock(equ, in, in2, out1, out2);
		EXPECT_EQ(out1, out2);
		if (pOut2)
			*pOut2 = out2;
		return out1;
	}
};

struct VoicingCase
{
	bool bPostCabinet;
	float fDistortion;
	double adExpectedDb[5];
};
} // namespace

TEST(Equ, SteadyStateCurvesOfTheFourVoicings)
{
	const double adFreqs[5] = {20.0, 100.0, 1000.0, 5000.0, 10000.0};
	const VoicingCase aCases[] = {
		{false, 0.0f, {-14.79, -11.91, 0.17, 2.81, -0.10}},
		{false, 1.0f, {-15.56, -7.05, 3.47, -0.97, -7.35}},
		{true, 0.0f, {0.55, 2.51, -4.67, -0.73, -4.58}},
		{true, 1.0f, {6.53, 5.61, -0.27, 4.05, 1.92}},
	};
	const double dRate = 48000.0;
	const size_t n = 48000; // whole periods of every test frequency
	for (const VoicingCase& c : aCases)
		for (int f = 0; f < 5; ++f)
		{
			EquRig equ(c.bPostCabinet, c.fDistortion);
			const std::vector<float> out = equ.Run(MakeTone(2 * n, adFreqs[f], dRate, 0.1));
			EXPECT_NEAR(ToDb(ToneAmplitude(out, n, n, adFreqs[f], dRate) / 0.1), c.adExpectedDb[f], 0.05)
				<< "post " << c.bPostCabinet << " distortion " << c.fDistortion << " at " << adFreqs[f] << " Hz";
		}
}

TEST(Equ, AnyNonZeroSwitchValueSelectsTheDistortionVoicing)
{
	const std::vector<float> in = MakeTone(48000, 100.0, 48000.0, 0.1);
	EquRig on(false, 1.0f), half(false, 0.5f), nan(false, std::nanf(""));
	const std::vector<float> expected = on.Run(in);
	EXPECT_EQ(half.Run(in), expected);
	EXPECT_EQ(nan.Run(in), expected);
}

TEST(Equ, VoicingChangesKeepTheFiltersRingingAndResetSilencesThem)
{
	std::vector<float> impulse(1024, 0.0f);
	impulse[0] = 1.0f;
	const std::vector<float> silence(1024, 0.0f);

	// A fresh bank given silence stays silent; one that just rang does not,
	// whatever happens between the blocks.
	EquRig fresh(true, 1.0f);
	for (float f : fresh.Run(silence))
		ASSERT_EQ(f, 0.0f);

	EquRig switched(true, 0.0f);
	switched.Run(impulse);
	switched.rig.params.Set(kDistortionOnOff, 1.0f);
	EXPECT_NE(switched.Run(silence)[0], 0.0f);

	EquRig reset(true, 0.0f);
	reset.Run(impulse);
	EXPECT_EQ(reset.equ.Reset(), 1);
	EXPECT_EQ(reset.Run(silence), silence);

	// The switch takes effect at the next block: a 1 kHz tone settles on the new curve.
	EquRig follow(false, 0.0f);
	const std::vector<float> tone = MakeTone(96000, 1000.0, 48000.0, 0.1);
	follow.Run(tone);
	follow.rig.params.Set(kDistortionOnOff, 1.0f);
	const std::vector<float> out = follow.Run(tone);
	EXPECT_NEAR(ToDb(ToneAmplitude(out, 48000, 48000, 1000.0, 48000.0) / 0.1), 3.47, 0.05);
}

TEST(Equ, NonFiniteSamplesActAsSilence)
{
	std::vector<float> clean = MakeTone(4096, 440.0, 48000.0, 0.5);
	clean[1000] = 0.0f;
	clean[2000] = 0.0f;
	std::vector<float> dirty = clean;
	dirty[1000] = std::nanf("");
	dirty[2000] = INFINITY;

	EquRig a(false, 1.0f), b(false, 1.0f);
	std::vector<float> out2;
	const std::vector<float> expected = a.Run(clean);
	EXPECT_EQ(b.Run(dirty, &out2), expected);
	EXPECT_EQ(out2, expected);
}

TEST(Equ, StaysStableAtALowRate)
{
	// At 11025 Hz the 6400 Hz band lies above Nyquist.
	EquRig equ(false, 0.0f, 11025.0);
	std::vector<float> in(11025 * 4);
	unsigned uState = 1;
	for (float& f : in)
		f = static_cast<float>((uState = uState * 1664525u + 1013904223u) >> 8) / 16777216.0f - 0.5f;
	for (float f : equ.Run(in))
		ASSERT_LT(std::fabs(f), 10.0f);
}

TEST(Equ, RefusesToRunWithoutItsParameters)
{
	AssertCapture capture;
	CMyEqu equ;
	double dRate = 48000.0;
	equ.SetSampleRate(&dRate);
	float in[4] = {}, out1[4] = {1, 1, 1, 1}, out2[4] = {1, 1, 1, 1};
	EXPECT_EQ(equ.Process(in, in, out1, out2, 4), 0);
	EXPECT_EQ(AssertCapture::s_text, "m_afParams");
	EXPECT_EQ(AssertCapture::s_source, "MyEqu");
	EXPECT_EQ(out1[0], 1.0f);
}

// The bands are summed eight samples at a time: blocks of any length, and
// their tails, give the same samples.
TEST(Equ, OutputDoesNotDependOnTheBlockLength)
{
	const std::vector<float> in = Noise(3000, 22);
	EquRig whole(false, 1.0f);
	const std::vector<float> expected = whole.Run(in);
	for (int iBlock : {1, 7, 37, 64, 65, 300})
	{
		EquRig equ(false, 1.0f);
		std::vector<float> out1, out2;
		RunBlock(equ.equ, in, in, out1, out2, iBlock);
		EXPECT_EQ(out1, expected) << iBlock;
		EXPECT_EQ(out2, expected) << iBlock;
	}
}

TEST(Equ, TheCurveFollowsARateChangedBehindThePointer)
{
	// Designs are kept while nothing changes; a new rate must still reach them.
	EquRig equ(false, 1.0f, 48000.0);
	equ.Run(MakeTone(4800, 1000.0, 48000.0, 0.1));
	equ.rig.dRate = 96000.0;
	const std::vector<float> out = equ.Run(MakeTone(96000, 1000.0, 96000.0, 0.1));
	EquRig fresh(false, 1.0f, 96000.0);
	const std::vector<float> expected = fresh.Run(MakeTone(96000, 1000.0, 96000.0, 0.1));
	EXPECT_NEAR(ToneAmplitude(out, 48000, 48000, 1000.0, 96000.0), ToneAmplitude(expected, 48000, 48000, 1000.0, 96000.0),
	            1e-6);
}
