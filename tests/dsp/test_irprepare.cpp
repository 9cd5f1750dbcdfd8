#include "IrPrepare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using brontal::IrSamples;
using brontal::ResampleResponse;

namespace {

struct Tone
{
	double dFrequency, dAmplitude, dPhase;
};

std::vector<float> Tones(const std::vector<Tone>& tones, double dRate, size_t n, double dScale = 1.0)
{
	std::vector<float> af(n);
	for (size_t i = 0; i < n; ++i)
	{
		double d = 0.0;
		for (const Tone& t : tones)
			d += t.dAmplitude * std::sin(2.0 * M_PI * t.dFrequency * static_cast<double>(i) / dRate + t.dPhase);
		af[i] = static_cast<float>(dScale * d);
	}
	return af;
}

// Tones spread over the passband of the lower rate, at random phases.
std::vector<Tone> PassbandTones(double dLowerRate, unsigned uSeed)
{
	std::mt19937 rng(uSeed);
	std::uniform_real_distribution<double> phase(0.0, 2.0 * M_PI);
	std::vector<Tone> tones;
	for (double dShare : {0.01, 0.1, 0.3, 0.5, 0.7, 0.85, 0.9})
		tones.push_back({dShare * 0.5 * dLowerRate, 0.1, phase(rng)});
	return tones;
}

// The largest difference between a and b from iFrom to iTo, over the largest of b there, in dB.
double ErrorDb(const std::vector<float>& a, const std::vector<float>& b, size_t iFrom, size_t iTo)
{
	double dErr = 0.0, dPeak = 0.0;
	for (size_t i = iFrom; i < iTo; ++i)
	{
		dErr = std::max(dErr, std::fabs(static_cast<double>(a[i]) - b[i]));
		dPeak = std::max(dPeak, std::fabs(static_cast<double>(b[i])));
	}
	return 20.0 * std::log10(dErr / dPeak);
}

constexpr double kRatePairs[][2] = {{44100, 48000}, {44100, 96000}, {48000, 44100}, {96000, 44100}, {8000, 192000}, {384000, 48000}};

} // namespace

// Tones up to 0.9 of the lower Nyquist frequency come out as the same tones
// sampled at the new rate, times the ratio of the rates, to within -110 dB
// (the design's ripple is 1e-7, the table's reading error below 1e-7, the
// output's float rounding 6e-8): level and tone are the same at every rate.
TEST(IrResample, PassbandTonesArriveExactlyScaledByTheRatio)
{
	for (const auto& pair : kRatePairs)
	{
		const double dFrom = pair[0], dTo = pair[1];
		SCOPED_TRACE(std::to_string(dFrom) + " -> " + std::to_string(dTo));
		const std::vector<Tone> tones = PassbandTones(std::min(dFrom, dTo), static_cast<unsigned>(dFrom + dTo));
		const size_t nIn = static_cast<size_t>(0.1 * dFrom);
		const std::vector<float> afOut = ResampleResponse(Tones(tones, dFrom, nIn), dFrom, dTo);
		ASSERT_EQ(afOut.size(), static_cast<size_t>(std::ceil(nIn * dTo / dFrom)));
		const std::vector<float> afExpected = Tones(tones, dTo, afOut.size(), dFrom / dTo);
		// Away from the ends, where the kernel reaches past the input.
		const size_t iEdge = static_cast<size_t>(std::ceil(93.0 * std::max(1.0, dTo / dFrom)));
		const double dDb = ErrorDb(afOut, afExpected, iEdge, afOut.size() - iEdge);
		std::printf("      passband %.0f -> %.0f: %.1f dB\n", dFrom, dTo, dDb);
		EXPECT_LT(dDb, -110.0);
	}
	const std::vector<float> af = {0.5f, -0.25f, 1e-30f};
	EXPECT_EQ(ResampleResponse(af, 48000, 48000), af);
}

// Tones from the lower Nyquist frequency up, going down in rate, leave less
// than -135 dB of alias behind (the Kaiser design's 140 dB, less what the
// table's reading adds); half-way through the transition band, -6 dB.
TEST(IrResample, RejectsAliases)
{
	for (const auto& pair : {std::pair<double, double>{96000, 44100}, {48000, 44100}, {384000, 48000}})
	{
		const double dFrom = pair.first, dTo = pair.second;
		SCOPED_TRACE(std::to_string(dFrom) + " -> " + std::to_string(dTo));
		const size_t nIn = static_cast<size_t>(0.02 * dFrom);
		// The kernel reaches 92 samples of the lower rate each way.
		const size_t iEdge = 93;
		double dWorst = -400.0;
		for (double dShare = 1.0; dShare < 0.99 * dFrom / dTo; dShare += 0.061)
		{
			const std::vector<float> afOut = ResampleResponse(Tones({{dShare * 0.5 * dTo, 1.0, 0.3}}, dFrom, nIn), dFrom, dTo);
			double dPeak = 0.0;
			for (size_t i = iEdge; i + iEdge < afOut.size(); ++i)
				dPeak = std::max(dPeak, std::fabs(static_cast<double>(afOut[i])));
			dWorst = std::max(dWorst, 20.0 * std::log10(dPeak + 1e-30));
		}
		// Relative to the tone's level at the new rate, dFrom / dTo times its own.
		const double dRatioDb = 20.0 * std::log10(dFrom / dTo);
		std::printf("      aliases %.0f -> %.0f: %.1f dB\n", dFrom, dTo, dWorst - dRatioDb);
		EXPECT_LT(dWorst - dRatioDb, -135.0);
		const std::vector<float> afHalf = ResampleResponse(Tones({{0.95 * 0.5 * dTo, 1.0, 0.0}}, dFrom, nIn), dFrom, dTo);
		double dPeak = 0.0;
		for (size_t i = afHalf.size() / 4; i < 3 * afHalf.size() / 4; ++i)
			dPeak = std::max(dPeak, std::fabs(static_cast<double>(afHalf[i])));
		EXPECT_NEAR(20.0 * std::log10(dPeak) - dRatioDb, -6.02, 0.1);
	}
}

// Against sox's very-high-quality linear-phase resampler (which does not
// scale by the ratio): tones up to 0.7 of the lower Nyquist frequency (15 kHz
// at 44.1 kHz, past any cabinet's band) come out the same to within -100 dB.
// Above that sox rolls off on its own (-0.001 dB at 0.85, -0.003 dB at 0.9,
// against the exact tones), where this resampler is still flat.
TEST(IrResample, MatchesSoxVeryHighQuality)
{
	if (std::system("command -v sox > /dev/null 2>&1") != 0)
		GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh)";
	for (const auto& pair : {std::pair<double, double>{44100, 48000}, {44100, 96000}, {96000, 44100}})
	{
		const double dFrom = pair.first, dTo = pair.second;
		SCOPED_TRACE(std::to_string(dFrom) + " -> " + std::to_string(dTo));
		std::vector<Tone> tones = PassbandTones(std::min(dFrom, dTo), 7);
		tones.resize(5);
		const std::vector<float> afIn = Tones(tones, dFrom, static_cast<size_t>(0.2 * dFrom));
		const std::string sIn = testing::TempDir() + "brontal-sox-in.f32", sOut = testing::TempDir() + "brontal-sox-out.f32";
		std::ofstream(sIn, std::ios::binary).write(reinterpret_cast<const char*>(afIn.data()), static_cast<std::streamsize>(afIn.size() * 4));
		char szCommand[1024];
		std::snprintf(szCommand, sizeof szCommand,
		              "sox -D -t raw -e floating-point -b 32 -c 1 -r %.0f '%s' -t raw -e floating-point -b 32 -r %.0f '%s' rate -v",
		              dFrom, sIn.c_str(), dTo, sOut.c_str());
		ASSERT_EQ(std::system(szCommand), 0) << szCommand;
		std::ifstream file(sOut, std::ios::binary | std::ios::ate);
		std::vector<float> afSox(static_cast<size_t>(file.tellg()) / 4);
		file.seekg(0);
		file.read(reinterpret_cast<char*>(afSox.data()), static_cast<std::streamsize>(afSox.size() * 4));
		std::remove(sIn.c_str());
		std::remove(sOut.c_str());

		std::vector<float> afOurs = ResampleResponse(afIn, dFrom, dTo);
		for (float& x : afOurs)
			x = static_cast<float>(x * dTo / dFrom);
		const size_t n = std::min(afOurs.size(), afSox.size());
		ASSERT_GT(n, afOurs.size() - 4);
		const double dDb = ErrorDb(afOurs, afSox, n / 5, 4 * n / 5);
		std::printf("      against sox -v %.0f -> %.0f: %.1f dB\n", dFrom, dTo, dDb);
		EXPECT_LT(dDb, -100.0);
	}
}

// Leading silence: frames below -60 dB of the peak (both channels alike)
// go; from the first within it on, everything stays.
TEST(IrPrepare, TrimsLeadingSilenceOnly)
{
	IrSamples ir;
	ir.dSampleRate = 48000;
	ir.afLeft.assign(300, 0.0f);
	ir.afRight.assign(300, 0.0f);
	ir.afLeft[10] = 0.0009f;  // -61 dB of the peak
	ir.afRight[120] = 0.0011f; // -59 dB: the first kept
	ir.afLeft[200] = -1.0f;
	ir.afLeft[250] = 0.5f;
	EXPECT_EQ(brontal::LeadingSilence(ir), 120);

	const brontal::IrTaps trimmed = brontal::PrepareResponse(ir, {false, true}, 48000, 1.0);
	ASSERT_EQ(trimmed.afLeft.size(), 180u);
	ASSERT_EQ(trimmed.afRight.size(), 180u);
	EXPECT_EQ(trimmed.afRight[0], 0.0011f);
	EXPECT_EQ(trimmed.afLeft[80], -1.0f);
	const brontal::IrTaps kept = brontal::PrepareResponse(ir, {false, false}, 48000, 1.0);
	EXPECT_EQ(kept.afLeft, ir.afLeft);
	EXPECT_EQ(kept.afRight, ir.afRight);
}

// Normalised, a response has the target energy at whatever rate it ends up
// at; the energy of a band-limited response is the same at every rate.
TEST(IrPrepare, NormalisesToTheTargetEnergyAtEveryRate)
{
	IrSamples ir;
	ir.dSampleRate = 44100;
	ir.afLeft = Tones({{300, 0.4, 0.1}, {2500, 0.2, 1.0}, {7000, 0.1, 2.0}}, 44100, 4410);
	for (size_t i = 0; i < ir.afLeft.size(); ++i)
		ir.afLeft[i] = static_cast<float>(ir.afLeft[i] * std::exp(-static_cast<double>(i) / 400.0) *
		                                  std::min(1.0, static_cast<double>(i) / 200.0));
	const double dOwn = brontal::ResponseEnergy(ir);
	for (double dHost : {44100.0, 48000.0, 96000.0})
	{
		SCOPED_TRACE(dHost);
		for (bool bNormalise : {false, true})
		{
			const brontal::IrTaps taps = brontal::PrepareResponse(ir, {bNormalise, false}, dHost, 3.0);
			IrSamples atHost;
			atHost.dSampleRate = dHost;
			atHost.afLeft = taps.afLeft;
			EXPECT_TRUE(taps.afRight.empty());
			EXPECT_NEAR(10.0 * std::log10(brontal::ResponseEnergy(atHost) / (bNormalise ? 3.0 : dOwn)), 0.0, 0.01);
		}
	}
	IrSamples stereo = ir;
	stereo.afRight = ir.afLeft;
	for (float& x : stereo.afRight)
		x *= 2.0f;
	EXPECT_NEAR(brontal::ResponseEnergy(stereo), 2.5 * dOwn, 1e-9 * dOwn);
}
