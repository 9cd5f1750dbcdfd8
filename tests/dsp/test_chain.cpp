#include "assertcapture.h"
#include "processaudio.h"
#include "brontalparams.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
struct Chain
{
	ParamCell afCells[kNumParams];
	double dRate = 48000.0;
	ParamCell fTempo{120.0f};
	CProcessAudio audio;

	Chain()
	{
		for (int i = 0; i < kNumParams; ++i)
			afCells[i].store(kDefaultParamValues[i]);
		audio.SetBlockSize(1024);
		audio.SetSampleRate(&dRate);
		audio.SetBufferCount(CProcessAudio::kBufferCount);
		audio.SetParamCount(kNumParams);
		audio.SetTempo(&fTempo);
		audio.Init();
		for (const ParamDef& def : kParams)
			audio.SetParamPointer(def.iId, &afCells[def.iId]);
	}
};
} // namespace

TEST(Chain, RefusesInvalidSettingsAndCalls)
{
	Chain c;
	EXPECT_EQ(c.audio.SetBufferCount(1), 0);
	EXPECT_EQ(c.audio.SetBlockSize(0), 0);
	ParamCell cell;
	EXPECT_EQ(c.audio.SetParamPointer(0, &cell), 0);
	EXPECT_EQ(c.audio.SetParamPointer(20, &cell), 0);
	std::vector<float> in(64, 0.1f), out(64, 7.0f);
	EXPECT_EQ(c.audio.Process(in.data(), in.data(), out.data(), out.data(), 0), 0);
	EXPECT_EQ(c.audio.Process(in.data(), nullptr, out.data(), out.data(), 64), 0);
	EXPECT_EQ(out[0], 7.0f);
	EXPECT_EQ(c.audio.Process(in.data(), in.data(), out.data(), out.data(), 1025), 0);
}

// Prepared with fewer work buffers than its stages write, the chain says so
// when it is prepared and then refuses every block, its outputs untouched.
TEST(Chain, TooFewBuffersAreRefusedWhenPrepared)
{
	double dRate = 48000.0;
	ParamCell afCells[kNumParams];
	for (int i = 0; i < kNumParams; ++i)
		afCells[i].store(kDefaultParamValues[i]);
	for (const int iCount : {CProcessAudio::kBufferCount - 1, CProcessAudio::kBufferCount})
	{
		CProcessAudio audio;
		audio.SetBlockSize(256);
		audio.SetSampleRate(&dRate);
		audio.SetBufferCount(iCount);
		audio.SetParamCount(kNumParams);
		const bool bEnough = iCount >= CProcessAudio::kBufferCount;
		{
			AssertCapture capture;
			EXPECT_EQ(audio.Init(), bEnough ? 1 : 0) << iCount;
			EXPECT_EQ(AssertCapture::s_text, bEnough ? "" : "m_iBufferCount >= kBufferCount");
		}
		for (const ParamDef& def : kParams)
			if (bEnough)
				audio.SetParamPointer(def.iId, &afCells[def.iId]);
		std::vector<float> in(256, 0.1f), out1(256, 7.0f), out2(256, 7.0f);
		EXPECT_EQ(audio.Process(in.data(), in.data(), out1.data(), out2.data(), 256), bEnough ? 1 : 0) << iCount;
		EXPECT_EQ(out1[0] != 7.0f, bEnough) << iCount;
	}
}

// A chain that stood still (bypassed) holds the present signal again once it
// has run for its memory: 1024 samples for the compressor's detector, the
// enhancer's 0.1 s of line where it is on. After that many samples every
// output sample is the one of a chain that ran all along, once the clean
// voicing's filters have settled too; any less and what the enhancer's
// line held from before is still heard.
TEST(Chain, HoldsThePresentSignalOnceItHasRunForItsMemory)
{
	for (const bool bEnhancer : {false, true})
	{
		Chain a, b;
		for (Chain* c : {&a, &b})
		{
			for (const int iId : {kDistortionOnOff, kModulationOnOff, kDelayOnOff, kReverbOnOff})
				c->afCells[iId].store(0.0f);
			c->afCells[kStereoEnhancerOnOff].store(bEnhancer ? 1.0f : 0.0f);
		}
		const int iMemory = a.audio.MemorySamples();
		EXPECT_EQ(iMemory, bEnhancer ? 4802 : 1024);
		std::vector<float> x(96000), y1(1024), y2(1024), z1(1024), z2(1024);
		for (size_t i = 0; i < x.size(); ++i)
			x[i] = static_cast<float>(0.3 * std::sin(0.0411 * i) * std::sin(0.00031 * i));
		// a runs the first 0.5 s, rests for 0.3 s and runs again; b runs all
		// along. What the equalisers and the cabinet make of the first
		// samples after the rest differs for 50 ms, and the enhancer's line
		// carries that on by its 0.1 s.
		constexpr int kFiltersSettle = 2400;
		double dWorstLate = 0.0, dWorstEarly = 0.0;
		for (int i = 0; i < 96000; i += 256)
		{
			b.audio.Process(&x[i], &x[i], z1.data(), z2.data(), 256);
			if (i >= 24000 && i < 38400)
				continue;
			a.audio.Process(&x[i], &x[i], y1.data(), y2.data(), 256);
			for (int k = 0; k < 256; ++k)
			{
				const double dDiff = std::max(std::fabs(y1[k] - z1[k]), std::fabs(y2[k] - z2[k]));
				const int iRun = i + k - 38400;
				if (iRun >= iMemory + kFiltersSettle)
					dWorstLate = std::max(dWorstLate, dDiff);
				else if (iRun >= kFiltersSettle && iRun < iMemory - 480)
					dWorstEarly = std::max(dWorstEarly, dDiff);
			}
		}
		// The line's read position rounds by where its cursor stands: -100 dB.
		EXPECT_LT(dWorstLate, 1e-5) << bEnhancer;
		if (bEnhancer)
		{
			EXPECT_GT(dWorstEarly, 1e-2);
		}
	}
}
