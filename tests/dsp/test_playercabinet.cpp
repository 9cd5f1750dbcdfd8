#include "IrConvolver.h"
#include "IrPrepare.h"
#include "MyConvolution.h"
#include "dspfixture.h"
#include "processaudio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <memory>
#include <vector>

namespace {

// The whole chain with every level-dependent block off: gate/compressor,
// distortion, chorus, delay, reverb, enhancer. Fed quietly, it is linear
// (the saturator is a straight line below 0.5).
struct LinearChain
{
	ParamCell afCells[kNumParams];
	double dRate;
	ParamCell fTempo{120.0f};
	CProcessAudio audio;

	explicit LinearChain(double dSampleRate, bool bDrive = false) : dRate(dSampleRate)
	{
		for (int i = 0; i < kNumParams; ++i)
			afCells[i].store(kDefaultParamValues[i]);
		for (int iId : {kGateCompOnOff, kDelayOnOff, kModulationOnOff, kReverbOnOff, kStereoEnhancerOnOff})
			afCells[iId].store(0.0f);
		afCells[kDistortionOnOff].store(bDrive ? 1.0f : 0.0f);
		audio.SetBlockSize(1024);
		audio.SetSampleRate(&dRate);
		audio.SetBufferCount(CProcessAudio::kBufferCount);
		audio.SetParamCount(kNumParams);
		audio.SetTempo(&fTempo);
		audio.Init();
		for (const ParamDef& def : kParams)
			audio.SetParamPointer(def.iId, &afCells[def.iId]);
	}
	void Use(const std::vector<float>& afLeft, const std::vector<float>& afRight)
	{
		audio.Responses().Offer(MakePlayerResponse(afLeft, afRight));
		audio.Reset();
	}
	// The left input only (the selector's default), in blocks of 256.
	void Run(const std::vector<float>& x, std::vector<float>& left, std::vector<float>& right)
	{
		left.assign(x.size(), 0.0f);
		right.assign(x.size(), 0.0f);
		for (size_t i = 0; i < x.size(); i += 256)
		{
			const int n = static_cast<int>(std::min<size_t>(256, x.size() - i));
			audio.Process(x.data() + i, x.data() + i, left.data() + i, right.data() + i, n);
		}
	}
};

// y = g * h in double, over the samples of g above 1e-9 of its peak.
std::vector<double> Convolve(const std::vector<float>& g, const std::vector<float>& h, size_t n)
{
	double dPeak = 0.0;
	for (float v : g)
		dPeak = std::max(dPeak, std::fabs(static_cast<double>(v)));
	std::vector<double> y(n, 0.0);
	for (size_t k = 0; k < g.size(); ++k)
		if (std::fabs(g[k]) > 1e-9 * dPeak)
			for (size_t m = 0; m + k < n && m < h.size(); ++m)
				y[m + k] += static_cast<double>(g[k]) * h[m];
	return y;
}

double ErrorDb(const std::vector<float>& y, const std::vector<double>& expected)
{
	double dErr = 0.0, dPeak = 0.0;
	for (size_t i = 0; i < y.size(); ++i)
	{
		dErr = std::max(dErr, std::fabs(y[i] - expected[i]));
		dPeak = std::max(dPeak, std::fabs(expected[i]));
	}
	return 20.0 * std::log10(dErr / dPeak);
}

} // namespace

// With the chain linear, a 2 s random stereo response h at the host rate
// gives what a unit impulse gives, convolved with h: left with h's left,
// right with its right, to within -100 dB of the peak, for both voicings'
// levels. The impulse's output is the equalisers' response, so the test
// needs no figure of them.
TEST(PlayerCabinet, ChainWithAResponseIsTheImpulseChainConvolvedWithIt)
{
	const double dRate = 48000.0;
	const size_t nTaps = 96000;
	const std::vector<float> hl = Noise(nTaps, 21), hr = Noise(nTaps, 22);
	std::vector<float> x(nTaps + 9600, 0.0f);
	x[100] = 1e-3f;
	LinearChain unit(dRate), full(dRate);
	unit.Use({1.0f}, {1.0f});
	full.Use(hl, hr);
	std::vector<float> gl, gr, yl, yr;
	unit.Run(x, gl, gr);
	full.Run(x, yl, yr);
	EXPECT_EQ(gl, gr);
	const double dLeft = ErrorDb(yl, Convolve(gl, hl, x.size()));
	const double dRight = ErrorDb(yr, Convolve(gr, hr, x.size()));
	std::printf("      2 s stereo response through the chain: left %.1f dB, right %.1f dB\n", dLeft, dRight);
	EXPECT_LT(dLeft, -100.0);
	EXPECT_LT(dRight, -100.0);
}

// With trimming off, a 1 s response (44.1 kHz) that is an impulse at 700 ms
// delays the sound by exactly 700 ms at 44.1, 48 and 96 kHz, and at the
// same level: the chain with it is the chain with a unit impulse, 700 ms
// later. A mono response keeps both outputs alike.
TEST(PlayerCabinet, AnImpulseAt700msDelaysBy700msAtEveryRate)
{
	brontal::IrSamples ir;
	ir.dSampleRate = 44100.0;
	ir.afLeft.assign(44100, 0.0f);
	ir.afLeft[30870] = 1.0f;
	for (double dRate : {44100.0, 48000.0, 96000.0})
	{
		SCOPED_TRACE(dRate);
		const brontal::IrTaps taps = brontal::PrepareResponse(ir, {false, false}, dRate, 1.0);
		ASSERT_TRUE(taps.afRight.empty());
		LinearChain unit(dRate), delayed(dRate);
		unit.Use({1.0f}, {});
		delayed.Use(taps.afLeft, {});
		const size_t nDelay = static_cast<size_t>(0.7 * dRate + 0.5);
		std::vector<float> x(nDelay + 4096, 0.0f);
		for (size_t i = 0; i < 2048; ++i)
			x[i] = static_cast<float>(1e-3 * std::sin(0.05 * static_cast<double>(i)) * std::pow(std::sin(M_PI * static_cast<double>(i) / 2048.0), 2));
		std::vector<float> gl, gr, yl, yr;
		unit.Run(x, gl, gr);
		delayed.Run(x, yl, yr);
		EXPECT_EQ(yl, yr);
		double dErr = 0.0, dPeak = 0.0, dBefore = 0.0;
		for (size_t i = 0; i < nDelay; ++i)
			dBefore = std::max(dBefore, std::fabs(static_cast<double>(yl[i])));
		for (size_t i = nDelay; i < x.size(); ++i)
		{
			dErr = std::max(dErr, std::fabs(static_cast<double>(yl[i]) - gl[i - nDelay]));
			dPeak = std::max(dPeak, std::fabs(static_cast<double>(gl[i - nDelay])));
		}
		const double dErrDb = 20.0 * std::log10(dErr / dPeak + 1e-30);
		const double dBeforeDb = 20.0 * std::log10(dBefore / dPeak + 1e-30);
		std::printf("      impulse at 700 ms, %.0f Hz: %.1f dB off, %.1f dB before\n", dRate, dErrDb, dBeforeDb);
		EXPECT_LT(dErrDb, -100.0);
		EXPECT_LT(dBeforeDb, -100.0);
	}
}

// Back to the built-in mix: the chain sounds exactly as one that never had
// a response; a normalised response matches the built-in cabinet's energy.
TEST(PlayerCabinet, BuiltInAgainIsExactAndNormalisingMatchesItsEnergy)
{
	const std::vector<float> x = Noise(20000, 3);
	for (bool bDrive : {false, true})
	{
		LinearChain never(48000.0, bDrive), back(48000.0, bDrive);
		back.Use(Noise(5000, 4), {});
		std::vector<float> l, r;
		back.Run(x, l, r);
		back.Use({}, {});
		std::vector<float> el, er, yl, yr;
		never.Run(x, el, er);
		back.Run(x, yl, yr);
		EXPECT_EQ(yl, el) << bDrive;
		EXPECT_EQ(yr, er) << bDrive;
	}
	brontal::IrSamples ir;
	ir.dSampleRate = 96000.0;
	ir.afLeft = Noise(9600, 5);
	const double dTarget = CMyConvolution::BuiltInEnergy();
	// The built-in cabinet's power gain for white noise at 44.1 kHz, before
	// the clean voicing's -9 dB, times the rate.
	{
		BlockRig rig(44100.0);
		rig.params.Set(kDistortionOnOff, 0.0f);
		CMyConvolution cabinet;
		rig.Attach(cabinet);
		const std::vector<float> noise = Noise(88200, 6);
		std::vector<float> o1, o2;
		RunBlock(cabinet, noise, noise, o1, o2);
		double dIn = 0.0, dOut = 0.0;
		for (size_t i = 4410; i < noise.size(); ++i)
		{
			dIn += static_cast<double>(noise[i]) * noise[i];
			dOut += static_cast<double>(o1[i]) * o1[i];
		}
		EXPECT_NEAR(dTarget / (44100.0 * dOut / dIn / std::pow(10.0, -0.9)), 1.0, 0.03);
	}
	brontal::IrSamples atHost;
	atHost.dSampleRate = 96000.0;
	atHost.afLeft = brontal::PrepareResponse(ir, {true, false}, 96000.0, dTarget).afLeft;
	EXPECT_NEAR(brontal::ResponseEnergy(atHost) / dTarget, 1.0, 1e-4);
}

// The cabinet alone: a response of 0.5 heard through the voicing's level
// (clean -9 dB, driven -20 dB); a new response fades in over 10 ms with
// equal power (both halfway at sqrt(1/2)), and the one left is let go only
// after the fade.
TEST(PlayerCabinet, VoicingLevelAppliesAndANewResponseCrossfades)
{
	for (bool bDrive : {false, true})
	{
		BlockRig rig(48000.0);
		rig.params.Set(kDistortionOnOff, bDrive ? 1.0f : 0.0f);
		CMyConvolution cabinet;
		rig.Attach(cabinet);
		CIrConvolver half({0.5f}, {}), quarter({0.0f, 0.25f}, {0.0f, -0.25f});
		cabinet.UseResponse(&half, true);
		EXPECT_FALSE(cabinet.Switching());
		const float fLevel = static_cast<float>(std::pow(10.0, (bDrive ? -20.0 : -9.0) / 20.0));
		const std::vector<float> ones(2048, 1.0f);
		std::vector<float> o1, o2;
		RunBlock(cabinet, ones, ones, o1, o2, 256);
		EXPECT_NEAR(o1[100], 0.5f * fLevel, 1e-6f);
		EXPECT_EQ(o1, o2);
		EXPECT_FALSE(cabinet.StereoOutput());

		cabinet.UseResponse(&quarter, false);
		EXPECT_TRUE(cabinet.Switching());
		EXPECT_TRUE(cabinet.StereoOutput());
		RunBlock(cabinet, ones, ones, o1, o2, 256);
		// 480 samples of fade: at 240, half way in power.
		EXPECT_NEAR(o1[240], std::sqrt(0.5f) * (0.5f + 0.25f) * fLevel, 0.02f * fLevel);
		EXPECT_NEAR(o2[240], std::sqrt(0.5f) * (0.5f - 0.25f) * fLevel, 0.02f * fLevel);
		EXPECT_NEAR(o1[1000], 0.25f * fLevel, 1e-6f);
		EXPECT_NEAR(o2[1000], -0.25f * fLevel, 1e-6f);
		EXPECT_FALSE(cabinet.Switching());
		EXPECT_TRUE(cabinet.StereoOutput());
	}
}

// The built-in mix heard again starts from what it hears from then on: its
// memory of the sound from before it was left is gone, so silent input after
// the switch back gives exact silence (its taps reach 499 samples back, into
// the noise it heard before).
TEST(PlayerCabinet, BuiltInHeardAgainForgetsWhatItHeardBefore)
{
	BlockRig rig(48000.0);
	rig.params.Set(kDistortionOnOff, 0.0f);
	CMyConvolution cabinet;
	rig.Attach(cabinet);
	CIrConvolver silent({0.0f}, {});
	const std::vector<float> noise = Noise(2048, 8), zeros(600, 0.0f);
	std::vector<float> o1(2048), o2(2048);
	cabinet.Process(noise.data(), noise.data(), o1.data(), o2.data(), 2048);
	cabinet.UseResponse(&silent, false);
	cabinet.Process(zeros.data(), zeros.data(), o1.data(), o2.data(), 490);
	EXPECT_FALSE(cabinet.Switching());
	cabinet.UseResponse(nullptr, false);
	cabinet.Process(zeros.data(), zeros.data(), o1.data(), o2.data(), 600);
	for (int i = 0; i < 600; ++i)
		ASSERT_EQ(o1[static_cast<size_t>(i)], 0.0f) << i;
}

// A 44.1 kHz response at 48 and 96 kHz: the chain with it against the chain
// with a unit impulse convolved with the response as sox's very-high-quality
// resampler makes it (scaled by the ratio of the rates, as this one is).
// Where the two differ is the top of the band: each design has its own
// transition from 0.9 (0.95 for sox) to 1 of the lower Nyquist frequency.
// So the response here keeps its highs out of it (noise decaying over
// 0.1 s through twelve one-pole low-passes: -36 dB at 5 kHz, -110 dB at
// 20 kHz), and the two agree to -106 dB at 48 kHz and -118 dB at 96 kHz;
// with four low-passes (-38 dB near 21 kHz) they differ at -66 and -70 dB,
// all of it in that last tenth of the band.
TEST(PlayerCabinet, AResponseAtAnotherRateMatchesSoxResampling)
{
	if (std::system("command -v sox > /dev/null 2>&1") != 0)
		GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh)";
	brontal::IrSamples ir;
	ir.dSampleRate = 44100.0;
	ir.afLeft = Noise(22050, 31);
	for (size_t i = 0; i < ir.afLeft.size(); ++i)
		ir.afLeft[i] *= static_cast<float>(std::exp(-static_cast<double>(i) / 4410.0));
	for (int iPass = 0; iPass < 12; ++iPass)
	{
		float fState = 0.0f;
		for (float& x : ir.afLeft)
			x = fState += 0.5f * (x - fState);
	}
	const std::string sIn = testing::TempDir() + "brontal-cab-in.f32", sOut = testing::TempDir() + "brontal-cab-out.f32";
	std::ofstream(sIn, std::ios::binary)
	    .write(reinterpret_cast<const char*>(ir.afLeft.data()), static_cast<std::streamsize>(ir.afLeft.size() * 4));
	for (double dRate : {48000.0, 96000.0})
	{
		SCOPED_TRACE(dRate);
		char szCommand[1024];
		std::snprintf(szCommand, sizeof szCommand,
		              "sox -D -t raw -e floating-point -b 32 -c 1 -r 44100 '%s' -t raw -e floating-point -b 32 -r %.0f '%s' rate -v",
		              sIn.c_str(), dRate, sOut.c_str());
		ASSERT_EQ(std::system(szCommand), 0) << szCommand;
		std::ifstream file(sOut, std::ios::binary | std::ios::ate);
		std::vector<float> afSox(static_cast<size_t>(file.tellg()) / 4);
		file.seekg(0);
		file.read(reinterpret_cast<char*>(afSox.data()), static_cast<std::streamsize>(afSox.size() * 4));
		for (float& x : afSox)
			x = static_cast<float>(x * 44100.0 / dRate);

		LinearChain unit(dRate), resampled(dRate);
		unit.Use({1.0f}, {});
		resampled.Use(brontal::PrepareResponse(ir, {false, false}, dRate, 1.0).afLeft, {});
		std::vector<float> x(static_cast<size_t>(0.6 * dRate), 0.0f);
		x[100] = 1e-3f;
		std::vector<float> gl, gr, yl, yr;
		unit.Run(x, gl, gr);
		resampled.Run(x, yl, yr);
		const double dDb = ErrorDb(yl, Convolve(gl, afSox, x.size()));
		std::printf("      44.1 kHz response at %.0f Hz against sox -v: %.1f dB\n", dRate, dDb);
		EXPECT_LT(dDb, -100.0);
	}
	std::remove(sIn.c_str());
	std::remove(sOut.c_str());
}
