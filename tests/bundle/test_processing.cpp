// The processor through IAudioProcessor: parameter queues, bypass, silence,
// block sizes, bus arrangements, indicators and the chain's robustness.

#include "bundlefixture.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <xmmintrin.h>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The processor's cells are only visible through its state record.
std::vector<float> processorValues(host::PluginInstance& instance)
{
	host::ByteStream stream = instance.saveComponentState();
	const auto& bytes = stream.bytes();
	std::vector<float> values(20);
	for (int i = 0; i < 20; ++i)
		std::memcpy(&values[static_cast<size_t>(i)], bytes.data() + 4 * i, 4);
	return values;
}

// A guitar-like test signal: decaying plucks at a few pitches.
Stereo plucks(size_t n, double sampleRate)
{
	Stereo s(n);
	std::mt19937 rng(7);
	std::uniform_real_distribution<float> noise(-0.02f, 0.02f);
	const double notes[] = {82.41, 110.0, 146.83, 196.0};
	for (size_t i = 0; i < n; ++i)
	{
		const double t = static_cast<double>(i) / sampleRate;
		const double local = std::fmod(t, 0.25);
		const double f = notes[static_cast<size_t>(t / 0.25) % 4];
		const float v = static_cast<float>(0.5 * std::exp(-6.0 * local) * std::sin(2.0 * M_PI * f * local));
		s.left[i] = v + noise(rng);
		s.right[i] = 0.1f * noise(rng);
	}
	return s;
}

} // namespace

TEST(Processing, ParameterQueuesTakeTheLastValidPoint)
{
	auto instance = activeInstance();
	host::ProcessBlock& block = instance->block();
	block.inputChanges().add(kDelayLevel, 0.1, 0);
	block.inputChanges().add(kDelayLevel, 0.3, 100);
	block.inputChanges().add(kDelayLevel, std::nan(""), 200); // the point before counts
	block.inputChanges().add(kModulationOnOff, 0.0, 10);
	block.inputChanges().add(kModulationOnOff, std::nan(""), 50);
	block.inputChanges().add(kDelayOnOff, 0.0, 10);
	block.inputChanges().add(kDelayOnOff, 1.0, 200);
	block.inputChanges().add(kReverbOnOff, 1.0, 10);
	block.inputChanges().add(kReverbOnOff, 0.0, 200);
	block.inputChanges().add(kChorusSpeed, 1.7);          // clamped to 1
	block.inputChanges().add(kReverbLevel, -0.2);         // clamped to 0
	block.inputChanges().add(kCompressorLevel, std::nan("")); // ignored
	block.inputChanges().add(0, 0.5);
	block.inputChanges().add(20, 0.5);
	block.inputChanges().add(21, 0.5);
	// A queue without points changes nothing.
	int32 index = 0;
	block.inputChanges().addParameterData(kDistortionLevel, index);

	Stereo in(256), out(256);
	float* ins[2] = {in.left.data(), in.right.data()};
	float* outs[2] = {out.left.data(), out.right.data()};
	ASSERT_EQ(instance->process({ins, 2, outs, 2, 256, 0}), kResultOk);

	const std::vector<float> values = processorValues(*instance);
	EXPECT_FLOAT_EQ(values[kDelayLevel], 0.3f);
	EXPECT_EQ(values[kDelayOnOff], 1.0f);
	EXPECT_EQ(values[kModulationOnOff], 0.0f);
	EXPECT_EQ(values[kReverbOnOff], 0.0f);
	EXPECT_EQ(values[kChorusSpeed], 1.0f);
	EXPECT_EQ(values[kReverbLevel], 0.0f);
	EXPECT_EQ(values[kCompressorLevel], 0.8f);
	EXPECT_EQ(values[kDistortionLevel], 0.55f);
}

TEST(Processing, ParameterOnlyCallsAreFlushes)
{
	auto instance = activeInstance();
	instance->block().inputChanges().add(kDelayLevel, 0.25);
	EXPECT_EQ(instance->process({nullptr, 0, nullptr, 0, 0, 0}), kResultOk);
	EXPECT_EQ(processorValues(*instance)[kDelayLevel], 0.25f);

	// A zero-length block with buses is a flush as well.
	Stereo buffers(4);
	float* ins[2] = {buffers.left.data(), buffers.right.data()};
	instance->block().inputChanges().add(kDelayLevel, 0.5);
	EXPECT_EQ(instance->process({ins, 2, ins, 2, 0, 0}), kResultOk);
	EXPECT_EQ(processorValues(*instance)[kDelayLevel], 0.5f);
}

TEST(Processing, BypassCopiesAndKeepsTheMeters)
{
	auto instance = activeInstance();
	const Stereo in = plucks(2048, 48000.0);
	// 0.5 is not 0, so it counts as on.
	const Stereo out = render(*instance, in, 512, {{kBypass, 0.5}});
	EXPECT_EQ(out.left, in.left);
	EXPECT_EQ(out.right, in.right);
	EXPECT_EQ(instance->block().outputChanges().getParameterCount(), 0);
	EXPECT_EQ(processorValues(*instance)[kOutputLeftVumeter], 0.0f);

}

TEST(Processing, ValuesBelowTheSmallestNormalFloatAreZero)
{
	// The audio thread takes denormals as zero, so a cell must never hold
	// one: a switch would be off there and on everywhere else (the saved
	// state, the tail the host is told). From the host and from a record
	// alike, such a value is 0, and 0 is off.
	const Stereo in = plucks(2048, 48000.0);
	const uint32 offTail = activeInstance()->processor()->getTailSamples();
	for (const bool fromRecord : {false, true})
	{
		SCOPED_TRACE(fromRecord);
		auto instance = activeInstance();
		if (fromRecord)
		{
			std::vector<float> values = processorValues(*instance);
			values[kBypass] = 1e-40f;
			values[kStereoEnhancerOnOff] = 1e-42f;
			std::vector<char> bytes(80);
			std::memcpy(bytes.data(), values.data(), 80);
			host::ByteStream record(bytes);
			ASSERT_EQ(instance->component()->setState(&record), kResultOk);
		}
		else
		{
			instance->block().inputChanges().add(kBypass, 1e-40);
			instance->block().inputChanges().add(kStereoEnhancerOnOff, 1e-310);
		}
		const Stereo out = render(*instance, in, 512);
		const std::vector<float> cells = processorValues(*instance);
		EXPECT_EQ(std::memcmp(&cells[kBypass], "\0\0\0\0", 4), 0) << cells[kBypass];
		EXPECT_EQ(std::memcmp(&cells[kStereoEnhancerOnOff], "\0\0\0\0", 4), 0) << cells[kStereoEnhancerOnOff];
		EXPECT_NE(out.left, in.left);
		EXPECT_EQ(instance->processor()->getTailSamples(), offTail);
	}
}

TEST(Processing, SilentInputGivesSilentFlaggedOutput)
{
	auto instance = activeInstance();
	render(*instance, Stereo(1024), 512,
	       {{kDelayOnOff, 0.0}, {kReverbOnOff, 0.0}, {kStereoEnhancerOnOff, 0.0}});
	// With delay and reverb off only a short settling time is left to run
	// before the silence flags are passed on.
	Stereo in(256), out(256);
	float* ins[2] = {in.left.data(), in.right.data()};
	float* outs[2] = {out.left.data(), out.right.data()};
	int blocks = 0;
	for (; blocks < 100 && instance->block().outputSilenceFlags() == 0; ++blocks)
		ASSERT_EQ(instance->process({ins, 2, outs, 2, 256, 3}), kResultOk);
	EXPECT_LE(blocks, 4800 / 256 + 2);
	EXPECT_EQ(instance->block().outputSilenceFlags(), 3u);
	std::fill(out.left.begin(), out.left.end(), 9.0f);
	std::fill(out.right.begin(), out.right.end(), 9.0f);
	ASSERT_EQ(instance->process({ins, 2, outs, 2, 256, 3}), kResultOk);
	EXPECT_EQ(instance->block().outputSilenceFlags(), 3u);
	EXPECT_EQ(peak(out.left), 0.0f);
	EXPECT_EQ(peak(out.right), 0.0f);
}

// The same audio in any blocks: plucks over noise, and plucks broken by
// stretches of exact silence and of held values (which the distortion
// takes by shortcuts chunk by chunk), wherever the blocks and their chunks
// begin and end.
TEST(Processing, EveryBlockSizeGivesTheSameAudio)
{
	Stereo broken = plucks(20000, 44100.0);
	for (size_t i = 0; i < broken.size(); ++i)
	{
		const size_t iPhase = i % 977;
		if (iPhase >= 500 && iPhase < 800)
			broken.left[i] = broken.right[i] = 0.0f;
		else if (iPhase >= 800)
			broken.left[i] = broken.right[i] = 0.25f;
	}
	for (const Stereo& in : {plucks(20000, 44100.0), broken})
	{
		auto reference = activeInstance(44100.0, 512);
		const Stereo expected = render(*reference, in, 512);
		ASSERT_GT(peak(expected.left), 0.01f);
		for (int blockSize : {1, 7, 1023, 1024, 1025, 4096, 8192})
		{
			SCOPED_TRACE(blockSize);
			auto instance = activeInstance(44100.0, blockSize);
			const Stereo out = render(*instance, in, blockSize);
			EXPECT_EQ(out.left, expected.left);
			EXPECT_EQ(out.right, expected.right);
		}
	}
}

TEST(Processing, MonoAndStereoArrangements)
{
	host::PluginInstance instance(bundle());
	IAudioProcessor* processor = instance.processor();
	SpeakerArrangement mono = SpeakerArr::kMono, stereo = SpeakerArr::kStereo;
	SpeakerArrangement twoIn[2] = {stereo, stereo};

	EXPECT_EQ(processor->setBusArrangements(twoIn, 2, &stereo, 1), kResultFalse);
	EXPECT_EQ(processor->setBusArrangements(&stereo, 1, &mono, 1), kResultFalse);
	SpeakerArrangement arrangement = 0;
	ASSERT_EQ(processor->getBusArrangement(kInput, 0, arrangement), kResultTrue);
	EXPECT_EQ(arrangement, SpeakerArr::kStereo);
	SpeakerArrangement surround = SpeakerArr::k51;
	EXPECT_EQ(processor->setBusArrangements(&surround, 1, &surround, 1), kResultFalse);

	ASSERT_EQ(processor->setBusArrangements(&mono, 1, &mono, 1), kResultTrue);
	BusInfo info{};
	ASSERT_EQ(instance.component()->getBusInfo(kAudio, kInput, 0, info), kResultTrue);
	EXPECT_EQ(info.channelCount, 1);
	ASSERT_EQ(instance.component()->getBusInfo(kAudio, kOutput, 0, info), kResultTrue);
	EXPECT_EQ(info.channelCount, 1);
	EXPECT_EQ(instance.component()->getBusCount(kEvent, kInput), 1);

	// A mono bus runs the chain on its one channel; its output is the chain's
	// first output, meters included.
	host::ProcessSetup setup;
	setup.inputArrangement = setup.outputArrangement = SpeakerArr::kMono;
	instance.activate(setup);
	const Stereo in = plucks(4800, 48000.0);
	std::vector<float> out(in.size(), 0.0f);
	float* ins[1] = {const_cast<float*>(in.left.data())};
	float* outs[1] = {out.data()};
	ASSERT_EQ(instance.process({ins, 1, outs, 1, static_cast<int32>(in.size()), 0}), kResultOk);
	EXPECT_GT(peak(out), 0.01f);
	EXPECT_TRUE(instance.block().outputChanges().lastValue(kOutputLeftVumeter).has_value());

	// The same signal through stereo buses gives the same first channel.
	auto stereoInstance = activeInstance(48000.0, 4800);
	Stereo both = in;
	both.right = in.left;
	const Stereo reference = render(*stereoInstance, both, 4800);
	EXPECT_EQ(out, reference.left);

	instance.deactivate();
	ASSERT_EQ(processor->setBusArrangements(&stereo, 1, &stereo, 1), kResultTrue);
	ASSERT_EQ(instance.component()->getBusInfo(kAudio, kInput, 0, info), kResultTrue);
	EXPECT_EQ(info.channelCount, 2);
}

TEST(Processing, IndicatorsAreReportedOnlyWhenTheyChange)
{
	auto instance = activeInstance(48000.0, 480);
	render(*instance, sine(480, 440.0, 48000.0, 0.5f), 480);
	host::ParameterChanges& changes = instance->block().outputChanges();
	EXPECT_TRUE(changes.lastValue(kOutputLeftVumeter).has_value());
	for (int32 i = 0; i < changes.getParameterCount(); ++i)
	{
		const ParamID id = changes.getParameterData(i)->getParameterId();
		EXPECT_TRUE(id >= kOutputLeftVumeter && id <= kCompressionLed) << id;
		EXPECT_EQ(changes.getParameterData(i)->getPointCount(), 1);
	}
	// Silence that keeps every indicator where it is reports nothing.
	instance->block().inputChanges().add(kDelayOnOff, 0.0);
	instance->block().inputChanges().add(kReverbOnOff, 0.0);
	for (int i = 0; i < 400; ++i)
		render(*instance, Stereo(480), 480);
	render(*instance, Stereo(480), 480);
	EXPECT_EQ(changes.getParameterCount(), 0);
}

TEST(Processing, InputClipLightsForTwoHundredBlocks)
{
	auto instance = activeInstance(48000.0, 256);
	host::ParameterChanges& changes = instance->block().outputChanges();
	Stereo loud(256);
	loud.left[100] = 0.995f;
	render(*instance, loud, 256);
	ASSERT_EQ(changes.lastValue(kInputClippingLed), std::optional<double>(1.0));
	int lit = 1;
	std::optional<double> off;
	for (int block = 1; block < 260 && !off; ++block)
	{
		render(*instance, Stereo(256), 256);
		if (auto v = changes.lastValue(kInputClippingLed))
			off = v;
		else
			++lit;
	}
	EXPECT_EQ(lit, 200);
	EXPECT_EQ(off, std::optional<double>(0.0));

	// Exactly 0.99 is not a clip, and the unselected channel is never looked at.
	Stereo edge(256);
	edge.left[3] = 0.99f;
	edge.right[5] = 1.0f;
	render(*instance, edge, 256);
	EXPECT_FALSE(changes.lastValue(kInputClippingLed).has_value());
}

TEST(Processing, MeterBallisticsAtFortyEightKilohertz)
{
	auto instance = activeInstance(48000.0, 480);
	host::ParameterChanges& changes = instance->block().outputChanges();
	// Everything that rings off, so silence in is (nearly) silence out.
	const std::vector<std::pair<ParamID, double>> dry = {
	    {kDelayOnOff, 0.0}, {kReverbOnOff, 0.0}, {kModulationOnOff, 0.0}};
	// The meter rises at once to the loudest block.
	render(*instance, sine(4800, 200.0, 48000.0, 1.0f), 480, dry);
	const std::optional<double> start = changes.lastValue(kOutputLeftVumeter);
	ASSERT_TRUE(start.has_value());
	ASSERT_GT(*start, 0.3);

	double meter = *start;
	const float quiet = std::pow(10.0f, -45.0f / 20.0f);
	int fallingBlocks = 0;
	for (int block = 0; block < 120 && meter > 0.0; ++block)
	{
		const Stereo out = render(*instance, Stereo(480), 480);
		const double next = changes.lastValue(kOutputLeftVumeter).value_or(meter);
		if (peak(out.left) < quiet)
		{
			// 480 samples at 48 kHz are 10 ms: the meter falls by 0.02 a block.
			EXPECT_NEAR(meter - next, std::min(meter, 0.02), 1e-6) << "block " << block;
			++fallingBlocks;
		}
		meter = next;
	}
	EXPECT_EQ(meter, 0.0);
	EXPECT_GE(fallingBlocks, static_cast<int>(*start / 0.02) - 3);
}

TEST(Processing, BadSamplesNeverPoisonTheChain)
{
	auto instance = activeInstance(48000.0, 512);
	Stereo bad = plucks(4096, 48000.0);
	const float nasty[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
	                       -std::numeric_limits<float>::infinity(), 1e30f, -1e30f, 1e-42f};
	for (size_t i = 0; i < bad.size(); i += 37)
		bad.left[i] = bad.right[(i + 5) % bad.size()] = nasty[i % 6];
	const Stereo out = render(*instance, bad, 512);
	const Stereo after = render(*instance, plucks(48000, 48000.0), 512);
	for (const Stereo* s : {&out, &after})
		for (float v : s->left)
			ASSERT_TRUE(std::isfinite(v) && std::fabs(v) <= 1.0f);
	EXPECT_GT(peak(after.left), 0.01f);
}

// One absurd but finite sample (1e30, or a stretch at 1e6) is bounded on
// the way in: two seconds later the sound is a fresh instance's. Unbounded,
// the equalisers' slowest band would hold it for half a minute.
TEST(Processing, AnAbsurdSampleIsGoneWithinTwoSeconds)
{
	for (const float fAbsurd : {1e30f, -1e6f})
	{
		auto instance = activeInstance(48000.0, 512);
		auto fresh = activeInstance(48000.0, 512);
		Stereo bad(512);
		for (size_t i = 0; i < 64; ++i)
			bad.left[i] = bad.right[i] = fAbsurd;
		render(*instance, bad, 512);
		render(*fresh, Stereo(512), 512);
		const Stereo in = plucks(96000, 48000.0);
		const Stereo out = render(*instance, in, 512), expected = render(*fresh, in, 512);
		double dDiff = 0.0, dSignal = 0.0;
		for (size_t i = in.size() - 4800; i < in.size(); ++i)
		{
			dDiff += static_cast<double>(out.left[i] - expected.left[i]) * (out.left[i] - expected.left[i]);
			dSignal += static_cast<double>(expected.left[i]) * expected.left[i];
		}
		EXPECT_LT(10.0 * std::log10(dDiff / dSignal + 1e-30), -60.0) << fAbsurd;
	}
}

TEST(Processing, DenormalsAreFlushedAndTheHostsModeComesBack)
{
	// MXCSR bits: flush to zero (15) and denormals are zero (6).
	constexpr unsigned int kFlushBits = 0x8040u;
	const unsigned int uSaved = _mm_getcsr();
	auto instance = activeInstance(48000.0, 512);
	// Every stage that can keep a signal at zero off, so a subnormal input
	// reaches the output unless the processor flushes it.
	const std::vector<std::pair<ParamID, double>> allOff = {{kGateCompOnOff, 0}, {kDistortionOnOff, 0},
	                                                        {kModulationOnOff, 0}, {kDelayOnOff, 0},
	                                                        {kReverbOnOff, 0}, {kStereoEnhancerOnOff, 0}};
	const Stereo tiny(4096, 1.0e-39f);
	ASSERT_EQ(std::fpclassify(tiny.left[0]), FP_SUBNORMAL);
	for (unsigned int uHostMode : {uSaved & ~kFlushBits, uSaved | kFlushBits})
	{
		SCOPED_TRACE(uHostMode);
		_mm_setcsr(uHostMode);
		const Stereo out = render(*instance, tiny, 512, allOff);
		const unsigned int uAfter = _mm_getcsr();
		_mm_setcsr(uSaved);
		EXPECT_EQ(uAfter, uHostMode) << "the host's floating-point mode was not restored";
		int iSubnormal = 0;
		for (const std::vector<float>* pChannel : {&out.left, &out.right})
			for (float v : *pChannel)
				iSubnormal += std::fpclassify(v) == FP_SUBNORMAL;
		EXPECT_EQ(iSubnormal, 0);
	}
}

TEST(Processing, ParameterFuzzKeepsOutputFinite)
{
	auto instance = activeInstance(44100.0, 1024);
	std::mt19937 rng(1234);
	std::uniform_int_distribution<int> id(0, 25);
	std::uniform_real_distribution<double> value(-0.5, 1.5);
	std::uniform_int_distribution<int> size(1, 2048);
	const Stereo music = plucks(44100, 44100.0);
	size_t position = 0;
	for (int block = 0; block < 300; ++block)
	{
		for (int k = 0; k < 3; ++k)
		{
			const int which = id(rng);
			const double v = which == 25 ? std::nan("") : value(rng);
			instance->block().inputChanges().add(static_cast<ParamID>(which % 21), v);
		}
		instance->block().inputChanges().add(kBypass, 0.0);
		const auto n = static_cast<size_t>(size(rng));
		Stereo in(n);
		for (size_t i = 0; i < n; ++i)
			in.left[i] = in.right[i] = music.left[(position + i) % music.size()];
		position += n;
		const Stereo out = render(*instance, in, static_cast<int>(n));
		for (size_t i = 0; i < n; ++i)
			ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << "block " << block;
	}
}

TEST(Processing, SampleRatesAndReactivation)
{
	for (double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0})
	{
		SCOPED_TRACE(rate);
		auto instance = activeInstance(rate, 512);
		const Stereo in = plucks(static_cast<size_t>(rate / 4), rate);
		const Stereo first = render(*instance, in, 512);
		EXPECT_GT(peak(first.left), 0.01f);
		// Deactivating and activating again starts from a clean chain.
		host::ProcessSetup setup;
		setup.sampleRate = rate;
		setup.maxBlockSize = 512;
		instance->activate(setup);
		const Stereo again = render(*instance, in, 512);
		EXPECT_EQ(again.left, first.left);
	}
	// Nonsense rates and 64-bit samples are refused.
	host::PluginInstance instance(bundle());
	ProcessSetup bad{kRealtime, kSample32, 512, 0.0};
	EXPECT_NE(instance.processor()->setupProcessing(bad), kResultOk);
	bad.sampleRate = std::nan("");
	EXPECT_NE(instance.processor()->setupProcessing(bad), kResultOk);
	ProcessSetup wide{kRealtime, kSample64, 512, 48000.0};
	EXPECT_EQ(instance.processor()->canProcessSampleSize(kSample64), kResultFalse);
	EXPECT_EQ(instance.processor()->setupProcessing(wide), kResultFalse);
}

TEST(Processing, RateChangeReachesEveryLength)
{
	// The same musical material at two rates must sound alike: compare the
	// output level over the second half-second, where the delay echoes land.
	auto levelAt = [](double rate) {
		auto instance = activeInstance(rate, 512);
		Stereo in(static_cast<size_t>(rate));
		for (size_t i = 0; i < static_cast<size_t>(rate * 0.05); ++i)
			in.left[i] = in.right[i] = 0.3f * static_cast<float>(std::sin(2.0 * M_PI * 196.0 * static_cast<double>(i) / rate));
		const Stereo out = render(*instance, in, 512);
		double energy = 0.0;
		for (size_t i = static_cast<size_t>(rate * 0.2); i < out.size(); ++i)
			energy += static_cast<double>(out.left[i]) * out.left[i];
		return energy / rate;
	};
	const double at48 = levelAt(48000.0);
	const double at96 = levelAt(96000.0);
	ASSERT_GT(at48, 0.0);
	EXPECT_NEAR(10.0 * std::log10(at96 / at48), 0.0, 3.0);
}

// The tail the host is told, at every rate: 0.1 s for the filters to settle,
// the delay's loop (0.42 of the level each quarter note) down 120 dB, and
// the reverb's combs (60 dB in 3 s times the level) down 120 dB plus the
// longest comb's 53.7 ms; the enhancer's 0.1 s where it is on.
TEST(Processing, TailIsReportedWhileDelayOrReverbRing)
{
	const double dDelayTail = 0.5 * 6.0 / -std::log10(0.42 * 0.75);
	const double dReverbTail = 2.0 * 3.0 * 0.55 + 0.0537;
	const struct
	{
		std::vector<std::pair<ParamID, double>> settings;
		double dSeconds;
	} aCases[] = {
		{{}, 0.1 + dDelayTail + dReverbTail},
		{{{kDelayOnOff, 0.0}}, 0.1 + dReverbTail},
		{{{kReverbOnOff, 0.0}}, 0.1 + dDelayTail},
		{{{kDelayOnOff, 0.0}, {kReverbOnOff, 0.0}, {kStereoEnhancerOnOff, 1.0}}, 0.1 + 0.10004001},
	};
	for (const double dRate : {44100.0, 48000.0, 96000.0, 192000.0})
		for (const auto& c : aCases)
		{
			auto instance = activeInstance(dRate, 512);
			render(*instance, Stereo(512), 512, c.settings);
			EXPECT_NEAR(instance->processor()->getTailSamples(), std::ceil(c.dSeconds * dRate), 2.0)
			    << dRate << " Hz, " << c.dSeconds << " s";
		}
}

TEST(Lifecycle, ReactivationSoundsExactlyLikeAFreshInstance)
{
	// After a loud history with every stage on at full level, long enough for
	// every ring to come round, at one rate and an odd tempo, deactivating
	// and activating (at the same or another rate) must leave nothing behind:
	// the output then equals a fresh instance's, bit for bit, given the same
	// parameters, tempo and input.
	const struct
	{
		double dBefore, dAfter;
		int32 iBlock;
	} aCases[] = {{48000.0, 48000.0, 512}, {192000.0, 44100.0, 1}, {8000.0, 384000.0, 4096}, {96000.0, 22050.0, 333}};
	const std::vector<std::pair<ParamID, double>> allOn = {
	    {kGateCompOnOff, 1.0}, {kCompressorLevel, 1.0},      {kDistortionOnOff, 1.0}, {kDistortionLevel, 1.0},
	    {kStereoEnhancerOnOff, 1.0}, {kDelayOnOff, 1.0},     {kModulationOnOff, 1.0}, {kChorusSpeed, 1.0},
	    {kReverbOnOff, 1.0},   {kDelayLevel, 1.0},           {kReverbLevel, 1.0}};
	for (const auto& c : aCases)
	{
		SCOPED_TRACE(c.dAfter);
		auto used = activeInstance(c.dBefore, 4096);
		used->block().setTempo(37.0);
		Stereo noise(static_cast<size_t>(c.dBefore * 3.5));
		std::mt19937 rng(3);
		std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
		for (size_t i = 0; i < noise.size(); ++i)
			noise.left[i] = noise.right[i] = uniform(rng);
		render(*used, noise, 4096, allOn);

		host::ProcessSetup setup;
		setup.sampleRate = c.dAfter;
		setup.maxBlockSize = 4096;
		used->activate(setup);
		auto fresh = activeInstance(c.dAfter, 4096);
		host::ByteStream parameters = used->saveComponentState();
		fresh->loadComponentState(parameters);
		const std::vector<std::pair<ParamID, double>> settings = {
		    {kStereoEnhancerOnOff, 1.0}, {kDelayLevel, 0.9}, {kReverbLevel, 0.8}, {kChorusSpeed, 0.7}};
		for (host::PluginInstance* instance : {used.get(), fresh.get()})
			instance->block().setTempo(140.0);
		const Stereo in = plucks(static_cast<size_t>(c.dAfter * 1.5), c.dAfter);
		const Stereo afterUse = render(*used, in, c.iBlock, settings);
		const Stereo afterNothing = render(*fresh, in, c.iBlock, settings);
		EXPECT_GT(peak(afterNothing.left), 0.01f);
		EXPECT_EQ(afterUse.left, afterNothing.left);
		EXPECT_EQ(afterUse.right, afterNothing.right);
	}
}

TEST(Lifecycle, TerminateAndInitializeAgainRebuildsEverything)
{
	host::PluginInstance instance(bundle());
	IComponent* component = instance.component();
	IEditController* controller = instance.controller();
	for (int round = 0; round < 3; ++round)
	{
		SCOPED_TRACE(round);
		ASSERT_EQ(component->terminate(), kResultOk);
		EXPECT_EQ(component->getBusCount(kAudio, kInput), 0);
		ASSERT_EQ(component->initialize(&instance.hostContext()), kResultOk);
		EXPECT_EQ(component->getBusCount(kAudio, kInput), 1);
		EXPECT_EQ(component->getBusCount(kAudio, kOutput), 1);
		EXPECT_EQ(component->getBusCount(kEvent, kInput), 1);
		EXPECT_EQ(component->getBusCount(kEvent, kOutput), 0);

		ASSERT_EQ(controller->terminate(), kResultOk);
		ASSERT_EQ(controller->initialize(&instance.hostContext()), kResultOk);
		EXPECT_EQ(controller->getParameterCount(), 24 + 16 + 1);
	}
	// Buses can be switched off and on; the processor still runs.
	EXPECT_EQ(component->activateBus(kAudio, kInput, 0, false), kResultTrue);
	EXPECT_EQ(component->activateBus(kAudio, kInput, 0, true), kResultTrue);
	EXPECT_EQ(component->activateBus(kEvent, kInput, 0, false), kResultTrue);
	EXPECT_NE(component->activateBus(kAudio, kInput, 1, true), kResultTrue);
	instance.activate({});
	const Stereo out = render(instance, plucks(4800, 48000.0), 480);
	EXPECT_GT(peak(out.left), 0.01f);
	// Activation twice in a row and deactivation twice in a row are harmless.
	EXPECT_EQ(component->setActive(true), kResultOk);
	instance.deactivate();
	EXPECT_EQ(component->setActive(false), kResultOk);
}
