#pragma once

// The audio side of the application: each period, the parameter changes
// that the editor and MIDI queued become the block's IParameterChanges, the
// chosen input channels feed the plug-in, its output fills the device's
// outputs, and its meters and LEDs go back to the UI thread through a queue.
// Nothing on that path allocates, locks or calls the kernel.

#include "audiodevice.h"
#include "midiinput.h"
#include "spscqueue.h"

#include "host/plugininstance.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace brontal::live {

struct ParameterChange
{
	Steinberg::Vst::ParamID id = 0;
	double value = 0.0;
};

// Figures the strip shows, read on the UI thread.
struct EngineStats
{
	std::uint64_t callbacks = 0;
	std::uint64_t lateCallbacks = 0; // took longer than their period
	std::uint64_t dropouts = 0;      // the device's xruns
	double meanLoad = 0.0;           // callback time over period time
	double worstLoad = 0.0;
	float inputPeak = 0.0f;  // since the last read
	float outputPeak = 0.0f;
};

class Engine : public AudioCallback, public MidiReceiver
{
public:
	static constexpr int kMidiChannels = 16;
	static constexpr int kControllers = 128;

	explicit Engine(host::PluginInstance& plugin);

	// UI thread, with the device stopped: the plug-in (re)activated for the
	// format, inputChannels (1: mono guitar into both plug-in inputs, 2: a
	// stereo pair) of the period's inputs used.
	void prepare(const DeviceFormat& format, int inputChannels);

	// UI thread, any time: false when the queue is full.
	bool postParameter(Steinberg::Vst::ParamID id, double value);
	// UI thread: asks the controller's IMidiMapping for every controller of
	// every channel; the audio thread reads the table it leaves.
	void refreshMidiMapping();
	// UI thread: hands the meters, the LEDs and the MIDI controllers' moves
	// to the controller, and each program change received to onProgram.
	template <typename ProgramFunction>
	void drain(ProgramFunction onProgram)
	{
		ParameterChange change;
		while (outputQueue.pop(change))
			plugin.controller()->setParamNormalized(change.id, change.value);
		int program = 0;
		while (programQueue.pop(program))
			onProgram(program);
	}
	EngineStats stats();
	// Frames processed since the start, on any thread.
	std::uint64_t framesPlayed() const { return frameCount.load(std::memory_order_relaxed); }
	void resetStats();

	bool lost() const { return deviceGone.load(std::memory_order_acquire); }
	const char* lostReason() const { return lossReason.load(std::memory_order_acquire); }
	bool takeFormatChange() { return formatChange.exchange(false, std::memory_order_acq_rel); }

	// AudioCallback, on the device's threads.
	void process(const AudioPeriod& period) override;
	void dropout() override { dropoutCount.fetch_add(1, std::memory_order_relaxed); }
	void deviceLost(const char* reason) override;
	void formatChanged() override { formatChange.store(true, std::memory_order_release); }

	// MidiReceiver, on the MIDI input's one thread: taken at the start of
	// the next period (a full queue drops the message).
	void midiReceived(const MidiMessage& message) override { midiQueue.push(message); }

private:
	void runBlock(const AudioPeriod& period, int offset, int frames, int& midiIndex);
	void readMidi(const MidiMessage& message, int offset);

	host::PluginInstance& plugin;
	int maxBlock = 0;
	int usedInputs = 1;
	double periodNanosPerFrame = 0.0;
	std::vector<float> inLeft, inRight, outLeft, outRight;

	SpscQueue<ParameterChange, 1024> inputQueue;
	SpscQueue<ParameterChange, 4096> outputQueue;
	SpscQueue<int, 64> programQueue;
	SpscQueue<MidiMessage, 256> midiQueue;
	// Parameter id + 1 for each channel's controller, 0 for none.
	std::array<std::atomic<std::uint32_t>, kMidiChannels * kControllers> controllerMap{};

	std::atomic<std::uint64_t> callbackCount{0};
	std::atomic<std::uint64_t> frameCount{0};
	std::atomic<std::uint64_t> lateCount{0};
	std::atomic<std::uint64_t> dropoutCount{0};
	std::atomic<double> loadSum{0.0};
	std::atomic<double> loadWorst{0.0};
	std::atomic<float> inputPeak{0.0f};
	std::atomic<float> outputPeak{0.0f};
	std::atomic<bool> deviceGone{false};
	std::atomic<const char*> lossReason{""};
	std::atomic<bool> formatChange{false};
};

} // namespace brontal::live
