// Changes without clicks, through the bundle: every switch and the bypass
// crossfade without a step beyond the sound's own or a dip in level, the
// levels glide through the host's points at their offsets, and values that
// nobody is meant to hear arrive (the first block, a loaded state, a change
// while silent) apply at once.

#include "bundlefixture.h"
#include "clicks/clickmeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>

namespace bundletest {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace clicks = brontal::clicks;

// RMS in dB over [iFrom, iTo) of one channel.
double LevelDb(const std::vector<float>& v, size_t iFrom, size_t iTo)
{
	double dSum = 0.0;
	for (size_t i = iFrom; i < iTo; ++i)
		dSum += static_cast<double>(v[i]) * v[i];
	return 10.0 * std::log10(dSum / static_cast<double>(iTo - iFrom) + 1e-30);
}

// Runs blocks of in through instance from iFrom, block by block.
void RunBlocks(host::PluginInstance& instance, const Stereo& in, Stereo& out, size_t iFrom, size_t iTo, int iBlock,
         uint64 uSilence = 0)
{
	for (size_t i = iFrom; i < iTo; i += static_cast<size_t>(iBlock))
	{
		const auto n = static_cast<int32>(std::min(iTo - i, static_cast<size_t>(iBlock)));
		float* ins[2] = {const_cast<float*>(&in.left[i]), const_cast<float*>(&in.right[i])};
		float* outs[2] = {&out.left[i], &out.right[i]};
		ASSERT_EQ(instance.process({ins, 2, outs, 2, n, uSilence}), kResultOk);
	}
}

// A drive that is heard: distortion on; the compressor and the echoes off,
// so that the level follows the drive alone (on a quiet sine, from nearly
// clean at 0 to clipped at 1).
const std::vector<std::pair<ParamID, double>> kDriveOnly = {{kDistortionOnOff, 1.0}, {kGateCompOnOff, 0.0},
                                                            {kDelayOnOff, 0.0},      {kReverbOnOff, 0.0},
                                                            {kModulationOnOff, 0.0}};
constexpr float kQuiet = 0.02f;

} // namespace

// On a steady sine each switch, the input selector, the enhancer and the
// host's bypass change over without a sample-to-sample step beyond the
// steady sound's own, before or after, and without a dip in level. Paths
// that carry the same signal fade at equal gain: no more than the sound's
// own step. Unrelated paths fade at equal power, whose gains sum to up to
// 1.41 where the two happen to line up (the sines here do for the
// enhancer, whose 0.1 s holds whole periods of both): no more than that.
TEST(ClickFree, EverySwitchAndTheBypassCrossfade)
{
	struct Toggle
	{
		ParamID id;
		const char* szName;
		bool bEqualPower;
	};
	const Toggle aToggles[] = {
		{kBypass, "bypass", true},           {kGateCompOnOff, "gate/comp", false}, {kDistortionOnOff, "drive", true},
		{kModulationOnOff, "chorus", false}, {kDelayOnOff, "delay", false},        {kReverbOnOff, "reverb", false},
		{kInputSelection, "input", true},    {kStereoEnhancerOnOff, "stereo", true},
	};
	for (const Toggle& t : aToggles)
		for (const double dFrom : {0.0, 1.0})
		{
			const clicks::Figures f = clicks::Measure(clicks::RunChange(bundle(), t.id, dFrom, 1.0 - dFrom));
			const std::string name = std::string(t.szName) + (dFrom == 0.0 ? " 0 -> 1" : " 1 -> 0");
			EXPECT_LE(f.dRatio, t.bEqualPower ? 1.45 : 1.1)
			    << name << ": step " << f.fStep << " at " << f.iWhere << ", steady " << f.fSteadyStep;
			// A fade that went through silence, or out and in again, would
			// dip by 6 dB or more over these 10 ms windows.
			EXPECT_GT(f.dDipDb, -4.0) << name;
		}
}

// The host's bypass fades from the chain's sound to the dry input on a
// quarter circle: at each sample of the 10 ms the output is cos of the
// fade's angle times what the chain alone gives plus sin of it times the
// input, the chain being a driven sound unrelated to the dry one. The fade
// starts with the block that carries the change.
TEST(ClickFree, TheBypassFadesOutTheChainAtEqualPower)
{
	const Stereo in = sine(16 * 1024, 220.0, 48000.0, 0.2f);
	auto changes = kDriveOnly;
	changes.push_back({kDistortionLevel, 1.0});
	const auto play = [&](bool bBypassAt) {
		auto instance = activeInstance(48000.0, 1024);
		Stereo out(in.size());
		for (const auto& [id, value] : changes)
			instance->block().inputChanges().add(id, value);
		RunBlocks(*instance, in, out, 0, 8 * 1024, 1024);
		if (bBypassAt)
			instance->block().inputChanges().add(kBypass, 1.0, 300);
		RunBlocks(*instance, in, out, 8 * 1024, in.size(), 1024);
		return out;
	};
	const Stereo chain = play(false), bypassed = play(true);
	constexpr size_t kFrom = 8 * 1024;
	for (size_t k = 0; k < in.size(); ++k)
	{
		const double r = std::clamp((static_cast<double>(k) - kFrom + 1.0) / 480.0, 0.0, 1.0);
		for (const auto& [pOut, pChain, pIn] : {std::tuple{&bypassed.left, &chain.left, &in.left},
		                                        {&bypassed.right, &chain.right, &in.right}})
			ASSERT_NEAR((*pOut)[k], std::cos(M_PI / 2 * r) * (*pChain)[k] + std::sin(M_PI / 2 * r) * (*pIn)[k], 2e-6)
			    << static_cast<long>(k - kFrom) << " samples after the block with the change";
	}
}

// The distortion switch fades from the clean stages to the driven ones,
// voiced afresh, on a quarter circle too: with silence before the change
// (so that neither set holds anything yet) each sample is cos of the fade's
// angle times what the clean chain gives plus sin of it times what the
// driven chain gives, each heard on its own from the same moment.
TEST(ClickFree, TheDistortionSwitchFadesToTheDrivenSoundAtEqualPower)
{
	constexpr size_t kFrom = 8 * 1024;
	Stereo in(16 * 1024);
	const Stereo tone = sine(in.size() - kFrom, 220.0, 48000.0, kQuiet);
	std::copy(tone.left.begin(), tone.left.end(), in.left.begin() + kFrom);
	std::copy(tone.right.begin(), tone.right.end(), in.right.begin() + kFrom);
	const auto play = [&](double dBefore, double dAfter) {
		auto instance = activeInstance(48000.0, 1024);
		Stereo out(in.size());
		for (const auto& [id, value] : kDriveOnly)
			instance->block().inputChanges().add(id, value);
		instance->block().inputChanges().add(kDistortionOnOff, dBefore);
		RunBlocks(*instance, in, out, 0, kFrom, 1024);
		instance->block().inputChanges().add(kDistortionOnOff, dAfter);
		RunBlocks(*instance, in, out, kFrom, in.size(), 1024);
		return out;
	};
	const Stereo clean = play(0.0, 0.0), driven = play(1.0, 1.0), switched = play(0.0, 1.0);
	ASSERT_LT(std::max(peak(clean.left), peak(driven.left)), 0.08f) << "the output stage must stay linear";
	for (size_t k = kFrom; k < in.size(); ++k)
	{
		const double r = std::min(1.0, (static_cast<double>(k - kFrom) + 1.0) / 480.0);
		ASSERT_NEAR(switched.left[k], std::cos(M_PI / 2 * r) * clean.left[k] + std::sin(M_PI / 2 * r) * driven.left[k],
		            1e-6)
		    << k - kFrom << " samples after the change";
	}
}

// A switch turned back while it fades turns round from where it stands.
TEST(ClickFree, ASwitchTurnedBackMidFadeTurnsRound)
{
	auto instance = activeInstance(48000.0, 256);
	const clicks::Take in = [] {
		clicks::Take t{std::vector<float>(clicks::kLength), std::vector<float>(clicks::kLength)};
		for (int i = 0; i < clicks::kLength; ++i)
			t.left[i] = t.right[i] = static_cast<float>(0.25 * std::sin(2.0 * M_PI * 220.0 * i / 48000.0) *
			                                            std::min(1.0, i / 9600.0));
		return t;
	}();
	Stereo s(clicks::kLength), out(clicks::kLength);
	s.left = in.left;
	s.right = in.right;
	instance->block().inputChanges().add(kDistortionOnOff, 0.0);
	RunBlocks(*instance, s, out, 0, 96 * 256, 256);
	instance->block().inputChanges().add(kBypass, 1.0);
	RunBlocks(*instance, s, out, 96 * 256, 97 * 256, 256);
	instance->block().inputChanges().add(kBypass, 0.0);
	RunBlocks(*instance, s, out, 97 * 256, clicks::kLength, 256);
	const float fSteady = clicks::LargestStep(in.left, 90 * 256, 96 * 256);
	EXPECT_LE(clicks::LargestStep(out.left, 95 * 256, 110 * 256), 1.45f * std::max(fSteady, clicks::LargestStep(
	                                                                                              out.left, 90 * 256,
	                                                                                              96 * 256)));
}

// Every level glides, at every rate and in host blocks shorter and longer
// than the chain's: a jump from 0 to 1 on the steady sines steps no further
// than the sound's own steps (measured 0.95 to 1.11 of them). Taken at
// once instead, the new level steps several times as far (the delay 5.7,
// the reverb 2.4 times at 48 kHz).
TEST(ClickFree, EveryLevelGlidesWithoutAStepAtEveryRateAndBlock)
{
	for (const ParamID id : {kCompressorLevel, kDistortionLevel, kChorusSpeed, kDelayLevel, kReverbLevel})
		for (const double dRate : {44100.0, 48000.0, 96000.0, 192000.0})
			for (const int iBlock : {37, 256, 4096})
			{
				const clicks::Figures f = clicks::Measure(clicks::RunChange(bundle(), id, 0.0, 1.0, {}, dRate, iBlock));
				EXPECT_LE(f.dRatio, 1.3) << "parameter " << id << " at " << dRate << " Hz in blocks of " << iBlock
				                         << ": step " << f.fStep << " at " << f.iWhere << ", steady " << f.fSteadyStep;
			}
}

// A drive automated from 0 to 1 in one block rises over about 20 ms, in
// step with the glide, not at once; and smoothly, sample by sample: where
// the sound stays clean (0 to 0.5 on a quiet 55 Hz sine, whose own steps
// are small) no step on the way is larger than the louder sine's own.
TEST(ClickFree, DriveAutomationRisesOverTheGlideTime)
{
	constexpr size_t kAt = 40 * 512;
	const Stereo in = sine(48000, 220.0, 48000.0, kQuiet);
	const auto automate = [](const Stereo& source, double dTo) {
		auto instance = activeInstance(48000.0, 512);
		Stereo out(source.size());
		auto changes = kDriveOnly;
		changes.push_back({kDistortionLevel, 0.0});
		for (const auto& [id, value] : changes)
			instance->block().inputChanges().add(id, value);
		RunBlocks(*instance, source, out, 0, kAt, 512);
		instance->block().inputChanges().add(kDistortionLevel, dTo);
		RunBlocks(*instance, source, out, kAt, source.size(), 512);
		return out;
	};

	const Stereo out = automate(in, 1.0);
	const double dBefore = LevelDb(out.left, kAt - 4800, kAt);
	const double dAfter = LevelDb(out.left, in.size() - 4800, in.size());
	ASSERT_GT(dAfter - dBefore, 10.0) << "the drive must be heard";
	// 5 ms windows: a quarter of the glide, half, three quarters, then done.
	const double dQuarter = LevelDb(out.left, kAt, kAt + 240);
	const double dHalf = LevelDb(out.left, kAt + 360, kAt + 600);
	const double dLate = LevelDb(out.left, kAt + 720, kAt + 960);
	const double dDone = LevelDb(out.left, kAt + 1200, kAt + 1440);
	EXPECT_LT(dQuarter, dAfter - 3.0);
	EXPECT_GT(dHalf, dQuarter + 1.0);
	EXPECT_GT(dLate, dHalf);
	EXPECT_LT(dHalf, dAfter - 0.5);
	EXPECT_NEAR(dDone, dAfter, 1.0);

	const Stereo clean = automate(sine(48000, 55.0, 48000.0, kQuiet), 0.5);
	ASSERT_GT(LevelDb(clean.left, in.size() - 4800, in.size()) - LevelDb(clean.left, kAt - 4800, kAt), 5.0);
	EXPECT_LE(clicks::LargestStep(clean.left, kAt - 512, kAt + 1440),
	          1.2f * clicks::LargestStep(clean.left, in.size() - 4800, in.size()));
}

// Points in one block each start their glide at their own offset: up to a
// point's offset the output is what it would be without the point, and
// later points count too (not only the last one), for every level.
TEST(ClickFree, AutomationPointsTakeEffectAtTheirOffsets)
{
	const Stereo in = sine(24 * 1024, 220.0, 48000.0, kQuiet);
	auto changes = kDriveOnly;
	changes.push_back({kDistortionLevel, 0.2});
	auto plain = activeInstance(48000.0, 1024);
	auto automated = activeInstance(48000.0, 1024);
	Stereo outPlain(in.size()), outAutomated(in.size());
	for (auto* p : {plain.get(), automated.get()})
		for (const auto& [id, value] : changes)
			p->block().inputChanges().add(id, value);
	RunBlocks(*plain, in, outPlain, 0, in.size(), 1024);

	// Up to 1.0 at 200 and back to 0.2 at 700 of block 12; then up again
	// at 300 of block 14, where the last point of that block is 1.0.
	RunBlocks(*automated, in, outAutomated, 0, 12 * 1024, 1024);
	automated->block().inputChanges().add(kDistortionLevel, 1.0, 200);
	automated->block().inputChanges().add(kDistortionLevel, 0.2, 700);
	RunBlocks(*automated, in, outAutomated, 12 * 1024, 14 * 1024, 1024);
	automated->block().inputChanges().add(kDistortionLevel, 1.0, 300);
	RunBlocks(*automated, in, outAutomated, 14 * 1024, in.size(), 1024);

	constexpr size_t kFirst = 12 * 1024;
	for (size_t i = 0; i < kFirst + 200; ++i)
		ASSERT_EQ(outAutomated.left[i], outPlain.left[i]) << i;
	EXPECT_NE(outAutomated.left[kFirst + 210], outPlain.left[kFirst + 210]);
	// Between the two points the level rises towards full drive.
	EXPECT_GT(LevelDb(outAutomated.left, kFirst + 460, kFirst + 700),
	          LevelDb(outPlain.left, kFirst + 460, kFirst + 700) + 3.0);
	// The third point waits for its offset, then the drive rises for good.
	constexpr size_t kThird = 14 * 1024 + 300;
	const double dPlainLate = LevelDb(outPlain.left, in.size() - 4800, in.size());
	EXPECT_LT(LevelDb(outAutomated.left, kThird - 240, kThird), dPlainLate + 3.0);
	EXPECT_GT(LevelDb(outAutomated.left, in.size() - 4800, in.size()), dPlainLate + 6.0);

	// Every other level too, at its default settings (the delay's echoes
	// already coming back): untouched up to its point, moving right after.
	for (const ParamID id : {kCompressorLevel, kChorusSpeed, kDelayLevel, kReverbLevel})
	{
		auto fixed = activeInstance(48000.0, 1024);
		auto moved = activeInstance(48000.0, 1024);
		Stereo outFixed(in.size()), outMoved(in.size());
		RunBlocks(*fixed, in, outFixed, 0, 14 * 1024, 1024);
		RunBlocks(*moved, in, outMoved, 0, 13 * 1024, 1024);
		moved->block().inputChanges().add(id, 0.05, 300);
		RunBlocks(*moved, in, outMoved, 13 * 1024, 14 * 1024, 1024);
		constexpr size_t kPoint = 13 * 1024 + 300;
		for (size_t i = 0; i < kPoint; ++i)
			ASSERT_EQ(outMoved.left[i], outFixed.left[i]) << "parameter " << id << ", sample " << i;
		EXPECT_NE(outMoved.left[kPoint + 40], outFixed.left[kPoint + 40]) << "parameter " << id;
	}
}

// Values nobody is meant to hear arrive at once: in the first block (the
// golden renders pin that sample for sample), with a loaded state, while
// the input is flagged silent and the tail has ended, and while bypassed
// (where the last of a block's points counts).
TEST(ClickFree, LoadedStatesAndChangesWhileSilentApplyAtOnce)
{
	const Stereo in = sine(24 * 1024, 220.0, 48000.0, kQuiet);
	auto changes = kDriveOnly;
	changes.push_back({kDistortionLevel, 0.0});

	// The state of an instance with full drive.
	host::ByteStream fullDrive = [&] {
		auto source = activeInstance(48000.0, 1024);
		auto full = changes;
		full.push_back({kDistortionLevel, 1.0});
		render(*source, Stereo(64), 64, full);
		return source->saveComponentState();
	}();

	auto instance = activeInstance(48000.0, 1024);
	Stereo out(in.size());
	for (const auto& [id, value] : changes)
		instance->block().inputChanges().add(id, value);
	RunBlocks(*instance, in, out, 0, 12 * 1024, 1024);
	const double dLow = LevelDb(out.left, 11 * 1024, 12 * 1024);
	instance->loadComponentState(fullDrive);
	RunBlocks(*instance, in, out, 12 * 1024, in.size(), 1024);
	const double dHigh = LevelDb(out.left, in.size() - 4800, in.size());
	ASSERT_GT(dHigh - dLow, 10.0);
	// The first 5 ms after the load are already at full drive.
	EXPECT_NEAR(LevelDb(out.left, 12 * 1024, 12 * 1024 + 240), dHigh, 1.0);

	// Played at no drive, then silent until the tail has ended: full drive
	// arrives with the sound.
	auto quiet = activeInstance(48000.0, 1024);
	Stereo silence(8 * 1024), outQuiet(in.size());
	for (const auto& [id, value] : changes)
		quiet->block().inputChanges().add(id, value);
	RunBlocks(*quiet, in, outQuiet, 0, 4 * 1024, 1024);
	for (int i = 0; i < 100 && quiet->block().outputSilenceFlags() != 3u; ++i)
		RunBlocks(*quiet, silence, outQuiet, 0, silence.size(), 1024, 3);
	ASSERT_EQ(quiet->block().outputSilenceFlags(), 3u);
	quiet->block().inputChanges().add(kDistortionLevel, 1.0);
	RunBlocks(*quiet, silence, outQuiet, 0, 1024, 1024, 3);
	RunBlocks(*quiet, in, outQuiet, 0, in.size(), 1024);
	// The sine's first 5 ms (once the filters have heard it) are already at
	// full drive (a little above, as the filters start), not on the way.
	EXPECT_GT(LevelDb(outQuiet.left, 240, 480), dHigh - 1.0);
	EXPECT_NEAR(LevelDb(outQuiet.left, in.size() - 4800, in.size()), dHigh, 0.5);

	auto bypassed = activeInstance(48000.0, 1024);
	Stereo outBypassed(in.size());
	for (const auto& [id, value] : changes)
		bypassed->block().inputChanges().add(id, value);
	RunBlocks(*bypassed, in, outBypassed, 0, 8 * 1024, 1024);
	bypassed->block().inputChanges().add(kBypass, 1.0);
	RunBlocks(*bypassed, in, outBypassed, 8 * 1024, 10 * 1024, 1024);
	bypassed->block().inputChanges().add(kDistortionLevel, 0.3, 100);
	bypassed->block().inputChanges().add(kDistortionLevel, 1.0, 600);
	RunBlocks(*bypassed, in, outBypassed, 10 * 1024, 11 * 1024, 1024);
	bypassed->block().inputChanges().add(kBypass, 0.0);
	RunBlocks(*bypassed, in, outBypassed, 11 * 1024, in.size(), 1024);
	EXPECT_NEAR(LevelDb(outBypassed.left, in.size() - 4800, in.size()), dHigh, 0.5);

	// Raised while the distortion is off, the drive is at its level as the
	// distortion fades back in (over 10 ms), not on its way there.
	auto switched = activeInstance(48000.0, 1024);
	Stereo outSwitched(in.size());
	for (const auto& [id, value] : changes)
		switched->block().inputChanges().add(id, value);
	RunBlocks(*switched, in, outSwitched, 0, 8 * 1024, 1024);
	switched->block().inputChanges().add(kDistortionOnOff, 0.0);
	RunBlocks(*switched, in, outSwitched, 8 * 1024, 10 * 1024, 1024);
	switched->block().inputChanges().add(kDistortionLevel, 1.0);
	RunBlocks(*switched, in, outSwitched, 10 * 1024, 11 * 1024, 1024);
	switched->block().inputChanges().add(kDistortionOnOff, 1.0);
	RunBlocks(*switched, in, outSwitched, 11 * 1024, in.size(), 1024);
	EXPECT_NEAR(LevelDb(outSwitched.left, 11 * 1024 + 480, 11 * 1024 + 960), dHigh, 0.3);
}

} // namespace bundletest

namespace bundletest {

// Glides and fades keep reactivation exact: after a history, a reactivated
// instance and a fresh one with its state, given the same blocks (levels
// automated, switches and the bypass toggled), give the same samples.
TEST(ClickFree, GlidesAndFadesAfterReactivationMatchAFreshInstance)
{
	auto used = activeInstance(48000.0, 512);
	Stereo noise(48000);
	std::mt19937 rng(5);
	std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
	for (size_t i = 0; i < noise.size(); ++i)
		noise.left[i] = noise.right[i] = uniform(rng);
	render(*used, noise, 512, {{kDistortionLevel, 1.0}, {kChorusSpeed, 0.9}, {kCompressorLevel, 0.3}});
	used->activate({48000.0, 512, kRealtime});
	auto fresh = activeInstance(48000.0, 512);
	host::ByteStream state = used->saveComponentState();
	fresh->loadComponentState(state);

	const Stereo in = sine(64 * 512, 220.0, 48000.0, 0.25f);
	Stereo outUsed(in.size()), outFresh(in.size());
	for (auto [instance, out] : {std::pair{used.get(), &outUsed}, std::pair{fresh.get(), &outFresh}})
		for (size_t iBlock = 0; iBlock < 64; ++iBlock)
		{
			host::ParameterChanges& changes = instance->block().inputChanges();
			if (iBlock == 4)
			{
				changes.add(kDistortionLevel, 0.2, 100);
				changes.add(kChorusSpeed, 0.1, 300);
				changes.add(kCompressorLevel, 0.9);
			}
			if (iBlock == 12)
				changes.add(kDistortionOnOff, 0.0, 17);
			if (iBlock == 20)
				changes.add(kBypass, 1.0);
			if (iBlock == 30)
				changes.add(kBypass, 0.0);
			RunBlocks(*instance, in, *out, iBlock * 512, (iBlock + 1) * 512, 512);
		}
	EXPECT_EQ(outUsed.left, outFresh.left);
	EXPECT_EQ(outUsed.right, outFresh.right);
}

} // namespace bundletest
