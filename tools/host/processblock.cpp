#include "host/processblock.h"

namespace brontal::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

void ParamValueQueue::reset(ParamID id)
{
	paramId = id;
	count = 0;
}

std::optional<ParamValue> ParamValueQueue::lastValue() const
{
	if (count == 0)
		return std::nullopt;
	return points[count - 1].value;
}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value)
{
	if (index < 0 || index >= count)
		return kResultFalse;
	sampleOffset = points[index].offset;
	value = points[index].value;
	return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index)
{
	int32 position = 0;
	while (position < count && points[position].offset < sampleOffset)
		++position;
	if (position < count && points[position].offset == sampleOffset)
	{
		points[position].value = value;
		index = position;
		return kResultOk;
	}
	if (count == kMaxPoints)
		return kResultFalse;
	for (int32 i = count; i > position; --i)
		points[i] = points[i - 1];
	points[position] = {sampleOffset, value};
	++count;
	index = position;
	return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IParamValueQueue)
	QUERY_INTERFACE(queriedIid, obj, IParamValueQueue::iid, IParamValueQueue)
	*obj = nullptr;
	return kNoInterface;
}

bool ParameterChanges::add(ParamID id, ParamValue value, int32 sampleOffset)
{
	int32 index = 0;
	IParamValueQueue* queue = addParameterData(id, index);
	return queue && queue->addPoint(sampleOffset, value, index) == kResultOk;
}

ParamValueQueue* ParameterChanges::find(ParamID id)
{
	for (int32 i = 0; i < count; ++i)
		if (queues[i].getParameterId() == id)
			return &queues[i];
	return nullptr;
}

std::optional<ParamValue> ParameterChanges::lastValue(ParamID id)
{
	const ParamValueQueue* queue = find(id);
	return queue ? queue->lastValue() : std::nullopt;
}

IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index)
{
	return index >= 0 && index < count ? &queues[index] : nullptr;
}

IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const ParamID& id, int32& index)
{
	for (int32 i = 0; i < count; ++i)
	{
		if (queues[i].getParameterId() == id)
		{
			index = i;
			return &queues[i];
		}
	}
	if (count == kMaxQueues)
		return nullptr;
	queues[count].reset(id);
	index = count;
	return &queues[count++];
}

tresult PLUGIN_API ParameterChanges::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IParameterChanges)
	QUERY_INTERFACE(queriedIid, obj, IParameterChanges::iid, IParameterChanges)
	*obj = nullptr;
	return kNoInterface;
}

tresult PLUGIN_API EventList::getEvent(int32 index, Event& e)
{
	if (index < 0 || index >= count)
		return kResultFalse;
	e = events[index];
	return kResultOk;
}

tresult PLUGIN_API EventList::addEvent(Event& e)
{
	if (count == kMaxEvents)
		return kResultFalse;
	events[count++] = e;
	return kResultOk;
}

tresult PLUGIN_API EventList::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IEventList)
	QUERY_INTERFACE(queriedIid, obj, IEventList::iid, IEventList)
	*obj = nullptr;
	return kNoInterface;
}

ProcessBlock::ProcessBlock(int32 processMode)
{
	data.processMode = processMode;
	data.symbolicSampleSize = kSample32;
	data.inputParameterChanges = &inputParameterChanges;
	data.inputEvents = &inputEventList;
	setTempo(120.0);
}

void ProcessBlock::setTempo(std::optional<double> bpm)
{
	if (bpm)
	{
		processContext.tempo = *bpm;
		processContext.state |= ProcessContext::kTempoValid;
	}
	else
	{
		processContext.state &= ~static_cast<uint32>(ProcessContext::kTempoValid);
	}
}

tresult ProcessBlock::run(IAudioProcessor& processor, const AudioBlock& audio)
{
	inputBus = {};
	inputBus.numChannels = audio.numInputChannels;
	inputBus.silenceFlags = audio.inputSilenceFlags;
	inputBus.channelBuffers32 = const_cast<float**>(audio.inputs);
	outputBus = {};
	outputBus.numChannels = audio.numOutputChannels;
	outputBus.channelBuffers32 = const_cast<float**>(audio.outputs);

	data.numSamples = audio.numSamples;
	data.numInputs = audio.numInputChannels > 0 ? 1 : 0;
	data.inputs = data.numInputs ? &inputBus : nullptr;
	data.numOutputs = audio.numOutputChannels > 0 ? 1 : 0;
	data.outputs = data.numOutputs ? &outputBus : nullptr;
	data.processContext = contextEnabled ? &processContext : nullptr;
	outputParameterChanges.clear();
	data.outputParameterChanges = outputChangesEnabled ? &outputParameterChanges : nullptr;

	const tresult result = processor.process(data);

	inputParameterChanges.clear();
	inputEventList.clear();
	processContext.projectTimeSamples += audio.numSamples;
	return result;
}

} // namespace brontal::host
