// Which input the chain hears, and what the silence flags say, through the
// bundle: every flag combination, both selector positions, bypass on and
// off, stereo and mono buses, separate and shared buffers.

#include "bundlefixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr double kRate = 48000.0;
constexpr int32 kBlock = 512;
constexpr int kBlocks = 6;
constexpr size_t kLength = static_cast<size_t>(kBlock) * kBlocks;

host::ProcessSetup setupFor(SpeakerArrangement arrangement)
{
	host::ProcessSetup setup;
	setup.sampleRate = kRate;
	setup.maxBlockSize = kBlock;
	setup.inputArrangement = setup.outputArrangement = arrangement;
	return setup;
}

std::unique_ptr<host::PluginInstance> instanceWith(SpeakerArrangement arrangement)
{
	auto instance = std::make_unique<host::PluginInstance>(bundle());
	instance->activate(setupFor(arrangement));
	return instance;
}

// A guitar tone on the left, another on the right: the output tells which
// one the chain heard.
std::vector<float> channelSignal(int channel)
{
	return sine(kLength, channel == 0 ? 110.0 : 165.0, kRate, channel == 0 ? 0.3f : 0.25f).left;
}

struct BlockRun
{
	std::vector<std::vector<float>> out;
	std::vector<uint64> flags; // output silence flags, per block
};

// Runs kBlocks blocks with the same input flags; the parameters go with the
// first block. In place, the output buffers are the input buffers.
BlockRun runBlocks(host::PluginInstance& instance, std::vector<std::vector<float>> in, uint64 inputFlags, bool inPlace,
              const std::vector<std::pair<ParamID, double>>& changes)
{
	for (const auto& [id, value] : changes)
		instance.block().inputChanges().add(id, value);
	BlockRun run;
	run.out.assign(in.size(), std::vector<float>(kLength, -7.0f));
	for (int b = 0; b < kBlocks; ++b)
	{
		const size_t at = static_cast<size_t>(b) * kBlock;
		std::vector<float*> ins, outs;
		for (size_t c = 0; c < in.size(); ++c)
		{
			ins.push_back(&in[c][at]);
			outs.push_back(inPlace ? &in[c][at] : &run.out[c][at]);
		}
		const auto channels = static_cast<int32>(in.size());
		EXPECT_EQ(instance.process({ins.data(), channels, outs.data(), channels, kBlock, inputFlags}), kResultOk);
		run.flags.push_back(instance.block().outputSilenceFlags());
	}
	if (inPlace)
		run.out = in;
	return run;
}

} // namespace

// The expected audio comes from a second instance that hears the channel the
// first one should hear on both of its inputs, unflagged, with the selector
// at its default: so a selector that reads the wrong input, or a flag that
// silences the wrong one, shows as different audio. Every case starts from
// a fresh activation.
TEST(SilenceFlags, EveryCombinationOfFlagsSelectorBypassAndBus)
{
	auto reference = instanceWith(SpeakerArr::kStereo);
	std::vector<BlockRun> chainHearing;
	for (int c = 0; c < 2; ++c)
	{
		reference->activate(setupFor(SpeakerArr::kStereo));
		chainHearing.push_back(runBlocks(*reference, {channelSignal(c), channelSignal(c)}, 0, false, {}));
		ASSERT_GT(peak(chainHearing.back().out[0]), 0.01f);
	}
	auto stereoInstance = instanceWith(SpeakerArr::kStereo);
	auto monoInstance = instanceWith(SpeakerArr::kMono);

	for (const bool mono : {false, true})
		for (const bool bypass : {false, true})
			for (const bool selectLeft : {true, false})
				for (const bool inPlace : {false, true})
					for (uint64 flags = 0; flags < 4; ++flags)
					{
						SCOPED_TRACE(testing::Message() << (mono ? "mono" : "stereo") << (bypass ? " bypass" : "")
						                                << (selectLeft ? " left" : " right")
						                                << (inPlace ? " in place" : "") << " flags " << flags);
						const int channels = mono ? 1 : 2;
						const auto flagged = [&](int c) { return ((flags >> c) & 1u) != 0; };
						// The host clears a buffer it flags silent; a careless one
						// may not, and what it leaves must not be heard.
						std::vector<std::vector<float>> in, heard;
						for (int c = 0; c < channels; ++c)
						{
							heard.push_back(flagged(c) ? std::vector<float>(kLength, 0.0f) : channelSignal(c));
							in.push_back(flagged(c) && !inPlace ? std::vector<float>(kLength, 0.4f) : heard.back());
						}
						host::PluginInstance& instance = mono ? *monoInstance : *stereoInstance;
						instance.activate(setupFor(mono ? SpeakerArr::kMono : SpeakerArr::kStereo));
						const BlockRun run = runBlocks(instance, in, flags, inPlace,
						                               {{kBypass, bypass ? 1.0 : 0.0}, {kInputSelection, selectLeft ? 1.0 : 0.0}});

						const uint64 ownBits = mono ? 1u : 3u;
						if (bypass)
						{
							for (int c = 0; c < channels; ++c)
								EXPECT_EQ(run.out[static_cast<size_t>(c)], heard[static_cast<size_t>(c)]) << "channel " << c;
							for (uint64 f : run.flags)
								ASSERT_EQ(f, flags & ownBits);
							continue;
						}
						const int selected = mono || selectLeft ? 0 : 1;
						if (flagged(selected))
						{
							// Nothing rang before: silent at once, every output flagged.
							for (int c = 0; c < channels; ++c)
								EXPECT_EQ(peak(run.out[static_cast<size_t>(c)]), 0.0f) << "channel " << c;
							for (uint64 f : run.flags)
								ASSERT_EQ(f, ownBits);
							continue;
						}
						const BlockRun& expected = chainHearing[static_cast<size_t>(selected)];
						for (int c = 0; c < channels; ++c)
							EXPECT_EQ(run.out[static_cast<size_t>(c)], expected.out[static_cast<size_t>(c)]) << "channel " << c;
						for (uint64 f : run.flags)
							ASSERT_EQ(f, 0u);
					}
}

// A flag on the selected input after sound: the chain rings out on silence,
// unflagged, then clears and flags every output. A flag on the other input
// never stops the sound.
TEST(SilenceFlags, RingOutFollowsTheSelectedInputOnly)
{
	for (const bool selectLeft : {true, false})
	{
		SCOPED_TRACE(selectLeft ? "left" : "right");
		const int selected = selectLeft ? 0 : 1;
		const std::vector<std::pair<ParamID, double>> settings = {{kInputSelection, selectLeft ? 1.0 : 0.0},
		                                                          {kDelayOnOff, 0.0}};
		auto instance = instanceWith(SpeakerArr::kStereo);
		auto unflagged = instanceWith(SpeakerArr::kStereo);
		for (auto* each : {instance.get(), unflagged.get()})
			runBlocks(*each, {channelSignal(0), channelSignal(1)}, 0, false, settings);

		// The other input goes quiet: the selected one plays on as it would
		// without the flag.
		std::vector<std::vector<float>> in = {channelSignal(0), channelSignal(1)};
		in[static_cast<size_t>(1 - selected)].assign(kLength, 0.0f);
		const BlockRun other = runBlocks(*instance, in, uint64(1) << (1 - selected), false, {});
		const BlockRun playing = runBlocks(*unflagged, in, 0, false, {});
		EXPECT_GT(peak(playing.out[0], kLength - kBlock), 0.02f);
		EXPECT_EQ(other.out, playing.out);
		for (uint64 f : other.flags)
			ASSERT_EQ(f, 0u);

		// The selected input goes quiet: the reverb rings out, unflagged,
		// until it has decayed; then both outputs are cleared and flagged.
		const uint32 tail = instance->processor()->getTailSamples();
		ASSERT_GT(tail, static_cast<uint32>(kLength));
		in[static_cast<size_t>(selected)].assign(kLength, 0.0f);
		const BlockRun ring = runBlocks(*instance, in, uint64(1) << selected, false, {});
		EXPECT_GT(peak(ring.out[0]), 1e-3f);
		for (uint64 f : ring.flags)
			ASSERT_EQ(f, 0u);
		int blocks = kBlocks;
		BlockRun last;
		do
		{
			last = runBlocks(*instance, in, uint64(1) << selected, false, {});
			blocks += kBlocks;
		} while (last.flags.back() == 0 && blocks * kBlock < static_cast<int>(tail) + 20 * kBlock);
		EXPECT_EQ(last.flags.back(), 3u);
		EXPECT_GE(static_cast<int64>(blocks) * kBlock, static_cast<int64>(tail) - kLength);
		const BlockRun silent = runBlocks(*instance, in, uint64(1) << selected, false, {});
		EXPECT_EQ(peak(silent.out[0]), 0.0f);
		EXPECT_EQ(peak(silent.out[1]), 0.0f);
		for (uint64 f : silent.flags)
			ASSERT_EQ(f, 3u);
	}
}
