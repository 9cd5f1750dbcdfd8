#include "audioeffect.h"

namespace Steinberg {
namespace Vst {

AudioEffect::AudioEffect()
{
	processSetup.processMode = kRealtime;
	processSetup.symbolicSampleSize = kSample32;
	processSetup.maxSamplesPerBlock = 1024;
	processSetup.sampleRate = 44100.0;
}

AudioBus* AudioEffect::addAudioInput(const TChar* name, SpeakerArrangement arr, BusType busType, int32 flags)
{
	auto* bus = new AudioBus(name, busType, flags, arr);
	audioInputs.emplace_back(bus, false);
	return bus;
}

AudioBus* AudioEffect::addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType busType, int32 flags)
{
	auto* bus = new AudioBus(name, busType, flags, arr);
	audioOutputs.emplace_back(bus, false);
	return bus;
}

EventBus* AudioEffect::addEventInput(const TChar* name, int32 channels, BusType busType, int32 flags)
{
	auto* bus = new EventBus(name, busType, flags, channels);
	eventInputs.emplace_back(bus, false);
	return bus;
}

AudioBus* AudioEffect::getAudioInput(int32 index)
{
	if (index < 0 || index >= static_cast<int32>(audioInputs.size()))
		return nullptr;
	return FCast<AudioBus>(audioInputs[static_cast<size_t>(index)].get());
}

AudioBus* AudioEffect::getAudioOutput(int32 index)
{
	if (index < 0 || index >= static_cast<int32>(audioOutputs.size()))
		return nullptr;
	return FCast<AudioBus>(audioOutputs[static_cast<size_t>(index)].get());
}

tresult PLUGIN_API AudioEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                   SpeakerArrangement* outputs, int32 numOuts)
{
	if (numIns != static_cast<int32>(audioInputs.size()) || numOuts != static_cast<int32>(audioOutputs.size()))
		return kResultFalse;
	for (int32 i = 0; i < numIns; ++i)
		if (AudioBus* bus = getAudioInput(i))
			bus->setArrangement(inputs[i]);
	for (int32 i = 0; i < numOuts; ++i)
		if (AudioBus* bus = getAudioOutput(i))
			bus->setArrangement(outputs[i]);
	return kResultTrue;
}

tresult PLUGIN_API AudioEffect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr)
{
	AudioBus* bus = dir == kInput ? getAudioInput(index) : getAudioOutput(index);
	if (!bus)
		return kInvalidArgument;
	arr = bus->getArrangement();
	return kResultTrue;
}

tresult PLUGIN_API AudioEffect::canProcessSampleSize(int32 symbolicSampleSize)
{
	return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API AudioEffect::setupProcessing(ProcessSetup& setup)
{
	if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue)
		return kResultFalse;
	processSetup = setup;
	return kResultOk;
}

} // namespace Vst
} // namespace Steinberg
