// The gate/compressor, the equalisers and the output saturator seen from a
// host: audio and the meter and LED parameters through the built bundle.

#include "bundlefixture.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
constexpr double kRate = 48000.0;
constexpr int kBlock = 480;
// 93 samples a period tile the compressor's 1023-sample window, so its level holds still.
constexpr double kTileFreq = kRate / 93.0;

using Changes = std::vector<std::pair<ParamID, double>>;

// With these off, everything between input and saturator but the compressor is linear.
Changes LinearChain(double dCompressor, double dLevel)
{
	return {{kDistortionOnOff, 0.0}, {kModulationOnOff, 0.0}, {kDelayOnOff, 0.0}, {kReverbOnOff, 0.0},
	        {kStereoEnhancerOnOff, 0.0}, {kGateCompOnOff, dCompressor}, {kCompressorLevel, dLevel}};
}

// The indicators as an editor would hold them: the last value reported.
struct Indicators
{
	std::vector<double> left, right;
	double dCompressionLed = 0.0, dClipLed = 0.0;
};

Stereo RenderWatching(host::PluginInstance& instance, const Stereo& input, const Changes& changes, Indicators& seen)
{
	Stereo output(input.size());
	double dLeft = 0.0, dRight = 0.0;
	for (const auto& [id, value] : changes)
		instance.block().inputChanges().add(id, value);
	for (size_t done = 0; done < input.size(); done += kBlock)
	{
		const auto n = static_cast<int32>(std::min(input.size() - done, static_cast<size_t>(kBlock)));
		float* in[2] = {const_cast<float*>(&input.left[done]), const_cast<float*>(&input.right[done])};
		float* out[2] = {&output.left[done], &output.right[done]};
		EXPECT_EQ(instance.process({in, 2, out, 2, n, 0}), kResultOk);
		host::ParameterChanges& reported = instance.block().outputChanges();
		dLeft = reported.lastValue(kOutputLeftVumeter).value_or(dLeft);
		dRight = reported.lastValue(kOutputRightVumeter).value_or(dRight);
		seen.dCompressionLed = reported.lastValue(kCompressionLed).value_or(seen.dCompressionLed);
		seen.dClipLed = std::max(seen.dClipLed, reported.lastValue(kOutputClippingLed).value_or(0.0));
		seen.left.push_back(dLeft);
		seen.right.push_back(dRight);
	}
	return output;
}

// A sine whose compressor level, once the window is full, is dLevelDb:
// L = 20 log10((2/pi) A 1023/1024) + 3.8.
Stereo SineAtLevel(double dLevelDb, size_t n)
{
	const double dAmplitude = std::pow(10.0, (dLevelDb - 3.8) / 20.0) * (M_PI / 2.0) * 1024.0 / 1023.0;
	return sine(n, kTileFreq, kRate, static_cast<float>(dAmplitude));
}

// A steady block peak reads on the meter every other block: an equal peak
// is no rise, so the meter falls for one block and then rises again.
double SteadyMeter(const std::vector<double>& meter)
{
	return std::max(meter[meter.size() - 1], meter[meter.size() - 2]);
}

struct DynamicsCase
{
	double dLevel;   // kCompressorLevel
	double dInputDb; // compressor level of the input
	double dGainDb;  // its gain, worked from the thresholds and make-up
	double dLed;
	bool bMetered;   // loud enough uncompressed to clear the meters' -45 dBFS floor
};
} // namespace

TEST(DynamicsEq, CompressorGainShowsAtTheOutputMeters)
{
	const DynamicsCase aCases[] = {
		{0.0, -10.0, 11.45 - 0.532 * 10, 1.0, true}, // compressed above -20
		{1.0, -10.0, 24.45 - 0.532 * 40, 1.0, true}, // compressed above -50
		{0.5, -5.0, 17.95 - 0.532 * 30, 1.0, true},  // compressed above -35
		{0.0, -24.0, 11.45, 0.0, false},             // between the thresholds: make-up only
		{0.0, -40.0, 11.45 - 12.16, 0.0, false},     // gated: 1 dB less per dB below -27.84
		{0.8, -60.0, 21.85 - 16.0, 0.0, false},      // gated below -44
	};
	const size_t n = 96000;
	for (const DynamicsCase& c : aCases)
	{
		SCOPED_TRACE(c.dInputDb);
		const Stereo in = SineAtLevel(c.dInputDb, n);
		Indicators off, on;
		auto bypassed = activeInstance(kRate, kBlock);
		auto active = activeInstance(kRate, kBlock);
		const Stereo outOff = RenderWatching(*bypassed, in, LinearChain(0.0, c.dLevel), off);
		const Stereo outOn = RenderWatching(*active, in, LinearChain(1.0, c.dLevel), on);

		// Below the saturator's knee the chain after the compressor is linear.
		ASSERT_LT(peak(outOn.left, n / 2), 0.5f);
		EXPECT_NEAR(20.0 * std::log10(ToneAmplitude(outOn.left, n / 2, n / 2, kTileFreq, kRate) /
		                              ToneAmplitude(outOff.left, n / 2, n / 2, kTileFreq, kRate)),
		            c.dGainDb, 0.01);
		// The meters show peak level on a 45 dB scale, so their distance is the gain over 45.
		if (c.bMetered)
		{
			ASSERT_GT(SteadyMeter(off.left), 0.0);
			EXPECT_NEAR((SteadyMeter(on.left) - SteadyMeter(off.left)) * 45.0, c.dGainDb, 0.01);
			EXPECT_NEAR((SteadyMeter(on.right) - SteadyMeter(off.right)) * 45.0, c.dGainDb, 0.01);
		}
		EXPECT_EQ(on.dCompressionLed, c.dLed);
		EXPECT_EQ(off.dCompressionLed, 0.0);
	}
}

TEST(DynamicsEq, BothOutputChannelsBendAlikeAboveTheKnee)
{
	// Find the chain's gain, then drive the saturator input from the knee
	// (0.5) to where the curve meets full scale (1.34).
	const size_t n = 48000;
	auto probe = activeInstance(kRate, kBlock);
	Indicators seen;
	const Stereo quiet = sine(n, 1000.0, kRate, 0.001f);
	const Stereo probed = RenderWatching(*probe, quiet, LinearChain(0.0, 0.0), seen);
	const double dChainGain = ToneAmplitude(probed.left, n / 2, n / 2, 1000.0, kRate) / 6.0 / 0.001;
	ASSERT_GT(dChainGain, 0.0);

	for (double dDriven : {0.6, 0.75, 1.2})
	{
		SCOPED_TRACE(dDriven);
		auto instance = activeInstance(kRate, kBlock);
		const Stereo in = sine(n, 1000.0, kRate, static_cast<float>(dDriven / 6.0 / dChainGain));
		Indicators driven;
		const Stereo out = RenderWatching(*instance, in, LinearChain(0.0, 0.0), driven);
		EXPECT_EQ(out.left, out.right);
		EXPECT_EQ(driven.left, driven.right);
		// (a - 0.5)^4 + 0.5 at the crest.
		const double dCrest = std::pow(dDriven - 0.5, 4.0) + 0.5;
		EXPECT_NEAR(peak(out.left, n / 2), dCrest, 0.01);
		EXPECT_NEAR(SteadyMeter(driven.left), (20.0 * std::log10(dCrest) + 45.0) / 45.0, 0.005);
	}
}

TEST(DynamicsEq, ChainStaysBoundedWhenABandIsAboveNyquist)
{
	// At 11025 Hz the equalisers' 6400 Hz band is above Nyquist; an
	// unstable section would pin the output to full scale.
	auto instance = activeInstance(11025.0, kBlock);
	Stereo in(11025 * 4);
	unsigned uState = 3;
	for (size_t i = 0; i < in.size(); ++i)
		in.left[i] = in.right[i] = 0.01f * (static_cast<float>((uState = uState * 1664525u + 1013904223u) >> 8) / 8388608.0f - 1.0f);
	Indicators seen;
	const Stereo out = RenderWatching(*instance, in, LinearChain(0.0, 0.0), seen);
	for (float f : out.left)
		ASSERT_TRUE(std::isfinite(f));
	EXPECT_LT(peak(out.left, in.size() / 2), 0.5f);
	EXPECT_EQ(seen.dClipLed, 0.0);
}
