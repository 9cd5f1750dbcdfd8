// Every block whose hot loops have an AVX2 copy (RunBestBuild), run twice on
// the same input, parameter moves and call sizes: once with the AVX2 copy
// allowed, once with it disallowed. The two copies perform the same
// operations in the same order, so the samples must be the same bits; a
// copy that rounds, reads or keeps state differently shows here at once.
#include "Fft.h"
#include "MyChorus.h"
#include "MyComp.h"
#include "MyConvolution.h"
#include "MyDelay.h"
#include "MyDisto.h"
#include "MyEqu.h"
#include "MyReverb.h"
#include "Tuner.h"
#include "cpufeatures.h"
#include "dspfixture.h"
#include "pluck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

// The processor's own choice again, however a comparison ends.
struct Avx2Restored
{
	~Avx2Restored() { AllowAvx2(true); }
};

bool ProcessorRunsAvx2()
{
	AllowAvx2(true);
	return HasAvx2();
}

// Noise at half scale with, every 4000 samples, a loud burst, a stretch of
// silence, a held value and a stretch far below the noise floor: the paths
// that the level, the gate and the near-sample shortcuts take.
std::vector<float> VariedInput(size_t n, unsigned uSeed)
{
	std::mt19937 rng(uSeed);
	std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
	std::vector<float> v(n);
	for (size_t i = 0; i < n; ++i)
	{
		const size_t uPhase = i % 4000;
		const float f = dist(rng);
		if (uPhase < 300)
			v[i] = 3.0f * f;
		else if (uPhase >= 1500 && uPhase < 1900)
			v[i] = 0.0f;
		else if (uPhase >= 2500 && uPhase < 2700)
			v[i] = 0.25f;
		else if (uPhase >= 3000 && uPhase < 3300)
			v[i] = 1e-7f * f;
		else
			v[i] = 0.5f * f;
	}
	return v;
}

// Call lengths, each list repeated to the end of the input: single samples,
// odd lengths across the blocks' chunks and stretches (32, 64, 256), the
// longest a host may ask of the chain, and a mix of them all.
const std::vector<std::vector<int>> kCallSizes = {
    {1}, {2}, {3}, {37}, {64}, {65}, {500}, {1024}, {8192}, {1, 8192, 7, 64, 1023, 2, 301, 256, 255, 33},
};

// A parameter (or, with kTempo, the host's tempo) set before the call that
// starts at or after a sample.
constexpr int kTempo = -1;
struct Move
{
	size_t uAt;
	int iId;
	float fValue;
};

struct BlockCase
{
	std::string name;
	double dRate;
	size_t uLength;
	std::function<std::unique_ptr<CMyEffect>()> make;
	// The moves at sample 0 are in place before the block is attached.
	std::vector<Move> moves;
	bool bWithTempo = false;
	// Called once the block is attached, as the chain configures it.
	std::function<void(CMyEffect&)> configure = nullptr;
};

void PrintTo(const BlockCase& c, std::ostream* pOut)
{
	*pOut << c.name;
}

struct Outputs
{
	std::vector<float> out1, out2;
};

Outputs RunCase(const BlockCase& c, const std::vector<float>& in1, const std::vector<float>& in2,
            const std::vector<int>& aSizes, bool bAvx2)
{
	Avx2Restored restore;
	AllowAvx2(bAvx2);
	BlockRig rig(c.dRate);
	std::unique_ptr<CMyEffect> pBlock = c.make();
	size_t uMove = 0;
	const auto apply = [&](size_t uAt) {
		for (; uMove < c.moves.size() && c.moves[uMove].uAt <= uAt; ++uMove)
		{
			const Move& m = c.moves[uMove];
			if (m.iId == kTempo)
				rig.fTempo.store(m.fValue);
			else
				rig.params.Set(m.iId, m.fValue);
		}
	};
	apply(0);
	rig.Attach(*pBlock, c.bWithTempo);
	if (c.configure)
		c.configure(*pBlock);

	Outputs run;
	run.out1.assign(in1.size(), 0.0f);
	run.out2.assign(in1.size(), 0.0f);
	size_t uCall = 0;
	for (size_t i = 0; i < in1.size(); ++uCall)
	{
		apply(i);
		const size_t uWant = static_cast<size_t>(aSizes[uCall % aSizes.size()]);
		const int n = static_cast<int>(std::min(in1.size() - i, uWant));
		EXPECT_NE(pBlock->Process(&in1[i], &in2[i], &run.out1[i], &run.out2[i], n), 0) << "at " << i;
		i += static_cast<size_t>(n);
	}
	return run;
}

// The first sample whose bits differ, or -1.
long FirstDifference(const std::vector<float>& a, const std::vector<float>& b)
{
	if (a.size() != b.size())
		return 0;
	for (size_t i = 0; i < a.size(); ++i)
	{
		std::uint32_t ua, ub;
		std::memcpy(&ua, &a[i], sizeof ua);
		std::memcpy(&ub, &b[i], sizeof ub);
		if (ua != ub)
			return static_cast<long>(i);
	}
	return -1;
}

std::string Describe(const std::vector<float>& avx2, const std::vector<float>& plain, long i)
{
	if (i < 0 || static_cast<size_t>(i) >= avx2.size() || static_cast<size_t>(i) >= plain.size())
		return "lengths " + std::to_string(avx2.size()) + " and " + std::to_string(plain.size());
	char sz[128];
	std::snprintf(sz, sizeof sz, "sample %ld: AVX2 %a, plain %a", i, static_cast<double>(avx2[static_cast<size_t>(i)]),
	              static_cast<double>(plain[static_cast<size_t>(i)]));
	return sz;
}

// Samples a run moved away from silence: a block that passed nothing through
// would make the comparison empty.
size_t Sounding(const std::vector<float>& v)
{
	size_t uCount = 0;
	for (float f : v)
		uCount += f != 0.0f;
	return uCount;
}

template <typename Block> std::function<std::unique_ptr<CMyEffect>()> Make()
{
	return [] { return std::make_unique<Block>(); };
}

std::function<void(CMyEffect&)> EquVoicing(bool bPostCabinet)
{
	return [bPostCabinet](CMyEffect& block) {
		static_cast<CMyEqu&>(block).Configure(bPostCabinet ? 7 : 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, bPostCabinet);
	};
}

std::vector<BlockCase> Cases()
{
	std::vector<BlockCase> cases;
	cases.push_back({"Compressor", 48000.0, 30000, Make<CMyComp>(),
	                 {{0, kGateCompOnOff, 1.0f}, {0, kCompressorLevel, 0.8f}, {9000, kCompressorLevel, 0.2f},
	                  {15000, kCompressorLevel, 1.0f}, {20000, kGateCompOnOff, 0.0f}, {24000, kGateCompOnOff, 1.0f},
	                  {26000, kCompressorLevel, 0.0f}}});
	for (bool bPost : {false, true})
		cases.push_back({bPost ? "EqualiserAfterTheCabinet" : "EqualiserBeforeTheDistortion", 48000.0, 12000,
		                 Make<CMyEqu>(), {{0, kDistortionOnOff, 1.0f}, {5000, kDistortionOnOff, 0.0f}, {9000, kDistortionOnOff, 1.0f}},
		                 false, EquVoicing(bPost)});
	cases.push_back({"Distortion", 44100.0, 9000, Make<CMyDisto>(),
	                 {{0, kDistortionOnOff, 1.0f}, {0, kDistortionLevel, 0.9f}, {3000, kDistortionLevel, 0.2f},
	                  {6000, kDistortionLevel, 1.0f}, {7000, kDistortionOnOff, 0.0f}, {8000, kDistortionOnOff, 1.0f}}});
	for (double dRate : {44100.0, 96000.0})
		cases.push_back({"CabinetConvolutionAt" + std::to_string(static_cast<int>(dRate)), dRate, 8000,
		                 Make<CMyConvolution>(), {{0, kDistortionOnOff, 1.0f}, {5000, kDistortionOnOff, 0.0f}}});
	// A whole period of the oscillator at its fastest, then slower.
	for (double dRate : {44100.0, 48000.0, 96000.0})
		cases.push_back({"ChorusAt" + std::to_string(static_cast<int>(dRate)), dRate,
		                 static_cast<size_t>(static_cast<float>(dRate) * 3.3333333f) + 3000, Make<CMyChorus>(),
		                 {{0, kModulationOnOff, 1.0f}, {0, kChorusSpeed, 1.0f},
		                  {static_cast<size_t>(dRate * 3.34), kChorusSpeed, 0.3f}}});
	// After a stereo cabinet: the second tap reads input 2's own ring.
	cases.push_back({"StereoChorusAt48000", 48000.0, 19000, Make<CMyChorus>(),
	                 {{0, kModulationOnOff, 1.0f}, {0, kChorusSpeed, 1.0f}, {9000, kChorusSpeed, 0.3f}}, false,
	                 [](CMyEffect& block) { static_cast<CMyChorus&>(block).SetStereo(true); }});
	// At 1 kHz the ring (33000 entries) wraps twice; a fractional eighth
	// note, the longest delay (tempo 0) and the shortest.
	for (float fTempo : {121.0f, 0.0f, 1e6f})
		cases.push_back({"DelayAtTempo" + std::to_string(static_cast<int>(fTempo)), 1000.0, 75000, Make<CMyDelay>(),
		                 {{0, kDelayOnOff, 1.0f}, {0, kDelayLevel, 1.0f}, {0, kTempo, fTempo}}, true});
	cases.push_back({"DelayMoved", 48000.0, 40000, Make<CMyDelay>(),
	                 {{0, kDelayOnOff, 1.0f}, {0, kTempo, 300.0f}, {9000, kDelayLevel, 0.3f}, {15000, kTempo, 97.0f},
	                  {22000, kDelayOnOff, 0.0f}, {30000, kDelayOnOff, 1.0f}, {33000, kDelayLevel, 1.0f}},
	                 true});
	cases.push_back({"Reverb", 44100.0, 30000, Make<CMyReverb>(),
	                 {{0, kReverbOnOff, 1.0f}, {0, kStereoEnhancerOnOff, 1.0f}, {8000, kReverbLevel, 1.0f},
	                  {14000, kStereoEnhancerOnOff, 0.0f}, {20000, kReverbOnOff, 0.0f}, {24000, kReverbOnOff, 1.0f},
	                  {26000, kReverbLevel, 0.1f}}});
	return cases;
}

class Avx2Match : public ::testing::TestWithParam<BlockCase>
{
};

} // namespace

TEST_P(Avx2Match, PlainCopyGivesTheSameBitsAtEveryCallSize)
{
	if (!ProcessorRunsAvx2())
		GTEST_SKIP() << "this processor has no AVX2: there is only the plain copy";
	const BlockCase& c = GetParam();
	const std::vector<float> in1 = VariedInput(c.uLength, 41), in2 = VariedInput(c.uLength, 42);
	for (const std::vector<int>& aSizes : kCallSizes)
	{
		SCOPED_TRACE("calls of " + std::to_string(aSizes[0]) + (aSizes.size() > 1 ? " and others" : ""));
		const Outputs avx2 = RunCase(c, in1, in2, aSizes, true);
		const Outputs plain = RunCase(c, in1, in2, aSizes, false);
		ASSERT_GT(Sounding(avx2.out1) + Sounding(avx2.out2), c.uLength / 2) << "the block gave next to nothing";
		const long i1 = FirstDifference(avx2.out1, plain.out1), i2 = FirstDifference(avx2.out2, plain.out2);
		ASSERT_EQ(i1, -1) << "output 1, " << Describe(avx2.out1, plain.out1, i1);
		ASSERT_EQ(i2, -1) << "output 2, " << Describe(avx2.out2, plain.out2, i2);
	}
}

INSTANTIATE_TEST_SUITE_P(EveryBlock, Avx2Match, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<BlockCase>& param) { return param.param.name; });

// The cabinet's transforms on their own, at every length from the shortest
// to well past the cabinet's: forward, then inverse of the result.
TEST(Avx2MatchFft, PlainCopyGivesTheSameBitsAtEveryLength)
{
	if (!ProcessorRunsAvx2())
		GTEST_SKIP() << "this processor has no AVX2: there is only the plain copy";
	Avx2Restored restore;
	for (int iSize = 16; iSize <= 8192; iSize *= 2)
	{
		SCOPED_TRACE(iSize);
		const CFft fft(iSize);
		const std::vector<float> re = VariedInput(static_cast<size_t>(iSize), static_cast<unsigned>(iSize));
		const std::vector<float> im = VariedInput(static_cast<size_t>(iSize), static_cast<unsigned>(iSize) + 1);
		Outputs runs[2];
		for (bool bAvx2 : {true, false})
		{
			AllowAvx2(bAvx2);
			Outputs& run = runs[bAvx2 ? 0 : 1];
			run.out1 = re;
			run.out2 = im;
			fft.Forward(run.out1.data(), run.out2.data());
			std::vector<float> backRe = run.out1, backIm = run.out2;
			fft.Inverse(backRe.data(), backIm.data());
			run.out1.insert(run.out1.end(), backRe.begin(), backRe.end());
			run.out2.insert(run.out2.end(), backIm.begin(), backIm.end());
		}
		const long iRe = FirstDifference(runs[0].out1, runs[1].out1), iIm = FirstDifference(runs[0].out2, runs[1].out2);
		ASSERT_EQ(iRe, -1) << "real parts (forward, then inverse), " << Describe(runs[0].out1, runs[1].out1, iRe);
		ASSERT_EQ(iIm, -1) << "imaginary parts (forward, then inverse), " << Describe(runs[0].out2, runs[1].out2, iIm);
	}
}

// The tuner's readings, one after every call, on plucked strings low and
// high and then noise at each rate, in calls of every size: its decimation
// and analysis run in one copy or the other, so the readings must be the
// same bits (and there must be some).
TEST(Avx2MatchTuner, PlainCopyReadsTheSameBitsAtEveryCallSize)
{
	if (!ProcessorRunsAvx2())
		GTEST_SKIP() << "this processor has no AVX2: there is only the plain copy";
	Avx2Restored restore;
	for (double dRate : {44100.0, 48000.0, 96000.0})
	{
		std::vector<float> in;
		for (double dHz : {41.2, 196.0, 1318.5})
		{
			const std::vector<float> note = pluck::Pluck(pluck::Tuned(dHz, dRate), static_cast<size_t>(0.4 * dRate), 0.5, 7);
			in.insert(in.end(), note.begin(), note.end());
		}
		const std::vector<float> noise = VariedInput(static_cast<size_t>(0.3 * dRate), 43);
		in.insert(in.end(), noise.begin(), noise.end());
		for (const std::vector<int>& aSizes : kCallSizes)
		{
			SCOPED_TRACE(std::to_string(dRate) + " Hz, calls of " + std::to_string(aSizes[0]) + (aSizes.size() > 1 ? " and others" : ""));
			std::vector<double> adReadings[2];
			for (bool bAvx2 : {true, false})
			{
				AllowAvx2(bAvx2);
				CPitchDetector detector;
				detector.SetSampleRate(dRate);
				size_t uCall = 0;
				for (size_t i = 0; i < in.size(); ++uCall)
				{
					const int n = static_cast<int>(std::min(in.size() - i, static_cast<size_t>(aSizes[uCall % aSizes.size()])));
					detector.Push(&in[i], n);
					adReadings[bAvx2 ? 0 : 1].push_back(detector.HeldHz());
					i += static_cast<size_t>(n);
				}
			}
			const size_t uHeld = static_cast<size_t>(std::count_if(adReadings[0].begin(), adReadings[0].end(), [](double d) { return d > 0.0; }));
			ASSERT_GT(uHeld, adReadings[0].size() / 2) << "the tuner held next to no note";
			ASSERT_EQ(std::memcmp(adReadings[0].data(), adReadings[1].data(), sizeof(double) * adReadings[0].size()), 0);
		}
	}
}
