#pragma once

// What the application needs of an audio interface, and nothing of how a
// platform provides it: open with a rate, a period and channel choices;
// start with a callback per period; stop; the rate, period and latencies
// actually reached; news of a device that vanished. One back end per audio
// API implements it (jack/, alsa/, wasapi/); nothing above knows which runs.

#include <cstdint>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

namespace brontal::live {

// One short MIDI message received during a period, at its frame.
struct MidiMessage
{
	int frame = 0;
	std::uint8_t bytes[3] = {};
	int size = 0;
};

// The buffers of one period. Input and output channels are the device's,
// numbered from 0; a back end hands over only the channels it was opened
// with (inputs[i] is device input channel config.inputs[i]).
struct AudioPeriod
{
	const float* const* inputs = nullptr;
	int numInputs = 0;
	float* const* outputs = nullptr;
	int numOutputs = 0;
	int frames = 0;
	const MidiMessage* midi = nullptr;
	int numMidi = 0;
};

// Called on the device's real-time thread (process) or on a thread of the
// back end's own (the rest); none of them may block the device.
class AudioCallback
{
public:
	virtual ~AudioCallback() = default;
	// Every period: read the inputs, fill every output.
	virtual void process(const AudioPeriod& period) = 0;
	// The device dropped or delayed a period (an xrun).
	virtual void dropout() = 0;
	// The device vanished or its server stopped; no more periods come.
	virtual void deviceLost(const char* reason) = 0;
	// The server changed its rate or period under us; the caller
	// reactivates the plug-in at the new figures.
	virtual void formatChanged() = 0;
};

struct DeviceConfig
{
	std::string device;       // the back end's name for it; empty: its default
	int sampleRate = 48000;   // 0: the device's own
	int period = 64;          // frames
	std::vector<int> inputs;  // device input channels, from 0: one (mono guitar) or two
	std::vector<int> outputs; // device output channels, from 0: two
	std::string midiPort;     // the back end's MIDI source to connect; empty: none
};

// What open() reached: the figures the device really runs at.
struct DeviceFormat
{
	int sampleRate = 0;
	int period = 0;
	int inputLatency = 0;  // frames from the jack to the callback
	int outputLatency = 0; // frames from the callback to the jack
	int inputChannels = 0;  // channels the device has
	int outputChannels = 0;
	std::string device;     // the device opened
	std::string notes;      // what differs from the request, one line each
};

struct DeviceDescription
{
	std::string name;
	std::string description;
	int inputChannels = 0;
	int outputChannels = 0;
};

class AudioDevice
{
public:
	virtual ~AudioDevice() = default;
	virtual std::vector<DeviceDescription> listDevices() = 0;
	// Throws DeviceError with one sentence when the device cannot be opened.
	virtual DeviceFormat open(const DeviceConfig& config) = 0;
	virtual void start(AudioCallback& callback) = 0;
	// What open() returned, with the latencies as they are now (a server
	// works them out again as connections change).
	virtual DeviceFormat reached() = 0;
	// What open(config) would reach, worked out from the device as it is
	// open now (the rate and period it would take, its latencies at them)
	// without reopening it: what a menu shows before a choice is applied.
	virtual DeviceFormat preview(const DeviceConfig& config) = 0;
	virtual void stop() = 0;
	// Stops if needed and releases the device.
	virtual void close() = 0;
};

class DeviceError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

// The back ends this build has, the first the default; and one by name
// (null for an unknown name).
std::vector<std::string> backendNames();
std::unique_ptr<AudioDevice> createAudioDevice(const std::string& backend);

} // namespace brontal::live
