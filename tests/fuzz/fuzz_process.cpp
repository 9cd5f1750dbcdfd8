// The process path through the bundle, driven like a host would and then
// some: any rate from 8 to 384 kHz, mono, stereo and refused arrangements,
// blocks of 0 to 8192 samples, parameter queues with any id, offset and
// value, any tempo, poisonous samples, silence flags, bypass, in-place
// buffers, activation toggles and state loads between blocks.
//
// Invariants: every call answers kResultOk; outside bypass every output
// sample is finite and within +-1; in bypass each output is its input, bit
// for bit (both once a change of the bypass has had time to fade: the
// chain's fill, a block and 10 ms of processed samples, unless an
// activation or a state load made it apply at once); an output flagged
// silent holds zeros; the cells follow the host's changes exactly (the
// last point that holds a value, ids 1..19, NaN ignored, clamped to 0..1,
// below the smallest normal float 0); after any history, settings whose
// sound forgets its past (no chorus, no echoes, no reverberation), given as
// host changes, sound after a while like a fresh instance started with
// them (after histories no louder than full scale); after
// setActive(false)/setActive(true)
// the instance sounds exactly like another one reset the same way after a
// different history, given the same parameters, tempo and blocks (building
// a fresh instance per input would take longer than all the rest: that
// comparison is Lifecycle.ReactivationSoundsExactlyLikeAFreshInstance); the
// tail reported to the host stays within five minutes.
//
// Input layout (see tools/gen_fuzz_seeds.py): a setup, then operations until
// the input ends.

#include "fuzzreader.h"
#include "host/module.h"
#include "host/plugininstance.h"

#include "brontalparams.h"
#include "brontalstate.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace host = brontal::host;
using brontal::fuzz::FuzzReader;

namespace {

constexpr int kMaxChannels = 4;
constexpr int32 kMaxBlock = 8192;
// Samples one input may process in all at 48 kHz, so that the fuzzer stays
// fast; fewer at higher rates, where the cabinet's response is longer.
constexpr int64 kSampleBudget = 1 << 12;
// Processed samples after a change of the bypass within which its output
// may be on the way: switched off, the chain runs unheard until its blocks'
// memories hold the present signal (at most the enhancer's 0.1 s, the
// compressor's 1024 samples or the cabinet's taps), from the start of the
// block, then fades in over 10 ms; switched on, it fades out.
int64 BypassTransition(double dRate)
{
	return 2100 + kMaxBlock + static_cast<int64>(std::ceil(0.11 * dRate)) + 1;
}
// Seconds a settled comparison runs both instances, and the share of it at
// the end that is compared. The glides, the fades and the short memories
// are over within 0.2 s; the slowest is the equalisers' lowest band, whose
// near-DC mode falls by e in 0.1 s: what a history of full-scale sound
// left there is 80 dB down by the compared part. Louder histories are
// not compared (the chain bounds its input at +36 dBFS, and takes seconds
// to forget that).
constexpr double kSettleSeconds = 1.2;
constexpr double kComparedShare = 1.0 / 6.0;
constexpr float kLoudestCompared = 1.0f;
constexpr int64 kSettled = std::numeric_limits<int64>::max() / 2;

constexpr double kRates[] = {8000.0,  11025.0, 16000.0,  22050.0,  32000.0,  44100.0, 48000.0,
                             88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0};
constexpr int32 kBlockSizes[] = {0,   1,   2,    3,    7,    31,   32,   33,   63,   64,   127,  128,  255,  256,
                                 511, 512, 1000, 1023, 1024, 1025, 2047, 2048, 4095, 4096, 4097, 8191, 8192};
const double kSpecialValues[] = {std::numeric_limits<double>::quiet_NaN(),
                                 -std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 -1.0,
                                 -0.0,
                                 0.0,
                                 1e-310,
                                 0.5,
                                 1.0,
                                 1.0000001,
                                 2.0,
                                 1e300,
                                 -1e300,
                                 3.5e38};
const float kSpecialSamples[] = {std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 1e30f,
                                 -1e30f,
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::denorm_min(),
                                 -1e-40f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f};

struct Arrangement
{
	SpeakerArrangement in, out;
};
const Arrangement kArrangements[] = {
    {SpeakerArr::kStereo, SpeakerArr::kStereo}, {SpeakerArr::kMono, SpeakerArr::kMono},
    {SpeakerArr::kStereo, SpeakerArr::kMono},   {SpeakerArr::kMono, SpeakerArr::kStereo},
    {SpeakerArr::k51, SpeakerArr::k51},         {SpeakerArr::kEmpty, SpeakerArr::kStereo},
};

template <typename T, size_t N> const T& pick(const T (&table)[N], unsigned uIndex)
{
	return table[uIndex % N];
}

using Channels = std::array<std::vector<float>, kMaxChannels>;

struct Change
{
	ParamID id;
	int32 offset;
	double value;
};

// Scratch of every input, allocated once: the signal of a block and its
// parameter changes.
Channels g_source;
std::vector<Change> g_changes;

std::shared_ptr<host::Module> g_module;
// The record a fresh instance saves: where every input starts.
std::vector<char> g_defaults;

std::vector<float> cellsOf(host::PluginInstance& instance)
{
	host::ByteStream stream = instance.saveComponentState();
	std::vector<float> values(20);
	FUZZ_CHECK(stream.bytes().size() >= 80, "state record of %zu bytes", stream.bytes().size());
	std::memcpy(values.data(), stream.bytes().data(), 80);
	return values;
}

// One instance, its buffers, and the set-up and channel counts the host
// runs it with.
struct Host
{
	std::unique_ptr<host::PluginInstance> instance;
	host::ProcessSetup setup;
	int32 inChannels = 2, outChannels = 2;
	Channels in, out;

	Host() : instance(std::make_unique<host::PluginInstance>(g_module))
	{
		for (auto* side : {&in, &out})
			for (auto& channel : *side)
				channel.resize(kMaxBlock);
	}

	// Sets up and activates; a refused arrangement leaves the one the
	// processor keeps, which the host then uses.
	void activate(const host::ProcessSetup& wanted)
	{
		setup = wanted;
		try
		{
			instance->activate(setup);
		}
		catch (const host::HostError&)
		{
			IAudioProcessor* processor = instance->processor();
			FUZZ_CHECK(processor->getBusArrangement(kInput, 0, setup.inputArrangement) == kResultOk &&
			               processor->getBusArrangement(kOutput, 0, setup.outputArrangement) == kResultOk,
			           "no bus arrangement after a refusal");
			FUZZ_CHECK(setup.inputArrangement == SpeakerArr::kStereo && setup.outputArrangement == SpeakerArr::kStereo,
			           "a refused arrangement must leave stereo buses");
			instance->activate(setup);
		}
		inChannels = SpeakerArr::getChannelCount(setup.inputArrangement);
		outChannels = SpeakerArr::getChannelCount(setup.outputArrangement);
	}
};

// What the cells of the instance under test must hold, and the last tempo
// the host told it.
struct Model
{
	std::vector<float> cells;
	double dTempo = 120.0;

	// What a value from the host or a record leaves in a cell: NaN nothing,
	// anything below the smallest normal float 0, at most 1.
	void apply(ParamID id, double dValue)
	{
		if (id < kFirstParam || id > brontal::kLastRecordParam || std::isnan(dValue))
			return;
		cells[id] = dValue < FLT_MIN ? 0.0f : static_cast<float>(std::min(dValue, 1.0));
	}
	bool bypass() const { return IsSwitchOn(cells[kBypass]); }
};

host::ProcessSetup readSetup(FuzzReader& input)
{
	host::ProcessSetup setup;
	// Mostly the usual rates; one code in sixteen reads any rate in the range.
	const uint8 uRate = input.u8();
	setup.sampleRate = uRate < 0xF0 ? pick(kRates, uRate) : 8000.0 + 376000.0 * (input.u32() / 4294967295.0);
	const Arrangement& arrangement = pick(kArrangements, input.u8());
	setup.inputArrangement = arrangement.in;
	setup.outputArrangement = arrangement.out;
	setup.maxBlockSize = 1 + input.u16() % kMaxBlock;
	const int32 modes[] = {kRealtime, kPrefetch, kOffline};
	setup.processMode = pick(modes, input.u8());
	return setup;
}

// Mostly short blocks, which keep the fuzzer fast; one code in sixty-four
// reads a size from the whole range or from the sizes at the edges.
int32 readBlockSize(FuzzReader& input)
{
	const uint8 uCode = input.u8();
	if (uCode < 0xFC)
		return uCode % 33;
	const uint16 uSize = input.u16();
	return (uSize & 0x8000) ? pick(kBlockSizes, uSize) : uSize % (kMaxBlock + 1);
}

double readValue(FuzzReader& input)
{
	const uint8 uKind = input.u8();
	switch (uKind % 4)
	{
		case 0: return pick(kSpecialValues, input.u8());
		case 1: return input.f64();
		default: return input.u8() / 255.0;
	}
}

std::optional<double> readTempo(FuzzReader& input)
{
	const uint8 uKind = input.u8();
	switch (uKind % 5)
	{
		case 0: return std::nullopt;
		case 1: return pick(kSpecialValues, input.u8()) * 120.0;
		case 2: return input.f64();
		case 3: return input.u16() / 10.0;
		default: return 20.0 + input.u8();
	}
}

ParamID readId(FuzzReader& input)
{
	const uint8 uCode = input.u8();
	if (uCode < 0xF0)
		return uCode % 22;
	return input.u32();
}

int32 readOffset(FuzzReader& input, int32 iBlock)
{
	const int32 offsets[] = {0, iBlock - 1, iBlock, -1, std::numeric_limits<int32>::max(),
	                         std::numeric_limits<int32>::min()};
	const uint8 uCode = input.u8();
	return uCode < 0xF0 ? pick(offsets, uCode) : static_cast<int32>(input.u32());
}

// Fills n samples of the channels from a deterministic recipe.
void makeSignal(FuzzReader& input, Channels& channels, int32 n)
{
	const uint8 uKind = input.u8();
	const uint32 uSeed = input.u32();
	const float fLevel = input.u8() / 64.0f;
	float afRaw[4];
	for (float& f : afRaw)
		f = uKind % 8 == 7 ? input.f32() : 0.0f;
	for (int c = 0; c < kMaxChannels; ++c)
	{
		uint32 uState = uSeed * 2654435761u + static_cast<uint32>(c) * 40503u + 1u;
		const auto next = [&uState] {
			uState = uState * 1664525u + 1013904223u;
			return uState;
		};
		const double dStep = 2.0 * M_PI * (20.0 + uSeed % 20000) / 48000.0;
		float* pf = channels[static_cast<size_t>(c)].data();
		for (int32 i = 0; i < n; ++i)
		{
			const float fNoise = static_cast<int32>(next()) / 2147483648.0f;
			switch (uKind % 8)
			{
				case 0: pf[i] = 0.0f; break;
				case 1: pf[i] = fLevel * static_cast<float>(std::sin(dStep * i + c)); break;
				case 2: pf[i] = fLevel * fNoise; break;
				case 3: pf[i] = next() % 7 == 0 ? pick(kSpecialSamples, next() >> 8) : fLevel * fNoise; break;
				case 4: pf[i] = (i & 1) ? 1e30f : -1e30f; break;
				case 5: pf[i] = fNoise * 1e-38f; break;
				case 6: pf[i] = i == 0 ? fLevel : 0.0f; break;
				default: pf[i] = afRaw[i % 4]; break;
			}
		}
	}
}

bool allZero(const float* pf, int32 n)
{
	return std::all_of(pf, pf + n, [](float f) { return f == 0.0f; });
}

// Building an instance takes far longer than a typical input runs, so the
// two instances live for the whole fuzzing run. Every input starts the one
// under test over as a host would (defaults loaded, setActive(false),
// setActive(true), tempo 120); that a reset leaves nothing of the history
// behind is what the reactivation check holds it to.
struct Instances
{
	Host subject;
	Host reference;
};
Instances* g_pInstances = nullptr;

class Session
{
public:
	Session(FuzzReader& input, Instances& instances)
		: m_input(input), m_a(instances.subject), m_reference(instances.reference)
	{
	}

	void run()
	{
		m_model.cells.resize(20);
		std::memcpy(m_model.cells.data(), g_defaults.data(), 80);
		host::ByteStream defaults(g_defaults);
		m_a.instance->loadComponentState(defaults);
		m_a.activate(readSetup(m_input));
		m_iSinceBypassChange = kSettled;
		tellTempo(m_a, m_model.dTempo);
		// Operations: mostly blocks; reactivations, state loads and new
		// set-ups between them now and then.
		while (!m_input.empty() && m_iSamples < kSampleBudget)
		{
			const uint8 uOp = m_input.u8();
			if (uOp >= 0xDE && uOp < 0xE0)
				settle();
			else if (uOp < 0xE0)
				block();
			else if (uOp < 0xF0)
				toggle();
			else if (uOp < 0xF8)
				loadState();
			else
			{
				m_pReference = nullptr;
				m_a.activate(readSetup(m_input));
				m_fLoudest = 0.0f;
				m_iSinceBypassChange = kSettled;
			}
		}
		checkCells();
	}

private:
	void block()
	{
		const int32 n = readBlockSize(m_input);
		const uint8 uBits = m_input.u8();
		const bool bContext = uBits & 1, bOutChanges = uBits & 2, bHonest = !(uBits & 4), bInPlace = uBits & 8;
		const bool bOddChannels = uBits & 16;
		const std::optional<double> tempo = readTempo(m_input);
		const uint64 uSilence = m_input.u8();
		int32 iIn = m_a.inChannels, iOut = m_a.outChannels;
		if (bOddChannels)
		{
			const uint8 uCounts = m_input.u8();
			iIn = uCounts % (kMaxChannels + 1);
			iOut = (uCounts >> 4) % (kMaxChannels + 1);
		}
		Channels& source = g_source;
		makeSignal(m_input, source, n);
		for (int c = 0; c < iIn && c < kMaxChannels; ++c)
			for (int32 i = 0; i < n; ++i)
				if (std::isfinite(source[size_t(c)][size_t(i)]))
					m_fLoudest = std::max(m_fLoudest, std::fabs(source[size_t(c)][size_t(i)]));
		if (bHonest)
			for (int c = 0; c < kMaxChannels; ++c)
				if (uSilence & (uint64(1) << c))
					std::fill_n(source[static_cast<size_t>(c)].data(), n, 0.0f);

		std::vector<Change>& changes = g_changes;
		changes.clear();
		const int iQueues = m_input.u8() % 9;
		for (int q = 0; q < iQueues; ++q)
		{
			const ParamID id = readId(m_input);
			const int iPoints = m_input.u8() % 5;
			for (int p = 0; p < iPoints; ++p)
				changes.push_back({id, readOffset(m_input, n), readValue(m_input)});
		}

		// The host's view: the queue keeps points in offset order and the
		// last one that holds a value counts.
		const bool bBypassBefore = m_model.bypass();
		for (const Change& change : changes)
			m_a.instance->block().inputChanges().add(change.id, change.value, change.offset);
		for (int32 i = 0; i < m_a.instance->block().inputChanges().getParameterCount(); ++i)
		{
			auto* pQueue = static_cast<host::ParamValueQueue*>(m_a.instance->block().inputChanges().getParameterData(i));
			for (int32 p = 0; p < pQueue->getPointCount(); ++p)
			{
				int32 iOffset = 0;
				ParamValue dValue = 0.0;
				if (pQueue->getPoint(p, iOffset, dValue) == kResultTrue)
					m_model.apply(pQueue->getParameterId(), dValue);
			}
		}
		// A tempo counts when it is valid, finite and positive as process
		// sees it: with denormals taken as zero, the smallest are 0.
		if (bContext && tempo && std::isfinite(*tempo) && *tempo >= DBL_MIN)
			m_model.dTempo = *tempo;

		const bool bBypass = m_model.bypass();
		if (bBypass != bBypassBefore)
			m_iSinceBypassChange = 0;
		const Path path = m_iSinceBypassChange < BypassTransition(m_a.setup.sampleRate)
		                      ? Path::kChanging
		                      : (bBypass ? Path::kBypassed : Path::kProcessing);
		m_bInPlace = bInPlace;
		runOne(m_a, source, n, iIn, iOut, uSilence, bContext, tempo, bOutChanges, bInPlace);
		if (n > 0 && iIn > 0 && iOut > 0)
			m_iSinceBypassChange += n;
		checkOutput(m_a, source, n, iIn, iOut, path, bHonest ? 0 : uSilence);
		// Whatever the settings and tempo, the tail a host is told stays
		// within the five minutes the processor promises at most.
		const uint32 uTail = m_a.instance->processor()->getTailSamples();
		FUZZ_CHECK(uTail <= std::ceil(300.1 * m_a.setup.sampleRate), "a tail of %u samples", uTail);

		if (m_pReference)
		{
			for (const Change& change : changes)
				m_pReference->instance->block().inputChanges().add(change.id, change.value, change.offset);
			runOne(*m_pReference, source, n, iIn, iOut, uSilence, bContext, tempo, bOutChanges, bInPlace);
			compareWithReference(n, iOut);
		}
		m_iSamples += static_cast<int64>(n * (m_pReference ? 2 : 1) * std::max(1.0, m_a.setup.sampleRate / 48000.0)) + 16;
	}

	void runOne(Host& h, const Channels& source, int32 n, int32 iIn, int32 iOut,
	            uint64 uSilence, bool bContext, std::optional<double> tempo, bool bOutChanges, bool bInPlace)
	{
		float* apIn[kMaxChannels];
		float* apOut[kMaxChannels];
		for (int c = 0; c < kMaxChannels; ++c)
		{
			std::copy_n(source[static_cast<size_t>(c)].data(), n, h.in[static_cast<size_t>(c)].data());
			std::fill_n(h.out[static_cast<size_t>(c)].data(), n, 12345.0f);
			apIn[c] = h.in[static_cast<size_t>(c)].data();
			apOut[c] = bInPlace ? apIn[c] : h.out[static_cast<size_t>(c)].data();
		}
		host::ProcessBlock& block = h.instance->block();
		block.setContextEnabled(bContext);
		block.setTempo(tempo);
		block.setOutputChangesEnabled(bOutChanges);
		const tresult result = h.instance->process({apIn, iIn, apOut, iOut, n, uSilence});
		FUZZ_CHECK(result == kResultOk, "process answered %d", static_cast<int>(result));
	}

	// uUnknown: input channels flagged silent that are not (a careless host).
	// What bypass passes on from those is not checked, nor, in place, what
	// their buffers hold afterwards: the plug-in may take the host's word.
	enum class Path
	{
		kProcessing,
		kBypassed,
		kChanging // from one to the other
	};

	void checkOutput(Host& h, const Channels& source, int32 n, int32 iIn,
	                 int32 iOut, Path path, uint64 uUnknown)
	{
		// No input bus, no output bus or no samples: nothing is written.
		if (n == 0 || iIn == 0 || iOut == 0)
			return;
		const uint64 uOutFlags = h.instance->block().outputSilenceFlags();
		for (int c = 0; c < iOut; ++c)
		{
			if (m_bInPlace && (uUnknown & (uint64(1) << c)))
				continue;
			const float* pf = outputOf(h, c);
			if (uOutFlags & (uint64(1) << c))
				FUZZ_CHECK(allZero(pf, n), "output %d flagged silent holds sound", c);
			if (path == Path::kChanging)
				continue;
			if (path == Path::kBypassed)
			{
				if (uUnknown & (uint64(1) << c))
					continue;
				const float* pfIn = c < iIn ? source[static_cast<size_t>(c)].data() : nullptr;
				FUZZ_CHECK(pfIn ? std::memcmp(pf, pfIn, sizeof(float) * static_cast<size_t>(n)) == 0 : allZero(pf, n),
				           "bypassed output %d is not its input", c);
				continue;
			}
			for (int32 i = 0; i < n; ++i)
				FUZZ_CHECK(std::isfinite(pf[i]) && std::fabs(pf[i]) <= 1.0f, "output %d sample %d is %g", c,
				           static_cast<int>(i), static_cast<double>(pf[i]));
		}
	}

	// Where the plug-in wrote output channel c in the last block: in place,
	// the input buffer is the output buffer.
	const float* outputOf(const Host& h, int c) const
	{
		return m_bInPlace ? h.in[size_t(c)].data() : h.out[size_t(c)].data();
	}

	void compareWithReference(int32 n, int32 iOut)
	{
		for (int c = 0; c < iOut && n > 0; ++c)
			FUZZ_CHECK(std::memcmp(outputOf(m_a, c), outputOf(*m_pReference, c), sizeof(float) * static_cast<size_t>(n)) == 0,
			           "output %d differs from the reference after reactivation", c);
		FUZZ_CHECK(m_a.instance->block().outputSilenceFlags() == m_pReference->instance->block().outputSilenceFlags(),
		           "silence flags differ from the reference");
		host::ParameterChanges& a = m_a.instance->block().outputChanges();
		host::ParameterChanges& b = m_pReference->instance->block().outputChanges();
		FUZZ_CHECK(a.getParameterCount() == b.getParameterCount(), "indicator reports differ from the reference");
		for (int32 i = 0; i < a.getParameterCount(); ++i)
		{
			auto* qa = static_cast<host::ParamValueQueue*>(a.getParameterData(i));
			auto* qb = static_cast<host::ParamValueQueue*>(b.getParameterData(i));
			FUZZ_CHECK(qa->getParameterId() == qb->getParameterId() && qa->lastValue() == qb->lastValue(),
			           "indicator %u differs from the reference", qa->getParameterId());
		}
	}

	// setActive(false), setActive(true); from here on the reference, reset
	// the same way after a history of its own (the blocks it ran beside the
	// subject before, or none at all the first time), must give the same
	// output when given the same setup, cells and tempo. Whatever a reset
	// leaves behind shows as a difference between the two histories.
	void toggle()
	{
		m_a.instance->activate(m_a.setup);
		m_fLoudest = 0.0f;
		host::ByteStream state = m_a.instance->saveComponentState();
		m_reference.instance->loadComponentState(state);
		m_reference.activate(m_a.setup);
		FUZZ_CHECK(m_reference.setup.inputArrangement == m_a.setup.inputArrangement &&
		               m_reference.setup.outputArrangement == m_a.setup.outputArrangement,
		           "the reference takes another arrangement");
		// The tempo is the host's, not a parameter: tell the reference the last.
		tellTempo(m_reference, m_model.dTempo);
		m_pReference = &m_reference;
		m_iSinceBypassChange = kSettled;
	}

	// A call without audio whose process context carries the tempo.
	static void tellTempo(Host& h, double dTempo)
	{
		h.instance->block().setContextEnabled(true);
		h.instance->block().setTempo(dTempo);
		FUZZ_CHECK(h.instance->process({}) == kResultOk, "parameter flush refused");
	}

	void loadState()
	{
		std::vector<char> record(80);
		m_input.bytes(reinterpret_cast<uint8*>(record.data()), record.size());
		for (Host* h : {&m_a, m_pReference})
			if (h)
			{
				host::ByteStream stream(record);
				FUZZ_CHECK(h->instance->component()->setState(&stream) == kResultOk, "a whole record was refused");
			}
		for (int i = kFirstParam; i <= brontal::kLastRecordParam; ++i)
		{
			float f;
			std::memcpy(&f, record.data() + 4 * i, 4);
			m_model.apply(static_cast<ParamID>(i), f);
		}
		m_iSinceBypassChange = kSettled;
	}

	// Settings whose sound forgets its history within a fraction of a second
	// (no chorus, no echoes, the reverb's loops open; anything else as the
	// input says), taken by the instance under test as host changes at
	// the start of a block, and by the reference as the state it starts from
	// fresh. After the same signal in the same blocks for a while, the two
	// must sound the same: every switch has really gone where it was sent,
	// whatever it was doing. Rounding differences that the drive magnifies
	// stay far below the bound. The session ends here.
	void settle()
	{
		std::vector<float> record(20);
		record[0] = 1.0f;
		const uint32 uSwitches = m_input.u32();
		for (int i = kFirstParam; i <= brontal::kLastRecordParam; ++i)
			record[size_t(i)] = (uSwitches >> i) & 1 ? 1.0f : 0.0f;
		for (const int iLevel : {kCompressorLevel, kDistortionLevel, kChorusSpeed, kDelayLevel})
			record[size_t(iLevel)] = m_input.u8() / 255.0f;
		record[kModulationOnOff] = record[kDelayOnOff] = record[kReverbLevel] = 0.0f;
		for (int i = kOutputLeftVumeter; i <= kButton1; ++i)
			record[size_t(i)] = 0.0f;
		const int32 iBlock = std::max<int32>(1, readBlockSize(m_input));
		const uint32 uSeed = m_input.u32();
		const float fLevel = 0.1f + m_input.u8() / 300.0f;

		for (int i = kFirstParam; i <= brontal::kLastRecordParam; ++i)
			if (!IsIndicator(ParamDefOf(i)))
			{
				m_a.instance->block().inputChanges().add(static_cast<ParamID>(i), record[size_t(i)]);
				m_model.apply(static_cast<ParamID>(i), record[size_t(i)]);
			}
		std::vector<char> bytes(80);
		std::memcpy(bytes.data(), record.data(), 80);
		host::ByteStream state(bytes);
		m_reference.instance->loadComponentState(state);
		m_reference.activate(m_a.setup);
		tellTempo(m_reference, m_model.dTempo);
		m_pReference = nullptr;

		const int64 iLength = static_cast<int64>(kSettleSeconds * m_a.setup.sampleRate);
		const int64 iFrom = iLength - static_cast<int64>(kComparedShare * static_cast<double>(iLength));
		const int32 iChannels = std::min(m_a.inChannels, m_a.outChannels);
		double dDiff = 0.0, dSignal = 0.0;
		uint32 uState = uSeed;
		for (int64 iDone = 0; iDone < iLength && iChannels > 0; iDone += iBlock)
		{
			const int32 n = static_cast<int32>(std::min<int64>(iBlock, iLength - iDone));
			for (int c = 0; c < kMaxChannels; ++c)
				for (int32 i = 0; i < n; ++i)
				{
					uState = uState * 1664525u + 1013904223u;
					const double t = static_cast<double>(iDone + i) / m_a.setup.sampleRate;
					g_source[size_t(c)][size_t(i)] =
					    fLevel * static_cast<float>(0.8 * std::sin(2.0 * M_PI * (110.0 + 37.0 * c) * t) +
					                                0.2 * static_cast<int32>(uState) / 2147483648.0);
				}
			for (Host* h : {&m_a, &m_reference})
				runOne(*h, g_source, n, iChannels, iChannels, 0, true, m_model.dTempo, true, false);
			for (int c = 0; c < iChannels; ++c)
				for (int32 i = 0; i < n; ++i)
				{
					const float fExpected = m_reference.out[size_t(c)][size_t(i)];
					FUZZ_CHECK(std::isfinite(m_a.out[size_t(c)][size_t(i)]), "output %d sample %d is not finite", c,
					           static_cast<int>(i));
					if (iDone + i < iFrom)
						continue;
					const double dError = m_a.out[size_t(c)][size_t(i)] - fExpected;
					dDiff += dError * dError;
					dSignal += static_cast<double>(fExpected) * fExpected;
				}
		}
		// 30 dB under the sound, or, where the settings silence it, next to
		// nothing; a switch that did not go where it was sent is 0 to 20 dB off.
		FUZZ_CHECK(m_fLoudest > kLoudestCompared || dDiff <= 1e-3 * dSignal + 1e-12 * static_cast<double>(iLength),
		           "settled at %.1f dB from a fresh instance with the same settings",
		           10.0 * std::log10(dDiff / std::max(dSignal, 1e-30)));
		m_iSinceBypassChange = kSettled;
		m_iSamples = kSampleBudget;
	}

	void checkCells()
	{
		const std::vector<float> cells = cellsOf(*m_a.instance);
		for (int i = kFirstParam; i <= brontal::kLastRecordParam; ++i)
		{
			if (IsIndicator(ParamDefOf(i)))
				FUZZ_CHECK(cells[size_t(i)] >= 0.0f && cells[size_t(i)] <= 1.0f, "indicator %d holds %g", i,
				           static_cast<double>(cells[size_t(i)]));
			else
				FUZZ_CHECK(std::memcmp(&cells[size_t(i)], &m_model.cells[size_t(i)], 4) == 0,
				           "cell %d holds %g, the host sent %g", i, static_cast<double>(cells[size_t(i)]),
				           static_cast<double>(m_model.cells[size_t(i)]));
		}
	}

	FuzzReader& m_input;
	Host& m_a;
	Host& m_reference;
	// The reference while it runs beside the subject.
	Host* m_pReference = nullptr;
	Model m_model;
	int64 m_iSamples = 0;
	bool m_bInPlace = false;
	// The largest finite sample the instance under test was given.
	float m_fLoudest = 0.0f;
	// Processed samples since the host last changed the bypass.
	int64 m_iSinceBypassChange = kSettled;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
	for (auto& channel : g_source)
		channel.resize(kMaxBlock);
	g_changes.reserve(64);
	g_module = host::Module::load(BRONTAL_BUNDLE_PATH);
	g_pInstances = new Instances;
	g_defaults = g_pInstances->subject.instance->saveComponentState().bytes();
	g_pInstances->reference.activate({});
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
	FuzzReader input(pData, nSize);
	Session(input, *g_pInstances).run();
	return 0;
}
