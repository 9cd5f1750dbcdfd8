#pragma once

// Host-side process data: parameter changes, events, the process context and
// the audio bus buffers of one block. Storage is fixed and preallocated, so
// running a block allocates nothing.

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <array>
#include <optional>

namespace brontal::host {

// The queue of one parameter for one block, points kept in sample-offset
// order (a point at an offset that is already present replaces it).
class ParamValueQueue : public Steinberg::Vst::IParamValueQueue
{
public:
	static constexpr Steinberg::int32 kMaxPoints = 64;

	void reset(Steinberg::Vst::ParamID id);
	// Last value of the queue, if it holds any point.
	std::optional<Steinberg::Vst::ParamValue> lastValue() const;

	Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return paramId; }
	Steinberg::int32 PLUGIN_API getPointCount() override { return count; }
	Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
	                                       Steinberg::Vst::ParamValue& value) override;
	Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
	                                       Steinberg::Vst::ParamValue value,
	                                       Steinberg::int32& index) override;

	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
	struct Point
	{
		Steinberg::int32 offset;
		Steinberg::Vst::ParamValue value;
	};
	Steinberg::Vst::ParamID paramId = 0;
	Steinberg::int32 count = 0;
	std::array<Point, kMaxPoints> points{};
};

// The parameter changes of one block: at most kMaxQueues queues, one per id.
class ParameterChanges : public Steinberg::Vst::IParameterChanges
{
public:
	static constexpr Steinberg::int32 kMaxQueues = 64;

	void clear() { count = 0; }
	// Adds a point for id (creating its queue); false when full.
	bool add(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value,
	         Steinberg::int32 sampleOffset = 0);
	// Queue of id, or null.
	ParamValueQueue* find(Steinberg::Vst::ParamID id);
	// Value of the last point of id's queue, if there is one.
	std::optional<Steinberg::Vst::ParamValue> lastValue(Steinberg::Vst::ParamID id);

	Steinberg::int32 PLUGIN_API getParameterCount() override { return count; }
	Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
	Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
	                                                              Steinberg::int32& index) override;

	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
	Steinberg::int32 count = 0;
	std::array<ParamValueQueue, kMaxQueues> queues;
};

// An event list with room for kMaxEvents events.
class EventList : public Steinberg::Vst::IEventList
{
public:
	static constexpr Steinberg::int32 kMaxEvents = 64;

	void clear() { count = 0; }

	Steinberg::int32 PLUGIN_API getEventCount() override { return count; }
	Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
	Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
	Steinberg::int32 count = 0;
	std::array<Steinberg::Vst::Event, kMaxEvents> events{};
};

// Channel pointers of one block. A side with no channels is passed to the
// plug-in as no bus at all (numInputs or numOutputs 0).
struct AudioBlock
{
	float* const* inputs = nullptr;
	Steinberg::int32 numInputChannels = 0;
	float* const* outputs = nullptr;
	Steinberg::int32 numOutputChannels = 0;
	Steinberg::int32 numSamples = 0;
	Steinberg::uint64 inputSilenceFlags = 0;
};

// Everything the host hands to IAudioProcessor::process for one block.
// Input changes and events are filled by the caller before run() and cleared
// after it; output changes are cleared before run() and read after it.
class ProcessBlock
{
public:
	explicit ProcessBlock(Steinberg::int32 processMode = Steinberg::Vst::kRealtime);

	ParameterChanges& inputChanges() { return inputParameterChanges; }
	ParameterChanges& outputChanges() { return outputParameterChanges; }
	EventList& inputEvents() { return inputEventList; }
	Steinberg::Vst::ProcessContext& context() { return processContext; }

	// Sets the tempo and its validity flag; an empty value leaves the tempo
	// invalid (flag cleared).
	void setTempo(std::optional<double> bpm);
	// Whether the block carries a process context / output changes at all.
	void setContextEnabled(bool enabled) { contextEnabled = enabled; }
	void setOutputChangesEnabled(bool enabled) { outputChangesEnabled = enabled; }
	void setProcessMode(Steinberg::int32 mode) { data.processMode = mode; }

	// The output silence flags that the plug-in reported in the last block.
	Steinberg::uint64 outputSilenceFlags() const { return outputBus.silenceFlags; }

	// Runs one block; advances the context's sample position by its length.
	Steinberg::tresult run(Steinberg::Vst::IAudioProcessor& processor, const AudioBlock& audio);

private:
	ParameterChanges inputParameterChanges;
	ParameterChanges outputParameterChanges;
	EventList inputEventList;
	Steinberg::Vst::ProcessContext processContext{};
	Steinberg::Vst::AudioBusBuffers inputBus{};
	Steinberg::Vst::AudioBusBuffers outputBus{};
	Steinberg::Vst::ProcessData data;
	bool contextEnabled = true;
	bool outputChangesEnabled = true;
};

} // namespace brontal::host
