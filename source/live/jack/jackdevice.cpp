#include "jack/jackdevice.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace brontal::live {

namespace {

constexpr const char* kClientName = "brontal-live";
constexpr int kMaxMidi = 256;

struct PortList
{
	const char** names = nullptr;
	~PortList() { jack_free(names); }
	int count() const
	{
		int n = 0;
		while (names && names[n])
			++n;
		return n;
	}
};

class JackDevice : public AudioDevice
{
public:
	~JackDevice() override { close(); }

	std::vector<DeviceDescription> listDevices() override
	{
		jack_status_t status{};
		jack_client_t* probe = jack_client_open("brontal-live-probe", JackNoStartServer, &status);
		if (!probe)
			return {};
		DeviceDescription description;
		description.name = serverName();
		PortList capture{jack_get_ports(probe, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsOutput)};
		PortList playback{jack_get_ports(probe, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput)};
		description.inputChannels = capture.count();
		description.outputChannels = playback.count();
		description.description = "JACK server at " + std::to_string(jack_get_sample_rate(probe)) + " Hz, " +
		                          std::to_string(jack_get_buffer_size(probe)) + " frames";
		jack_client_close(probe);
		return {description};
	}

	DeviceFormat open(const DeviceConfig& config) override
	{
		close();
		jack_status_t status{};
		const int options = JackNoStartServer | (config.device.empty() ? 0 : JackServerName);
		client = jack_client_open(kClientName, static_cast<jack_options_t>(options), &status,
		                          config.device.empty() ? nullptr : config.device.c_str());
		if (!client)
			throw DeviceError("no JACK server is running" +
			                  (config.device.empty() ? std::string() : " under the name '" + config.device + "'"));
		chosen = config;
		const char* inputNames[2][2] = {{"guitar_in", nullptr}, {"in_left", "in_right"}};
		const char* const* names = inputNames[config.inputs.size() == 2 ? 1 : 0];
		numInputs = config.inputs.size() == 2 ? 2 : 1;
		for (int i = 0; i < numInputs; ++i)
			inputPorts[i] = jack_port_register(client, names[i], JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
		outputPorts[0] = jack_port_register(client, "out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
		outputPorts[1] = jack_port_register(client, "out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
		midiPort = jack_port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
		for (int i = 0; i < numInputs; ++i)
			if (!inputPorts[i])
				fail("JACK refused the client's ports");
		if (!outputPorts[0] || !outputPorts[1] || !midiPort)
			fail("JACK refused the client's ports");

		jack_set_process_callback(client, &JackDevice::onProcess, this);
		jack_set_xrun_callback(client, &JackDevice::onXrun, this);
		jack_on_info_shutdown(client, &JackDevice::onShutdown, this);
		jack_set_buffer_size_callback(client, &JackDevice::onBufferSize, this);
		jack_set_sample_rate_callback(client, &JackDevice::onSampleRate, this);

		format = {};
		format.sampleRate = static_cast<int>(jack_get_sample_rate(client));
		format.period = static_cast<int>(jack_get_buffer_size(client));
		format.device = serverName();
		PortList capture{jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsOutput)};
		PortList playback{jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput)};
		format.inputChannels = capture.count();
		format.outputChannels = playback.count();
		if (config.sampleRate != format.sampleRate)
			format.notes += "the JACK server runs at " + std::to_string(format.sampleRate) + " Hz, not " +
			                std::to_string(config.sampleRate) + "\n";
		if (config.period != format.period)
			format.notes += "the JACK server runs at " + std::to_string(format.period) + " frames, not " +
			                std::to_string(config.period) + " (its period is the server's: jack_bufsize sets it)\n";
		prepared = {format.sampleRate, format.period};
		return format;
	}

	void start(AudioCallback& target) override
	{
		callback = &target;
		if (jack_activate(client) != 0)
			throw DeviceError("JACK refused to activate the client");
		active = true;
		connectPhysical(JackPortIsPhysical | JackPortIsOutput, chosen.inputs, inputPorts.data(), numInputs, true);
		connectPhysical(JackPortIsPhysical | JackPortIsInput, chosen.outputs, outputPorts.data(), 2, false);
		if (!chosen.midiPort.empty() && jack_connect(client, chosen.midiPort.c_str(), jack_port_name(midiPort)) != 0)
			format.notes += "cannot connect the MIDI port " + chosen.midiPort + "\n";
		// The server works latencies out after connections, in its own time.
		jack_recompute_total_latencies(client);
	}

	void stop() override
	{
		if (client && active && !gone)
			jack_deactivate(client);
		active = false;
	}

	void close() override
	{
		stop();
		if (client)
			jack_client_close(client);
		client = nullptr;
		inputPorts = {};
		outputPorts = {};
		midiPort = nullptr;
		gone = false;
	}

	DeviceFormat reached() override
	{
		if (client && active && !gone)
		{
			jack_latency_range_t range{};
			jack_port_get_latency_range(inputPorts[0], JackCaptureLatency, &range);
			format.inputLatency = static_cast<int>(range.max);
			jack_port_get_latency_range(outputPorts[0], JackPlaybackLatency, &range);
			format.outputLatency = static_cast<int>(range.max);
		}
		return format;
	}

	// The period and rate are the server's (jack_bufsize sets them for all
	// its clients): whatever is asked, it stays as it runs.
	DeviceFormat preview(const DeviceConfig&) override { return reached(); }

private:
	std::string serverName() const
	{
		if (!chosen.device.empty())
			return chosen.device;
		const char* name = std::getenv("JACK_DEFAULT_SERVER");
		return name && *name ? name : "default";
	}

	[[noreturn]] void fail(const std::string& message)
	{
		close();
		throw DeviceError(message);
	}

	// Our port i to the physical port of channel channels[i], where there is one.
	void connectPhysical(unsigned long flags, const std::vector<int>& channels, jack_port_t** ports, int count,
	                     bool toUs)
	{
		PortList physical{jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags)};
		for (int i = 0; i < count && i < static_cast<int>(channels.size()); ++i)
		{
			if (channels[i] >= physical.count())
			{
				format.notes += "the device has no channel " + std::to_string(channels[i] + 1) + "\n";
				continue;
			}
			const char* theirs = physical.names[channels[i]];
			const char* ours = jack_port_name(ports[i]);
			jack_connect(client, toUs ? theirs : ours, toUs ? ours : theirs);
		}
	}

	static int onProcess(jack_nframes_t frames, void* arg)
	{
		auto* self = static_cast<JackDevice*>(arg);
		const float* inputs[2] = {};
		for (int i = 0; i < self->numInputs; ++i)
			inputs[i] = static_cast<const float*>(jack_port_get_buffer(self->inputPorts[i], frames));
		float* outputs[2] = {static_cast<float*>(jack_port_get_buffer(self->outputPorts[0], frames)),
		                     static_cast<float*>(jack_port_get_buffer(self->outputPorts[1], frames))};
		void* midiBuffer = jack_port_get_buffer(self->midiPort, frames);
		const std::uint32_t events = std::min<std::uint32_t>(jack_midi_get_event_count(midiBuffer), kMaxMidi);
		int numMidi = 0;
		for (std::uint32_t i = 0; i < events; ++i)
		{
			jack_midi_event_t event{};
			if (jack_midi_event_get(&event, midiBuffer, i) != 0 || event.size == 0 || event.size > 3)
				continue;
			MidiMessage& message = self->midi[numMidi++];
			message.frame = static_cast<int>(event.time);
			message.size = static_cast<int>(event.size);
			std::copy_n(event.buffer, event.size, message.bytes);
		}
		self->callback->process({inputs, self->numInputs, outputs, 2, static_cast<int>(frames), self->midi.data(), numMidi});
		return 0;
	}

	static int onXrun(void* arg)
	{
		static_cast<JackDevice*>(arg)->callback->dropout();
		return 0;
	}

	static void onShutdown(jack_status_t, const char*, void* arg)
	{
		auto* self = static_cast<JackDevice*>(arg);
		self->gone = true;
		if (self->callback)
			self->callback->deviceLost("the JACK server stopped");
	}

	static int onBufferSize(jack_nframes_t frames, void* arg)
	{
		auto* self = static_cast<JackDevice*>(arg);
		if (self->callback && static_cast<int>(frames) != self->prepared[1])
			self->callback->formatChanged();
		return 0;
	}

	static int onSampleRate(jack_nframes_t rate, void* arg)
	{
		auto* self = static_cast<JackDevice*>(arg);
		if (self->callback && static_cast<int>(rate) != self->prepared[0])
			self->callback->formatChanged();
		return 0;
	}

	jack_client_t* client = nullptr;
	std::array<jack_port_t*, 2> inputPorts{};
	std::array<jack_port_t*, 2> outputPorts{};
	jack_port_t* midiPort = nullptr;
	int numInputs = 1;
	DeviceConfig chosen;
	DeviceFormat format;
	std::array<int, 2> prepared{};
	AudioCallback* callback = nullptr;
	std::array<MidiMessage, kMaxMidi> midi{};
	bool active = false;
	std::atomic<bool> gone{false};
};

} // namespace

std::unique_ptr<AudioDevice> createJackDevice()
{
	return std::make_unique<JackDevice>();
}

} // namespace brontal::live
