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
		for (int i = kFirstParam; i <= kLastParam; ++i)
			audio.SetParamPointer(i, &afCells[i]);
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
