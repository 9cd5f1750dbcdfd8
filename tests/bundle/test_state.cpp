// The 80-byte state record on both sides, and the controller's mirroring of it.

#include "bundlefixture.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <gtest/gtest.h>

#include <random>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

const float kDefaults[20] = {1.0f, 1.0f, 1.0f, 0.8f, 1.0f, 0.55f, 0.0f, 1.0f, 1.0f, 0.1f,
                             1.0f, 0.75f, 0.55f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

std::vector<char> record(const float (&values)[20])
{
	std::vector<char> bytes(80);
	for (int i = 0; i < 20; ++i)
		for (int b = 0; b < 4; ++b)
		{
			uint32_t bits;
			std::memcpy(&bits, &values[i], 4);
			bytes[static_cast<size_t>(4 * i + b)] = static_cast<char>((bits >> (8 * b)) & 0xFF);
		}
	return bytes;
}

std::vector<float> decode(const std::vector<char>& bytes)
{
	std::vector<float> values(bytes.size() / 4);
	for (size_t i = 0; i < values.size(); ++i)
	{
		uint32_t bits = 0;
		for (int b = 0; b < 4; ++b)
			bits |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + static_cast<size_t>(b)])) << (8 * b);
		std::memcpy(&values[i], &bits, 4);
	}
	return values;
}

// The record's twenty values of a saved state; what follows it is the
// 'parm' chunk (parmChunk below).
std::vector<float> componentValues(host::PluginInstance& instance)
{
	host::ByteStream stream;
	EXPECT_EQ(instance.component()->getState(&stream), kResultOk);
	std::vector<char> bytes = stream.bytes();
	bytes.resize(std::min<size_t>(bytes.size(), 80));
	return decode(bytes);
}

std::vector<char> componentTail(host::PluginInstance& instance)
{
	host::ByteStream stream;
	EXPECT_EQ(instance.component()->getState(&stream), kResultOk);
	const std::vector<char>& bytes = stream.bytes();
	return bytes.size() > 80 ? std::vector<char>(bytes.begin() + 80, bytes.end()) : std::vector<char>{};
}

void appendWord(std::vector<char>& bytes, uint32_t word)
{
	for (int b = 0; b < 4; ++b)
		bytes.push_back(static_cast<char>((word >> (8 * b)) & 0xFF));
}

// The 'parm' chunk as this build saves it: tag, version 1, length, then the
// count and each parameter's id and value bits, the tuner's switch (21) and
// reference (22).
std::vector<char> parmChunk(float fTuner, float fReference)
{
	std::vector<char> bytes = {'p', 'a', 'r', 'm'};
	appendWord(bytes, 1);
	appendWord(bytes, 20);
	appendWord(bytes, 2);
	for (auto [id, value] : {std::pair<uint32_t, float>{21, fTuner}, {22, fReference}})
	{
		uint32_t bits;
		std::memcpy(&bits, &value, 4);
		appendWord(bytes, id);
		appendWord(bytes, bits);
	}
	return bytes;
}

} // namespace

TEST(State, FreshProcessorSavesMarkerAndDefaults)
{
	host::PluginInstance instance(bundle());
	host::ByteStream stream;
	ASSERT_EQ(instance.component()->getState(&stream), kResultOk);
	ASSERT_EQ(stream.bytes().size(), 112u);
	EXPECT_EQ(std::vector<char>(stream.bytes().begin(), stream.bytes().begin() + 80), record(kDefaults));
	// The tuner off, its reference at 440 Hz.
	EXPECT_EQ(std::vector<char>(stream.bytes().begin() + 80, stream.bytes().end()), parmChunk(0.0f, 0.5f));
	// The marker is 1.0 in little-endian bytes.
	EXPECT_EQ(std::vector<char>(stream.bytes().begin(), stream.bytes().begin() + 4),
	          (std::vector<char>{0x00, 0x00, static_cast<char>(0x80), 0x3F}));
}

TEST(State, RoundTripAndMarkerIsNotInterpreted)
{
	host::PluginInstance instance(bundle());
	float values[20];
	for (int i = 0; i < 20; ++i)
		values[i] = static_cast<float>(i) / 20.0f;
	values[0] = 0.0f; // any marker loads
	host::ByteStream in(record(values));
	ASSERT_EQ(instance.component()->setState(&in), kResultOk);
	const std::vector<float> saved = componentValues(instance);
	EXPECT_EQ(saved[0], 1.0f);
	for (int i = 1; i < 20; ++i)
		EXPECT_EQ(saved[static_cast<size_t>(i)], values[i]) << i;

	// The host hands the same record to the controller: all nineteen follow.
	host::ByteStream again(record(values));
	ASSERT_EQ(instance.controller()->setComponentState(&again), kResultOk);
	for (int i = 1; i < 20; ++i)
		EXPECT_EQ(instance.controller()->getParamNormalized(static_cast<ParamID>(i)), static_cast<double>(values[i]));
}

TEST(State, ShortOrFailingStreamsChangeNothing)
{
	host::PluginInstance instance(bundle());
	float values[20];
	for (float& v : values)
		v = 0.5f;
	for (size_t cut : {0u, 3u, 16u, 36u, 79u})
	{
		SCOPED_TRACE(cut);
		std::vector<char> bytes = record(values);
		bytes.resize(cut);
		host::ByteStream shortStream(bytes);
		EXPECT_EQ(instance.component()->setState(&shortStream), kResultFalse);
		host::ByteStream failing(record(values));
		failing.setFailAfter(cut);
		EXPECT_EQ(instance.component()->setState(&failing), kResultFalse);
		host::ByteStream forController(record(values));
		forController.setFailAfter(cut);
		EXPECT_EQ(instance.controller()->setComponentState(&forController), kResultFalse);
		host::ByteStream forControllerState(record(values));
		forControllerState.setFailAfter(cut);
		EXPECT_EQ(instance.controller()->setState(&forControllerState), kResultFalse);
	}
	EXPECT_EQ(componentValues(instance), std::vector<float>(std::begin(kDefaults), std::end(kDefaults)));
	EXPECT_EQ(instance.controller()->getParamNormalized(kDelayLevel), 0.75);
	EXPECT_EQ(instance.controller()->getParamNormalized(kChorusSpeed), static_cast<double>(0.1f));

	// A save into a stream that refuses reports the failure.
	host::ByteStream full;
	full.setFailAfter(40);
	EXPECT_EQ(instance.component()->getState(&full), kResultFalse);
	host::ByteStream fullController;
	fullController.setFailAfter(0);
	EXPECT_EQ(instance.controller()->getState(&fullController), kResultFalse);
	// A null stream is no state at all for the controller.
	EXPECT_EQ(instance.controller()->setComponentState(nullptr), kResultOk);
}

// Delivers at most a few bytes a read; when overstating, a read that
// delivers all it was asked for claims one byte more.
class TrickleStream : public host::ByteStream
{
public:
	TrickleStream(std::vector<char> bytes, int32 piece, bool claimMore)
		: host::ByteStream(std::move(bytes)), chunk(piece), overstate(claimMore)
	{
	}
	tresult PLUGIN_API read(void* buffer, int32 numBytes, int32* numBytesRead) override
	{
		const tresult result = host::ByteStream::read(buffer, std::min(numBytes, chunk), numBytesRead);
		if (overstate && numBytesRead && *numBytesRead == numBytes)
			*numBytesRead += 1;
		return result;
	}

private:
	int32 chunk;
	bool overstate;
};

TEST(State, RecordsArriveInPiecesButOnlyWhole)
{
	float values[20];
	for (int i = 0; i < 20; ++i)
		values[i] = static_cast<float>(i) / 40.0f;
	for (int32 chunk : {1, 7, 80})
	{
		SCOPED_TRACE(chunk);
		host::PluginInstance instance(bundle());
		TrickleStream pieces(record(values), chunk, false);
		ASSERT_EQ(instance.component()->setState(&pieces), kResultOk);
		EXPECT_EQ(componentValues(instance)[kReverbLevel], values[kReverbLevel]);

		// A stream that claims more than it was asked for cannot be trusted
		// with the record: refused, for the processor and the controller.
		host::PluginInstance other(bundle());
		TrickleStream lying(record(values), chunk, true);
		EXPECT_EQ(other.component()->setState(&lying), kResultFalse);
		EXPECT_EQ(componentValues(other), std::vector<float>(std::begin(kDefaults), std::end(kDefaults)));
		TrickleStream lyingToController(record(values), chunk, true);
		EXPECT_EQ(other.controller()->setComponentState(&lyingToController), kResultFalse);
		EXPECT_EQ(other.controller()->getParamNormalized(kDelayLevel), 0.75);
	}
}

// Answers every read with success and no bytes, and counts the reads; past
// a thousand it fails them, so that a load that keeps asking still ends.
class EmptyAnsweringStream : public host::ByteStream
{
public:
	tresult PLUGIN_API read(void*, int32, int32* numBytesRead) override
	{
		if (numBytesRead)
			*numBytesRead = 0;
		return ++reads > 1000 ? kResultFalse : kResultOk;
	}
	int reads = 0;
};

// A stream that says yes and gives nothing ends the load at once, refused,
// on both sides.
TEST(State, AStreamThatDeliversNothingEndsTheLoad)
{
	host::PluginInstance instance(bundle());
	EmptyAnsweringStream forComponent, forControllerRecord, forControllerState;
	EXPECT_EQ(instance.component()->setState(&forComponent), kResultFalse);
	EXPECT_EQ(instance.controller()->setComponentState(&forControllerRecord), kResultFalse);
	EXPECT_EQ(instance.controller()->setState(&forControllerState), kResultFalse);
	for (const EmptyAnsweringStream* stream : {&forComponent, &forControllerRecord, &forControllerState})
		EXPECT_EQ(stream->reads, 1);
	EXPECT_EQ(componentValues(instance), std::vector<float>(std::begin(kDefaults), std::end(kDefaults)));
}

TEST(State, OutOfRangeAndNaNValuesAreTamed)
{
	host::PluginInstance instance(bundle());
	float values[20];
	std::copy(std::begin(kDefaults), std::end(kDefaults), values);
	values[kDelayLevel] = 7.0f;
	values[kReverbLevel] = -3.0f;
	values[kChorusSpeed] = std::nanf("");
	values[kCompressorLevel] = std::numeric_limits<float>::infinity();
	host::ByteStream in(record(values));
	ASSERT_EQ(instance.component()->setState(&in), kResultOk);
	const std::vector<float> saved = componentValues(instance);
	EXPECT_EQ(saved[kDelayLevel], 1.0f);
	EXPECT_EQ(saved[kReverbLevel], 0.0f);
	EXPECT_EQ(saved[kChorusSpeed], 0.1f);
	EXPECT_EQ(saved[kCompressorLevel], 1.0f);

	host::ByteStream forController(record(values));
	ASSERT_EQ(instance.controller()->setComponentState(&forController), kResultOk);
	EXPECT_EQ(instance.controller()->getParamNormalized(kDelayLevel), 1.0);
	EXPECT_EQ(instance.controller()->getParamNormalized(kChorusSpeed), static_cast<double>(0.1f));
}

TEST(State, SavedMetersComeBackUntilActivation)
{
	host::PluginInstance instance(bundle());
	float values[20];
	std::copy(std::begin(kDefaults), std::end(kDefaults), values);
	values[kOutputLeftVumeter] = 0.6f;
	values[kCompressionLed] = 1.0f;
	host::ByteStream in(record(values));
	ASSERT_EQ(instance.component()->setState(&in), kResultOk);
	EXPECT_EQ(componentValues(instance)[kOutputLeftVumeter], 0.6f);
	instance.activate({});
	const std::vector<float> afterActivation = componentValues(instance);
	for (int id = kOutputLeftVumeter; id <= kCompressionLed; ++id)
		EXPECT_EQ(afterActivation[static_cast<size_t>(id)], 0.0f) << id;
}

// The tuner's switch and reference go in the 'parm' chunk and come back
// from it on both sides; a record alone (every project saved before them)
// loads the tuner off at 440 Hz, whatever the instance held.
TEST(State, TheTunerSavesAfterTheRecordAndOldProjectsLoadItOffAt440)
{
	auto instance = activeInstance();
	render(*instance, sine(1024, 110.0, 48000.0, 0.2f), 256, {{kTunerOnOff, 1.0}, {kTunerReference, 0.1}});
	EXPECT_EQ(componentTail(*instance), parmChunk(1.0f, 0.1f));
	host::ByteStream saved = instance->saveComponentState();

	host::PluginInstance other(bundle());
	other.loadComponentState(saved);
	EXPECT_EQ(componentTail(other), parmChunk(1.0f, 0.1f));
	EXPECT_EQ(other.controller()->getParamNormalized(kTunerOnOff), 1.0);
	EXPECT_EQ(other.controller()->getParamNormalized(kTunerReference), static_cast<double>(0.1f));

	host::ByteStream old(record(kDefaults));
	other.loadComponentState(old);
	EXPECT_EQ(componentTail(other), parmChunk(0.0f, 0.5f));
	EXPECT_EQ(other.controller()->getParamNormalized(kTunerOnOff), 0.0);
	EXPECT_EQ(other.controller()->getParamNormalized(kTunerReference), 0.5);
}

TEST(State, ControllerKeepsItsOwnRecord)
{
	host::PluginInstance instance(bundle());
	IEditController* controller = instance.controller();
	host::ByteStream fresh;
	ASSERT_EQ(controller->getState(&fresh), kResultOk);
	std::vector<char> expected = record(kDefaults);
	const std::vector<char> tail = parmChunk(0.0f, 0.5f);
	expected.insert(expected.end(), tail.begin(), tail.end());
	EXPECT_EQ(fresh.bytes(), expected);

	ASSERT_EQ(controller->setParamNormalized(kDelayLevel, 0.25), kResultOk);
	ASSERT_EQ(controller->setParamNormalized(kBypass, 1.0), kResultOk);
	host::ByteStream changed;
	ASSERT_EQ(controller->getState(&changed), kResultOk);
	const std::vector<float> values = decode(std::vector<char>(changed.bytes().begin(), changed.bytes().begin() + 80));
	EXPECT_EQ(values[kDelayLevel], 0.25f);
	EXPECT_EQ(values[kBypass], 1.0f);

	host::PluginInstance other(bundle());
	changed.rewind();
	ASSERT_EQ(other.controller()->setState(&changed), kResultOk);
	EXPECT_EQ(other.controller()->getParamNormalized(kDelayLevel), 0.25);
	EXPECT_EQ(other.controller()->getParamNormalized(kBypass), 1.0);
	// NaN from a host is ignored, not stored.
	EXPECT_NE(other.controller()->setParamNormalized(kDelayLevel, std::nan("")), kResultOk);
	EXPECT_EQ(other.controller()->getParamNormalized(kDelayLevel), 0.25);
}

TEST(State, FuzzedRecordsNeverBreakTheProcessor)
{
	auto instance = activeInstance(48000.0, 256);
	std::mt19937 rng(99);
	std::uniform_int_distribution<int> byte(0, 255);
	std::uniform_int_distribution<int> length(0, 100);
	Stereo in(256, 0.1f);
	for (int round = 0; round < 200; ++round)
	{
		std::vector<char> bytes(static_cast<size_t>(length(rng)));
		for (char& b : bytes)
			b = static_cast<char>(byte(rng));
		host::ByteStream stream(bytes);
		const tresult result = instance->component()->setState(&stream);
		EXPECT_EQ(result, bytes.size() >= 80 ? kResultOk : kResultFalse);
		const Stereo out = render(*instance, in, 256, {{kBypass, 0.0}});
		for (float v : out.left)
			ASSERT_TRUE(std::isfinite(v));
		for (float v : componentValues(*instance))
			ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
	}
}

// A chunk after the record: tag, version, length, payload.
void appendChunk(std::vector<char>& bytes, const char (&tag)[5], uint32_t version, uint32_t length,
                 const std::vector<char>& payload)
{
	bytes.insert(bytes.end(), tag, tag + 4);
	appendWord(bytes, version);
	appendWord(bytes, length);
	bytes.insert(bytes.end(), payload.begin(), payload.end());
}

// Whatever follows the record, the record loads: chunks of a later build are
// skipped, a cut or oversized one is left out, and a 'parm' chunk cannot
// reach the record's parameters.
TEST(State, TheRecordLoadsWhateverFollowsIt)
{
	float values[20];
	std::copy(std::begin(kDefaults), std::end(kDefaults), values);
	values[kReverbLevel] = 0.3f;
	values[kDelayOnOff] = 1.0f;
	auto withTail = [&](auto&& addTail) {
		std::vector<char> bytes = record(values);
		addTail(bytes);
		return bytes;
	};
	std::vector<char> parm;
	appendWord(parm, 2);
	appendWord(parm, kReverbLevel); // the record's own: ignored
	appendWord(parm, 0x3F666666);   // 0.9f
	appendWord(parm, 4000);         // a later build's: ignored
	appendWord(parm, 0x3F000000);
	const std::vector<std::vector<char>> states = {
		withTail([](std::vector<char>& b) { appendChunk(b, "zzzz", 7, 3, {1, 2, 3}); }),
		withTail([](std::vector<char>& b) { appendChunk(b, "zzzz", 1, 1000, {1, 2, 3}); }),
		withTail([](std::vector<char>& b) { appendChunk(b, "zzzz", 1, 0x80000000u, {}); }),
		withTail([](std::vector<char>& b) { b.insert(b.end(), {1, 2, 3, 4, 5}); }),
		withTail([&](std::vector<char>& b) { appendChunk(b, "parm", 1, static_cast<uint32_t>(parm.size()), parm); }),
		withTail([&](std::vector<char>& b) { appendChunk(b, "parm", 1, 4, {9, 0, 0, 0}); }),
	};
	for (size_t i = 0; i < states.size(); ++i)
	{
		SCOPED_TRACE(i);
		host::PluginInstance instance(bundle());
		host::ByteStream in(states[i]);
		ASSERT_EQ(instance.component()->setState(&in), kResultOk);
		const std::vector<float> saved = componentValues(instance);
		EXPECT_EQ(saved.size(), 20u);
		EXPECT_EQ(saved[kReverbLevel], 0.3f);
		EXPECT_EQ(saved[kDelayOnOff], 1.0f);
		host::ByteStream forController(states[i]);
		ASSERT_EQ(instance.controller()->setComponentState(&forController), kResultOk);
		EXPECT_EQ(instance.controller()->getParamNormalized(kReverbLevel), static_cast<double>(0.3f));
		// Delivered a few bytes at a time, the same.
		host::PluginInstance other(bundle());
		TrickleStream pieces(states[i], 5, false);
		ASSERT_EQ(other.component()->setState(&pieces), kResultOk);
		EXPECT_EQ(componentValues(other)[kReverbLevel], 0.3f);
	}
}

TEST(Messages, ProcessorAnswersItsMessages)
{
	host::PluginInstance instance(bundle());
	IConnectionPoint* point = host::queryInterface<IConnectionPoint>(instance.component());
	ASSERT_NE(point, nullptr);
	EXPECT_EQ(point->notify(nullptr), kInvalidArgument);

	IMessage* binary = new HostMessage;
	ASSERT_NE(binary, nullptr);
	binary->setMessageID("BinaryMessage");
	const char payload[3] = {1, 2, 3};
	binary->getAttributes()->setBinary("MyData", payload, 3);
	EXPECT_EQ(point->notify(binary), kResultOk);
	binary->release();

	IMessage* text = new HostMessage;
	text->setMessageID("TextMessage");
	text->getAttributes()->setString("Text", reinterpret_cast<const TChar*>(u"hello there"));
	testing::internal::CaptureStderr();
	EXPECT_EQ(point->notify(text), kResultOk);
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Brontal] received: hello there\n");
	text->release();
	point->release();
}
