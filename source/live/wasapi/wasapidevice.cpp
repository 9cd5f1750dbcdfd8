#include "wasapi/wasapidevice.h"

#include <windows.h>
// The property key and format GUIDs are defined here, not in a library.
#include <initguid.h>
#include <audioclient.h>
#include <avrt.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include "platform/win32/win32text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace brontal::live {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000; // 100 ns
// The extensible format's float subtype: WAVE_FORMAT_IEEE_FLOAT in the base GUID.
constexpr GUID kFloatSubtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

template <typename T>
void release(T*& object)
{
	if (object)
		object->Release();
	object = nullptr;
}

std::string friendlyName(IMMDevice* device)
{
	IPropertyStore* store = nullptr;
	std::string name;
	if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store)))
	{
		PROPVARIANT value;
		PropVariantInit(&value);
		if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR)
			name = win32::narrow(value.pwszVal);
		PropVariantClear(&value);
	}
	release(store);
	return name;
}

int mixChannels(IMMDevice* device)
{
	IAudioClient* client = nullptr;
	WAVEFORMATEX* mix = nullptr;
	int channels = 0;
	if (SUCCEEDED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client))) &&
	    SUCCEEDED(client->GetMixFormat(&mix)))
		channels = mix->nChannels;
	CoTaskMemFree(mix);
	release(client);
	return channels;
}

bool isFloat32(const WAVEFORMATEX& format)
{
	if (format.wBitsPerSample != 32)
		return false;
	if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
		return true;
	return format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
	       reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format).SubFormat == kFloatSubtype;
}

WAVEFORMATEXTENSIBLE float32Format(int rate, int channels)
{
	WAVEFORMATEXTENSIBLE format = {};
	format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
	format.Format.nChannels = static_cast<WORD>(channels);
	format.Format.nSamplesPerSec = static_cast<DWORD>(rate);
	format.Format.wBitsPerSample = 32;
	format.Format.nBlockAlign = static_cast<WORD>(4 * channels);
	format.Format.nAvgBytesPerSec = format.Format.nSamplesPerSec * format.Format.nBlockAlign;
	format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
	format.Samples.wValidBitsPerSample = 32;
	format.dwChannelMask = 0;
	format.SubFormat = kFloatSubtype;
	return format;
}

std::string failure(HRESULT result)
{
	if (result == AUDCLNT_E_DEVICE_INVALIDATED)
		return "the device was removed";
	if (result == AUDCLNT_E_DEVICE_IN_USE)
		return "the device is in use by another program";
	char text[32];
	std::snprintf(text, sizeof text, "error 0x%08lx", static_cast<unsigned long>(result));
	return text;
}

// COM for the calling thread, as long as this lives.
struct ComScope
{
	ComScope() : ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
	~ComScope()
	{
		if (ok)
			CoUninitialize();
	}
	bool ok;
};

// One endpoint's client, initialised for float samples at one rate.
struct Stream
{
	IAudioClient* client = nullptr;
	int channels = 0;
	UINT32 bufferFrames = 0;
	int latencyFrames = 0; // the stream's own, as the device reports it
	bool exclusive = false;
};

class WasapiDevice : public AudioDevice
{
public:
	WasapiDevice() { CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator)); }
	~WasapiDevice() override
	{
		close();
		release(enumerator);
	}

	std::vector<DeviceDescription> listDevices() override
	{
		std::vector<DeviceDescription> devices;
		if (!enumerator)
			return devices;
		for (EDataFlow flow : {eRender, eCapture})
		{
			IMMDeviceCollection* collection = nullptr;
			UINT count = 0;
			if (FAILED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection)))
				continue;
			collection->GetCount(&count);
			for (UINT i = 0; i < count; ++i)
			{
				IMMDevice* device = nullptr;
				if (FAILED(collection->Item(i, &device)))
					continue;
				const std::string name = friendlyName(device);
				const int channels = mixChannels(device);
				auto known = std::find_if(devices.begin(), devices.end(), [&](const DeviceDescription& d) { return d.name == name; });
				if (known == devices.end())
					known = devices.insert(devices.end(), {name, "WASAPI endpoint", 0, 0});
				(flow == eRender ? known->outputChannels : known->inputChannels) = channels;
				release(device);
			}
			release(collection);
		}
		return devices;
	}

	DeviceFormat open(const DeviceConfig& config) override
	{
		close();
		if (!enumerator)
			throw DeviceError("WASAPI is not available (no device enumerator)");
		format = {};
		IMMDevice* render = find(eRender, config.device);
		if (!render)
			throw DeviceError(config.device.empty() ? "there is no WASAPI output device"
			                                        : "there is no WASAPI output device named '" + config.device + "'");
		format.device = friendlyName(render);
		IMMDevice* capture = find(eCapture, format.device);
		if (!capture)
			capture = find(eCapture, "");

		// The rate: the one asked for if the output takes it exclusively,
		// else the shared mix rate. Capture follows the output's rate.
		const bool opened = setUp(output, render, config, format.sampleRate);
		release(render);
		if (!opened)
		{
			release(capture);
			close();
			throw DeviceError(format.device + " refuses float samples at " + std::to_string(config.sampleRate) +
			                  " Hz and at its own rate: " + lastError);
		}
		DeviceConfig atRate = config;
		atRate.sampleRate = format.sampleRate;
		int captureRate = 0;
		if (!capture || !setUp(input, capture, atRate, captureRate) || captureRate != format.sampleRate)
		{
			release(input.client);
			input = {};
			format.notes += "no input at " + std::to_string(format.sampleRate) + " Hz: the inputs play silence\n";
		}
		release(capture);

		format.period = period;
		format.inputChannels = input.channels;
		format.outputChannels = output.channels;
		format.inputLatency = format.period + input.latencyFrames;
		format.outputLatency = static_cast<int>(output.bufferFrames) + output.latencyFrames;
		format.notes += format.device + (output.exclusive ? ": exclusive mode\n" : ": shared mode\n");
		if (format.sampleRate != config.sampleRate)
			format.notes += format.device + " runs at " + std::to_string(format.sampleRate) + " Hz, not " +
			                std::to_string(config.sampleRate) + "\n";
		if (format.period != config.period)
			format.notes += format.device + " takes a period of " + std::to_string(format.period) +
			                " frames, not " + std::to_string(config.period) + "\n";
		for (int channel : config.inputs)
			if (channel >= format.inputChannels)
				format.notes += format.device + " has no input channel " + std::to_string(channel + 1) + ": it plays silence\n";

		chosen = config;
		const std::size_t frames = static_cast<std::size_t>(period);
		// The capture side may deliver packets of any size: room for a few.
		captured.assign((frames * 4 + input.bufferFrames) * static_cast<std::size_t>(std::max(input.channels, 1)), 0.0f);
		capturedFrames = 0;
		inputs.assign(frames * chosen.inputs.size(), 0.0f);
		outputs.assign(frames * 2, 0.0f);
		return format;
	}

	void start(AudioCallback& target) override
	{
		callback = &target;
		stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
		running = true;
		worker = std::thread([this] { loop(); });
	}

	DeviceFormat reached() override { return format; }

	// Shared mode runs at the mix rate and the device period whatever is
	// asked; exclusive mode takes the period asked, no shorter than the
	// device's least, as its whole buffer.
	DeviceFormat preview(const DeviceConfig& config) override
	{
		DeviceFormat would = format;
		if (!output.exclusive || format.sampleRate <= 0)
			return would;
		would.period = std::max(config.period, smallestFrames);
		would.inputLatency = would.period + input.latencyFrames;
		would.outputLatency = would.period + output.latencyFrames;
		return would;
	}

	void stop() override
	{
		running = false;
		if (stopEvent)
			SetEvent(stopEvent);
		if (worker.joinable())
			worker.join();
		if (stopEvent)
			CloseHandle(stopEvent);
		stopEvent = nullptr;
	}

	void close() override
	{
		stop();
		release(input.client);
		release(output.client);
		input = {};
		output = {};
		for (HANDLE* event : {&outputEvent, &inputEvent})
		{
			if (*event)
				CloseHandle(*event);
			*event = nullptr;
		}
	}

private:
	// The endpoint of that friendly name, or the default one for an empty name.
	IMMDevice* find(EDataFlow flow, const std::string& name)
	{
		IMMDevice* found = nullptr;
		if (name.empty())
		{
			enumerator->GetDefaultAudioEndpoint(flow, eConsole, &found);
			return found;
		}
		IMMDeviceCollection* collection = nullptr;
		UINT count = 0;
		if (FAILED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection)))
			return nullptr;
		collection->GetCount(&count);
		for (UINT i = 0; i < count && !found; ++i)
		{
			IMMDevice* device = nullptr;
			if (SUCCEEDED(collection->Item(i, &device)) && friendlyName(device) == name)
				found = device;
			else
				release(device);
		}
		release(collection);
		return found;
	}

	// Exclusive at the asked rate and period if the device allows, else
	// shared at the mix rate; event-driven either way. The output stream
	// sets the period; rate is what was reached.
	bool setUp(Stream& stream, IMMDevice* device, const DeviceConfig& config, int& rate)
	{
		const bool isOutput = &stream == &output;
		HANDLE& event = isOutput ? outputEvent : inputEvent;
		if (!event)
			event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
		WAVEFORMATEX* mix = nullptr;
		IAudioClient* probe = activate(device);
		if (!probe || FAILED(probe->GetMixFormat(&mix)))
		{
			release(probe);
			lastError = "no mix format";
			return false;
		}
		const int channels = mix->nChannels;
		const int mixRate = static_cast<int>(mix->nSamplesPerSec);
		const bool mixIsFloat = isFloat32(*mix);
		CoTaskMemFree(mix);
		REFERENCE_TIME sharedPeriod = 0, smallestPeriod = 0;
		probe->GetDevicePeriod(&sharedPeriod, &smallestPeriod);

		// Exclusive: the period asked for, no shorter than the device's least.
		WAVEFORMATEXTENSIBLE wanted = float32Format(config.sampleRate, channels);
		const auto* asWave = reinterpret_cast<const WAVEFORMATEX*>(&wanted);
		REFERENCE_TIME exclusivePeriod = isOutput ? config.period * kUnitsPerSecond / config.sampleRate
		                                          : period * kUnitsPerSecond / config.sampleRate;
		exclusivePeriod = std::max(exclusivePeriod, smallestPeriod);
		if (isOutput)
			smallestFrames = static_cast<int>(smallestPeriod * config.sampleRate / kUnitsPerSecond);
		if (probe->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, asWave, nullptr) == S_OK &&
		    initialise(probe, AUDCLNT_SHAREMODE_EXCLUSIVE, exclusivePeriod, asWave, event))
		{
			finish(stream, probe, channels, config.sampleRate, true, rate);
			return true;
		}
		release(probe);
		if (!mixIsFloat)
		{
			lastError = "its shared format is not 32-bit float";
			return false;
		}
		// A failed Initialize leaves a client unusable: a fresh one for shared mode.
		IAudioClient* shared = activate(device);
		WAVEFORMATEXTENSIBLE mixFloat = float32Format(mixRate, channels);
		if (!shared || !initialise(shared, AUDCLNT_SHAREMODE_SHARED, sharedPeriod,
		                           reinterpret_cast<const WAVEFORMATEX*>(&mixFloat), event))
		{
			release(shared);
			return false;
		}
		finish(stream, shared, channels, mixRate, false, rate);
		return true;
	}

	IAudioClient* activate(IMMDevice* device)
	{
		IAudioClient* client = nullptr;
		const HRESULT result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client));
		if (FAILED(result))
			lastError = failure(result);
		return SUCCEEDED(result) ? client : nullptr;
	}

	bool initialise(IAudioClient* client, AUDCLNT_SHAREMODE mode, REFERENCE_TIME duration, const WAVEFORMATEX* wave, HANDLE event)
	{
		// Exclusive event mode wants the buffer and the periodicity equal.
		const REFERENCE_TIME periodicity = mode == AUDCLNT_SHAREMODE_EXCLUSIVE ? duration : 0;
		HRESULT result = client->Initialize(mode, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, duration, periodicity, wave, nullptr);
		if (SUCCEEDED(result))
			result = client->SetEventHandle(event);
		if (FAILED(result))
			lastError = failure(result);
		return SUCCEEDED(result);
	}

	void finish(Stream& stream, IAudioClient* client, int channels, int rate, bool exclusive, int& reachedRate)
	{
		stream.client = client;
		stream.channels = channels;
		stream.exclusive = exclusive;
		client->GetBufferSize(&stream.bufferFrames);
		REFERENCE_TIME latency = 0;
		client->GetStreamLatency(&latency);
		stream.latencyFrames = static_cast<int>(latency * rate / kUnitsPerSecond);
		reachedRate = rate;
		if (&stream == &output)
		{
			// A shared stream is fed a device period at a time; an
			// exclusive one its whole buffer at each event.
			REFERENCE_TIME sharedPeriod = 0;
			client->GetDevicePeriod(&sharedPeriod, nullptr);
			period = exclusive ? static_cast<int>(stream.bufferFrames)
			                   : static_cast<int>(sharedPeriod * rate / kUnitsPerSecond);
			period = std::clamp(period, 1, static_cast<int>(stream.bufferFrames));
		}
	}

	// Moves what the capture side has into the captured ring's tail.
	HRESULT gather()
	{
		IAudioCaptureClient* reader = captureService;
		UINT32 packet = 0;
		HRESULT result = S_OK;
		const std::size_t channels = static_cast<std::size_t>(input.channels);
		const std::size_t room = captured.size() / channels;
		while (SUCCEEDED(result = reader->GetNextPacketSize(&packet)) && packet > 0)
		{
			BYTE* data = nullptr;
			UINT32 frames = 0;
			DWORD flags = 0;
			if (FAILED(result = reader->GetBuffer(&data, &frames, &flags, nullptr, nullptr)))
				break;
			// An overfull ring keeps the newest frames.
			if (capturedFrames + frames > room)
			{
				callback->dropout();
				capturedFrames = 0;
			}
			float* into = captured.data() + capturedFrames * channels;
			if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) || frames > room)
				std::fill(into, into + std::min<std::size_t>(frames, room) * channels, 0.0f);
			else
				std::memcpy(into, data, frames * channels * sizeof(float));
			capturedFrames += std::min<std::size_t>(frames, room);
			reader->ReleaseBuffer(frames);
		}
		return result;
	}

	// One period of the chosen input channels from the ring's head; silence
	// for what has not come (the capture side starts later than playback).
	void takeInputs()
	{
		const std::size_t frames = static_cast<std::size_t>(period);
		const std::size_t channels = static_cast<std::size_t>(std::max(input.channels, 1));
		const std::size_t have = std::min(capturedFrames, frames);
		for (std::size_t slot = 0; slot < chosen.inputs.size(); ++slot)
		{
			const int source = chosen.inputs[slot];
			float* into = inputs.data() + slot * frames;
			std::fill(into, into + frames, 0.0f);
			if (source < input.channels)
				for (std::size_t i = 0; i < have; ++i)
					into[i] = captured[i * channels + static_cast<std::size_t>(source)];
		}
		std::memmove(captured.data(), captured.data() + have * channels, (capturedFrames - have) * channels * sizeof(float));
		capturedFrames -= have;
	}

	void loop()
	{
		ComScope threadCom;
		DWORD taskIndex = 0;
		HANDLE task = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
		if (!task)
			SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
		const std::string lost = run();
		if (task)
			AvRevertMmThreadCharacteristics(task);
		if (!lost.empty())
			callback->deviceLost(lost == "removed" ? "the WASAPI device was removed" : "the WASAPI device stopped");
	}

	// The device's loop; "" when asked to stop, else why it ended.
	std::string run()
	{
		IAudioRenderClient* writer = nullptr;
		if (FAILED(output.client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&writer))))
			return "stopped";
		captureService = nullptr;
		if (input.client &&
		    FAILED(input.client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&captureService))))
			captureService = nullptr;
		const std::string why = play(writer);
		output.client->Stop();
		if (input.client)
			input.client->Stop();
		release(captureService);
		release(writer);
		return why;
	}

	std::string play(IAudioRenderClient* writer)
	{
		auto ended = [](HRESULT result) { return std::string(result == AUDCLNT_E_DEVICE_INVALIDATED ? "removed" : "stopped"); };
		const int frames = period;
		const std::size_t numInputs = chosen.inputs.size();
		const float* inputPointers[2] = {inputs.data(), inputs.data() + (numInputs == 2 ? frames : 0)};
		float* outputPointers[2] = {outputs.data(), outputs.data() + frames};
		const std::size_t channels = static_cast<std::size_t>(output.channels);

		// Silence ahead: the whole buffer, as the ALSA back end's two periods.
		BYTE* data = nullptr;
		HRESULT result = writer->GetBuffer(output.bufferFrames, &data);
		if (FAILED(result) || FAILED(result = writer->ReleaseBuffer(output.bufferFrames, AUDCLNT_BUFFERFLAGS_SILENT)))
			return ended(result);
		if (input.client && captureService)
			input.client->Start();
		if (FAILED(result = output.client->Start()))
			return ended(result);
		const HANDLE waits[2] = {stopEvent, outputEvent};
		while (running)
		{
			const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, 2000);
			if (woken == WAIT_OBJECT_0)
				break;
			if (woken != WAIT_OBJECT_0 + 1)
			{
				callback->dropout(); // two seconds without an event
				continue;
			}
			UINT32 padding = 0;
			if (!output.exclusive && FAILED(result = output.client->GetCurrentPadding(&padding)))
				return ended(result);
			while (output.bufferFrames - padding >= static_cast<UINT32>(frames) && running)
			{
				if (captureService && FAILED(result = gather()))
					return ended(result);
				takeInputs();
				callback->process({inputPointers, static_cast<int>(numInputs), outputPointers, 2, frames, nullptr, 0});
				if (FAILED(result = writer->GetBuffer(static_cast<UINT32>(frames), &data)))
					return ended(result);
				auto* samples = reinterpret_cast<float*>(data);
				std::fill(samples, samples + frames * channels, 0.0f);
				for (std::size_t side = 0; side < 2; ++side)
				{
					const std::size_t target = static_cast<std::size_t>(chosen.outputs[side]);
					if (target < channels)
						for (int i = 0; i < frames; ++i)
							samples[static_cast<std::size_t>(i) * channels + target] = outputPointers[side][i];
				}
				if (FAILED(result = writer->ReleaseBuffer(static_cast<UINT32>(frames), 0)))
					return ended(result);
				padding += static_cast<UINT32>(frames);
			}
		}
		return {};
	}

	ComScope com;
	IMMDeviceEnumerator* enumerator = nullptr;
	Stream input;
	Stream output;
	HANDLE inputEvent = nullptr;
	HANDLE outputEvent = nullptr;
	HANDLE stopEvent = nullptr;
	int period = 0;
	int smallestFrames = 0; // the output's least exclusive period
	std::string lastError;
	DeviceConfig chosen;
	DeviceFormat format;
	IAudioCaptureClient* captureService = nullptr;
	std::vector<float> captured;
	std::size_t capturedFrames = 0;
	std::vector<float> inputs;
	std::vector<float> outputs;
	AudioCallback* callback = nullptr;
	std::atomic<bool> running{false};
	std::thread worker;
};

} // namespace

std::unique_ptr<AudioDevice> createWasapiDevice()
{
	return std::make_unique<WasapiDevice>();
}

} // namespace brontal::live
