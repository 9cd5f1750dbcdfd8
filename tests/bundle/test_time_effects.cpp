// The delay and the reverb seen from a host: repeats on the host tempo's
// eighth and quarter notes, the reverberation time, and the tail that keeps
// running while the host flags its input silent.

#include "bundlefixture.h"
#include "decay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
using Changes = std::vector<std::pair<ParamID, double>>;

constexpr double kRates[] = {44100.0, 48000.0, 96000.0, 192000.0};
constexpr int kBlock = 512;
// Small enough that the saturator stays below its knee: the chain is linear.
constexpr float kImpulse = 0.05f;

// Everything that is not linear, or not under test, switched off.
Changes TimeEffects(double dDelay, double dReverb, double dReverbLevel)
{
	return {{kInputSelection, 1.0}, {kGateCompOnOff, 0.0},  {kDistortionOnOff, 0.0},
	        {kModulationOnOff, 0.0}, {kStereoEnhancerOnOff, 0.0}, {kDelayOnOff, dDelay},
	        {kDelayLevel, 1.0},      {kReverbOnOff, dReverb}, {kReverbLevel, dReverbLevel}};
}

Stereo Impulse(size_t n)
{
	Stereo s(n);
	s.left[0] = s.right[0] = kImpulse;
	return s;
}

Stereo RenderAtTempo(double dRate, double dTempo, const Stereo& in, const Changes& changes)
{
	auto instance = activeInstance(dRate, kBlock);
	instance->block().setTempo(dTempo);
	return render(*instance, in, kBlock, changes);
}

} // namespace

// v delayed by dLag samples, linearly interpolated, silent before the start.
std::vector<double> Shifted(const std::vector<double>& v, double dLag)
{
	std::vector<double> out(v.size());
	for (size_t i = 0; i < v.size(); ++i)
	{
		const double t = static_cast<double>(i) - dLag;
		const double k = std::floor(t), f = t - k;
		const auto At = [&](double j) { return j < 0.0 ? 0.0 : v[static_cast<size_t>(j)]; };
		out[i] = (1.0 - f) * At(k) + f * At(k + 1.0);
	}
	return out;
}

// At 240 BPM an eighth note is an eighth of a second: 5512.5 samples at
// 44.1 kHz, read half and half from its two neighbours. With the same signal
// s on both lines, what the delay adds before the third repeat is, with E
// an eighth note's delay and Q a quarter note's,
//   left:  0.07 E s + 0.35 Q s + 0.0049 E E s
//   right: 0.35 E s + 0.07 Q s + 0.0245 E E s
// where s is the output with the delay off (everything after the delay being
// linear here) and E E s went round line 1 twice.
TEST(TimeEffects, DelayRepeatsOnTheHostTemposEighthAndQuarterNotes)
{
	for (const double dRate : kRates)
	{
		SCOPED_TRACE(dRate);
		const double D = dRate / 8.0;
		const Stereo in = Impulse(static_cast<size_t>(2.5 * D));
		const Stereo dry = RenderAtTempo(dRate, 240.0, in, TimeEffects(0.0, 0.0, 0.0));
		const Stereo wet = RenderAtTempo(dRate, 240.0, in, TimeEffects(1.0, 0.0, 0.0));
		const float fPeak = peak(dry.left);
		// The equaliser's voicing shapes the impulse, but it gets through.
		ASSERT_GT(fPeak, 0.02f * kImpulse);

		for (const auto& [pDry, pWet, dOwn, dCross, dTwice] :
		     {std::tuple{&dry.left, &wet.left, 0.07, 0.35, 0.0049}, std::tuple{&dry.right, &wet.right, 0.35, 0.07, 0.0245}})
		{
			const std::vector<double> s(pDry->begin(), pDry->end());
			const std::vector<double> E = Shifted(s, D), Q = Shifted(s, 2 * D), EE = Shifted(E, D);
			for (size_t i = 0; i < s.size(); ++i)
				ASSERT_NEAR((*pWet)[i] - s[i], dOwn * E[i] + dCross * Q[i] + dTwice * EE[i], 2e-6 * fPeak) << i;
		}
	}
}

// At full level the reverberation falls by 60 dB in 3 s at every rate.
TEST(TimeEffects, ReverbTailLastsThreeSeconds)
{
	for (const double dRate : kRates)
	{
		SCOPED_TRACE(dRate);
		const Stereo in = Impulse(static_cast<size_t>(3.2 * dRate));
		const Stereo out = RenderAtTempo(dRate, 120.0, in, TimeEffects(0.0, 1.0, 1.0));
		EXPECT_NEAR(DecayDbPerSecond(out.left, dRate, 0.2, 3.0), -20.0, 1.0);
		EXPECT_NEAR(DecayDbPerSecond(out.right, dRate, 0.2, 3.0), -20.0, 1.0);
	}
}

// Once the input is flagged silent the processor keeps running the chain
// while delay and reverb ring out, and the output is the same as with real
// zeros in; only once the tail has died does it pass the flags on.
TEST(TimeEffects, TailRingsOutThroughSilenceFlags)
{
	const double dRate = 48000.0;
	auto flagged = activeInstance(dRate, kBlock);
	auto plain = activeInstance(dRate, kBlock);
	for (auto* pInstance : {flagged.get(), plain.get()})
	{
		pInstance->block().setTempo(240.0);
		render(*pInstance, Impulse(kBlock), kBlock, TimeEffects(1.0, 1.0, 1.0));
	}

	Stereo zeros(kBlock), outFlagged(kBlock), outPlain(kBlock);
	float* ins[2] = {zeros.left.data(), zeros.right.data()};
	float* outsFlagged[2] = {outFlagged.left.data(), outFlagged.right.data()};
	float* outsPlain[2] = {outPlain.left.data(), outPlain.right.data()};
	const int iMaxBlocks = static_cast<int>(20.0 * dRate / kBlock);
	int iBlock = 1;
	float fPeakWhileFlagged = 0.0f;
	for (; iBlock < iMaxBlocks; ++iBlock)
	{
		ASSERT_EQ(flagged->process({ins, 2, outsFlagged, 2, kBlock, 3}), kResultOk);
		ASSERT_EQ(plain->process({ins, 2, outsPlain, 2, kBlock, 0}), kResultOk);
		if (flagged->block().outputSilenceFlags() != 0)
			break;
		ASSERT_EQ(outFlagged.left, outPlain.left) << iBlock;
		ASSERT_EQ(outFlagged.right, outPlain.right) << iBlock;
		fPeakWhileFlagged = std::max(fPeakWhileFlagged, peak(outFlagged.left));
	}
	ASSERT_LT(iBlock, iMaxBlocks);
	// The reverb alone needs 3 s to fall by 60 dB.
	EXPECT_GT(iBlock * kBlock, static_cast<int>(3.0 * dRate));
	EXPECT_GT(fPeakWhileFlagged, 1e-3f * kImpulse);
	// What the flags cut off was inaudible.
	float fRest = 0.0f;
	for (int i = 0; i < static_cast<int>(dRate) / kBlock; ++i)
	{
		ASSERT_EQ(plain->process({ins, 2, outsPlain, 2, kBlock, 0}), kResultOk);
		fRest = std::max({fRest, peak(outPlain.left), peak(outPlain.right)});
	}
	EXPECT_LT(fRest, 1e-5f);
}

// The delay takes the host's tempo only when the context marks it valid and
// it is a positive finite number; otherwise the last good tempo stays (120
// before any).
TEST(TimeEffects, TempoIsTakenOnlyWhenValidAndPositive)
{
	const double dRate = 48000.0;
	const Stereo in = Impulse(static_cast<size_t>(0.6 * dRate));
	const Changes delayOnly = TimeEffects(1.0, 0.0, 0.0);
	const auto slice = [&](size_t from, size_t to) {
		Stereo part(to - from);
		std::copy(in.left.begin() + from, in.left.begin() + to, part.left.begin());
		std::copy(in.right.begin() + from, in.right.begin() + to, part.right.begin());
		return part;
	};
	using Context = std::function<void(host::ProcessBlock&)>;
	// The first block with the first context, the rest with the second,
	// from a fresh activation.
	const auto renderWith = [&](host::PluginInstance& instance, const Context& first, const Context& rest) {
		host::ProcessSetup setup;
		setup.sampleRate = dRate;
		setup.maxBlockSize = kBlock;
		instance.activate(setup);
		instance.block().setContextEnabled(true);
		first(instance.block());
		std::vector<float> out = render(instance, slice(0, kBlock), kBlock, delayOnly).left;
		rest(instance.block());
		const std::vector<float> tail = render(instance, slice(kBlock, in.size()), kBlock).left;
		out.insert(out.end(), tail.begin(), tail.end());
		return out;
	};
	const Context none = [](host::ProcessBlock&) {};
	const Context valid240 = [](host::ProcessBlock& b) { b.setTempo(240.0); };
	const Context unmarked240 = [](host::ProcessBlock& b) {
		b.setTempo(240.0);
		b.setTempo(std::nullopt);
	};
	const Context noContext = [](host::ProcessBlock& b) { b.setContextEnabled(false); };
	const auto tempo = [](double dTempo) { return Context([dTempo](host::ProcessBlock& b) { b.setTempo(dTempo); }); };

	// An instance that has never had a good tempo plays at 120.
	const std::vector<float> at120 =
	    renderWith(*activeInstance(dRate, kBlock), tempo(120.0), tempo(120.0));
	for (const Context& never : {unmarked240, noContext, tempo(std::nan(""))})
		EXPECT_EQ(renderWith(*activeInstance(dRate, kBlock), never, never), at120);

	// After a good 240 nothing else counts.
	auto instance = activeInstance(dRate, kBlock);
	const std::vector<float> at240 = renderWith(*instance, valid240, valid240);
	ASSERT_NE(at240, at120);
	EXPECT_EQ(renderWith(*instance, valid240, none), at240);
	EXPECT_EQ(renderWith(*instance, valid240, unmarked240), at240);
	EXPECT_EQ(renderWith(*instance, valid240, noContext), at240);
	for (const double dBad : {std::nan(""), 0.0, -120.0, HUGE_VAL})
		EXPECT_EQ(renderWith(*instance, valid240, tempo(dBad)), at240) << dBad;
}
