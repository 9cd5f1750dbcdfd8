#include "engine.h"

#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace brontal::live {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

float peakOf(const float* samples, int frames, float peak)
{
	for (int i = 0; i < frames; ++i)
		peak = std::max(peak, std::fabs(samples[i]));
	return peak;
}

// Keeps the larger of the stored and the new value; only the audio thread
// raises, the UI thread resets.
template <typename T>
void raise(std::atomic<T>& stored, T value)
{
	T current = stored.load(std::memory_order_relaxed);
	while (value > current && !stored.compare_exchange_weak(current, value, std::memory_order_relaxed))
	{
	}
}

} // namespace

Engine::Engine(host::PluginInstance& instance) : plugin(instance)
{
	for (auto& entry : controllerMap)
		entry.store(0, std::memory_order_relaxed);
}

void Engine::prepare(const DeviceFormat& format, int inputChannels)
{
	maxBlock = std::max(format.period, 1);
	usedInputs = inputChannels == 2 ? 2 : 1;
	periodNanosPerFrame = 1e9 / format.sampleRate;
	for (std::vector<float>* buffer : {&inLeft, &inRight, &outLeft, &outRight})
		buffer->assign(static_cast<std::size_t>(maxBlock), 0.0f);
	plugin.activate({static_cast<double>(format.sampleRate), maxBlock, kRealtime});
	deviceGone.store(false, std::memory_order_release);
	formatChange.store(false, std::memory_order_release);
}

bool Engine::postParameter(ParamID id, double value)
{
	return inputQueue.push({id, value});
}

void Engine::refreshMidiMapping()
{
	IMidiMapping* mapping = host::queryInterface<IMidiMapping>(plugin.controller());
	for (int channel = 0; channel < kMidiChannels; ++channel)
		for (int controller = 0; controller < kControllers; ++controller)
		{
			ParamID id = 0;
			const bool mapped = mapping && mapping->getMidiControllerAssignment(
			                                   0, static_cast<int16>(channel),
			                                   static_cast<CtrlNumber>(controller), id) == kResultTrue;
			controllerMap[channel * kControllers + controller].store(mapped ? id + 1 : 0,
			                                                          std::memory_order_relaxed);
		}
	if (mapping)
		mapping->release();
}

EngineStats Engine::stats()
{
	EngineStats figures;
	figures.callbacks = callbackCount.load(std::memory_order_relaxed);
	figures.lateCallbacks = lateCount.load(std::memory_order_relaxed);
	figures.dropouts = dropoutCount.load(std::memory_order_relaxed);
	figures.meanLoad = figures.callbacks ? loadSum.load(std::memory_order_relaxed) / figures.callbacks : 0.0;
	figures.worstLoad = loadWorst.load(std::memory_order_relaxed);
	figures.inputPeak = inputPeak.exchange(0.0f, std::memory_order_relaxed);
	figures.outputPeak = outputPeak.exchange(0.0f, std::memory_order_relaxed);
	return figures;
}

void Engine::resetStats()
{
	callbackCount.store(0, std::memory_order_relaxed);
	lateCount.store(0, std::memory_order_relaxed);
	loadSum.store(0.0, std::memory_order_relaxed);
	loadWorst.store(0.0, std::memory_order_relaxed);
}

void Engine::deviceLost(const char* reason)
{
	lossReason.store(reason, std::memory_order_release);
	deviceGone.store(true, std::memory_order_release);
}

void Engine::process(const AudioPeriod& period)
{
	const auto start = std::chrono::steady_clock::now();

	ParameterChange change;
	while (inputQueue.pop(change))
		plugin.block().inputChanges().add(change.id, change.value, 0);
	MidiMessage message;
	while (midiQueue.pop(message))
		readMidi(message, 0);

	int midiIndex = 0;
	for (int offset = 0; offset < period.frames; offset += maxBlock)
		runBlock(period, offset, std::min(maxBlock, period.frames - offset), midiIndex);

	const double nanos = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
	const double load = period.frames > 0 ? nanos / (period.frames * periodNanosPerFrame) : 0.0;
	callbackCount.fetch_add(1, std::memory_order_relaxed);
	frameCount.fetch_add(static_cast<std::uint64_t>(period.frames), std::memory_order_relaxed);
	loadSum.store(loadSum.load(std::memory_order_relaxed) + load, std::memory_order_relaxed);
	raise(loadWorst, load);
	if (load > 1.0)
		lateCount.fetch_add(1, std::memory_order_relaxed);
}

void Engine::readMidi(const MidiMessage& message, int offset)
{
	const int status = message.bytes[0] & 0xF0;
	const int channel = message.bytes[0] & 0x0F;
	if (status == 0xB0 && message.size >= 3)
	{
		const std::uint32_t entry =
		    controllerMap[channel * kControllers + (message.bytes[1] & 0x7F)].load(std::memory_order_relaxed);
		if (entry != 0)
		{
			// The processor takes it at its frame; the controller (and the
			// editor's knob) hears of it on the UI thread, as from a DAW.
			const double value = (message.bytes[2] & 0x7F) / 127.0;
			plugin.block().inputChanges().add(entry - 1, value, std::clamp(message.frame - offset, 0, maxBlock - 1));
			outputQueue.push({entry - 1, value});
		}
	}
	else if (status == 0xC0 && message.size >= 2)
		programQueue.push(message.bytes[1] & 0x7F);
}

void Engine::runBlock(const AudioPeriod& period, int offset, int frames, int& midiIndex)
{
	while (midiIndex < period.numMidi && period.midi[midiIndex].frame < offset + frames)
		readMidi(period.midi[midiIndex++], offset);

	// A channel the device does not deliver plays silence.
	auto input = [&](int index, float* into) {
		if (index < period.numInputs && period.inputs[index])
			std::copy_n(period.inputs[index] + offset, frames, into);
		else
			std::fill_n(into, frames, 0.0f);
	};
	input(0, inLeft.data());
	if (usedInputs == 2)
		input(1, inRight.data());
	else
		std::copy_n(inLeft.data(), frames, inRight.data());
	raise(inputPeak, peakOf(inRight.data(), frames, peakOf(inLeft.data(), frames, 0.0f)));

	float* inputs[] = {inLeft.data(), inRight.data()};
	float* outputs[] = {outLeft.data(), outRight.data()};
	if (plugin.process({inputs, 2, outputs, 2, frames}) != kResultOk)
	{
		std::fill_n(outLeft.data(), frames, 0.0f);
		std::fill_n(outRight.data(), frames, 0.0f);
	}

	host::ParameterChanges& changes = plugin.block().outputChanges();
	for (int32 i = 0; i < changes.getParameterCount(); ++i)
	{
		auto* queue = static_cast<host::ParamValueQueue*>(changes.getParameterData(i));
		if (const std::optional<ParamValue> value = queue->lastValue())
			outputQueue.push({queue->getParameterId(), *value});
	}

	const float* results[] = {outLeft.data(), outRight.data()};
	for (int channel = 0; channel < period.numOutputs; ++channel)
		std::copy_n(results[std::min(channel, 1)], frames, period.outputs[channel] + offset);
	raise(outputPeak, peakOf(outRight.data(), frames, peakOf(outLeft.data(), frames, 0.0f)));
}

} // namespace brontal::live
