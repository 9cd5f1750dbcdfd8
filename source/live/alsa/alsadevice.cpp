#include "alsa/alsadevice.h"

#include <alsa/asoundlib.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace brontal::live {

namespace {

// Playback starts this many periods ahead of capture, so that a period read
// can be processed and written before the device has played the one before.
constexpr int kPeriods = 2;

struct Stream
{
	snd_pcm_t* pcm = nullptr;
	snd_pcm_format_t sampleFormat = SND_PCM_FORMAT_FLOAT_LE;
	unsigned channels = 0;
};

class AlsaDevice : public AudioDevice
{
public:
	~AlsaDevice() override { close(); }

	std::vector<DeviceDescription> listDevices() override
	{
		std::vector<DeviceDescription> devices{{"default", "the default PCM", 0, 0}};
		void** hints = nullptr;
		if (snd_device_name_hint(-1, "pcm", &hints) != 0)
			return devices;
		for (void** hint = hints; *hint; ++hint)
		{
			char* name = snd_device_name_get_hint(*hint, "NAME");
			char* description = snd_device_name_get_hint(*hint, "DESC");
			if (name && std::strcmp(name, "default") != 0)
			{
				std::string text = description ? description : "";
				std::replace(text.begin(), text.end(), '\n', ' ');
				devices.push_back({name, text, 0, 0});
			}
			std::free(name);
			std::free(description);
		}
		snd_device_name_free_hint(hints);
		return devices;
	}

	DeviceFormat open(const DeviceConfig& config) override
	{
		close();
		const std::string name = config.device.empty() ? "default" : config.device;
		format = {};
		format.device = name;
		const unsigned inputsNeeded = static_cast<unsigned>(*std::max_element(config.inputs.begin(), config.inputs.end())) + 1;
		const unsigned outputsNeeded = static_cast<unsigned>(*std::max_element(config.outputs.begin(), config.outputs.end())) + 1;
		unsigned rate = static_cast<unsigned>(config.sampleRate);
		snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(config.period);
		setUp(capture, name, SND_PCM_STREAM_CAPTURE, inputsNeeded, rate, period);
		setUp(playback, name, SND_PCM_STREAM_PLAYBACK, outputsNeeded, rate, period);
		if (snd_pcm_link(capture.pcm, playback.pcm) != 0)
			linked = false;
		else
			linked = true;

		format.sampleRate = static_cast<int>(rate);
		format.period = static_cast<int>(period);
		format.inputChannels = static_cast<int>(capture.channels);
		format.outputChannels = static_cast<int>(playback.channels);
		setLatencies(format);
		if (format.sampleRate != config.sampleRate)
			format.notes += name + " takes " + std::to_string(format.sampleRate) + " Hz, not " +
			                std::to_string(config.sampleRate) + "\n";
		if (format.period != config.period)
			format.notes += name + " takes a period of " + std::to_string(format.period) + " frames, the nearest to " +
			                std::to_string(config.period) + "\n";
		for (int channel : config.inputs)
			if (channel >= format.inputChannels)
				format.notes += name + " has no input channel " + std::to_string(channel + 1) + ": it plays silence\n";

		chosen = config;
		const std::size_t frames = static_cast<std::size_t>(format.period);
		captureBytes.assign(frames * capture.channels * 4, 0);
		playbackBytes.assign(frames * playback.channels * 4, 0);
		inputs.assign(frames * chosen.inputs.size(), 0.0f);
		outputs.assign(frames * 2, 0.0f);
		return format;
	}

	void start(AudioCallback& target) override
	{
		callback = &target;
		running = true;
		worker = std::thread([this] { loop(); });
	}

	DeviceFormat reached() override { return format; }

	// The capture stream's configuration space says what rate and period
	// it would take; playback is set up alike.
	DeviceFormat preview(const DeviceConfig& config) override
	{
		DeviceFormat would = format;
		unsigned rate = static_cast<unsigned>(config.sampleRate);
		snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(config.period);
		if (capture.pcm)
		{
			snd_pcm_hw_params_t* params = nullptr;
			snd_pcm_hw_params_alloca(&params);
			snd_pcm_hw_params_any(capture.pcm, params);
			snd_pcm_hw_params_set_rate_resample(capture.pcm, params, 0);
			snd_pcm_hw_params_set_rate_near(capture.pcm, params, &rate, nullptr);
			snd_pcm_hw_params_set_period_size_near(capture.pcm, params, &period, nullptr);
		}
		would.sampleRate = static_cast<int>(rate);
		would.period = static_cast<int>(period);
		setLatencies(would);
		return would;
	}

	void stop() override
	{
		running = false;
		if (worker.joinable())
			worker.join();
	}

	void close() override
	{
		stop();
		for (Stream* stream : {&capture, &playback})
		{
			if (stream->pcm)
				snd_pcm_close(stream->pcm);
			stream->pcm = nullptr;
		}
	}

private:
	// One period captured before it is processed; playback written that
	// many periods ahead.
	static void setLatencies(DeviceFormat& figures)
	{
		figures.inputLatency = figures.period;
		figures.outputLatency = kPeriods * figures.period;
	}

	void setUp(Stream& stream, const std::string& name, snd_pcm_stream_t direction, unsigned channels, unsigned& rate,
	           snd_pcm_uframes_t& period)
	{
		const char* what = direction == SND_PCM_STREAM_CAPTURE ? "capture" : "playback";
		int error = snd_pcm_open(&stream.pcm, name.c_str(), direction, 0);
		if (error < 0)
		{
			stream.pcm = nullptr;
			close();
			throw DeviceError("cannot open the ALSA device " + name + " for " + what + ": " + snd_strerror(error));
		}
		snd_pcm_hw_params_t* params = nullptr;
		snd_pcm_hw_params_alloca(&params);
		snd_pcm_hw_params_any(stream.pcm, params);
		snd_pcm_hw_params_set_access(stream.pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
		stream.sampleFormat = SND_PCM_FORMAT_UNKNOWN;
		for (snd_pcm_format_t candidate : {SND_PCM_FORMAT_FLOAT_LE, SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S16_LE})
			if (snd_pcm_hw_params_set_format(stream.pcm, params, candidate) == 0)
			{
				stream.sampleFormat = candidate;
				break;
			}
		unsigned most = 0;
		snd_pcm_hw_params_get_channels_max(params, &most);
		stream.channels = std::min(std::max(channels, 2u), most);
		snd_pcm_hw_params_set_channels_near(stream.pcm, params, &stream.channels);
		snd_pcm_hw_params_set_rate_resample(stream.pcm, params, 0);
		snd_pcm_hw_params_set_rate_near(stream.pcm, params, &rate, nullptr);
		snd_pcm_hw_params_set_period_size_near(stream.pcm, params, &period, nullptr);
		unsigned periods = kPeriods;
		snd_pcm_hw_params_set_periods_near(stream.pcm, params, &periods, nullptr);
		error = stream.sampleFormat == SND_PCM_FORMAT_UNKNOWN ? -EINVAL : snd_pcm_hw_params(stream.pcm, params);
		if (error < 0)
		{
			close();
			throw DeviceError("the ALSA device " + name + " refuses the " + what + " settings: " + snd_strerror(error));
		}
		snd_pcm_hw_params_get_period_size(params, &period, nullptr);
		snd_pcm_hw_params_get_rate(params, &rate, nullptr);
	}

	// Samples of one interleaved buffer as floats, and back.
	static float sampleAt(const Stream& stream, const std::uint8_t* bytes, std::size_t index)
	{
		switch (stream.sampleFormat)
		{
		case SND_PCM_FORMAT_S32_LE:
		{
			std::int32_t value;
			std::memcpy(&value, bytes + 4 * index, 4);
			return static_cast<float>(value / 2147483648.0);
		}
		case SND_PCM_FORMAT_S16_LE:
		{
			std::int16_t value;
			std::memcpy(&value, bytes + 2 * index, 2);
			return value / 32768.0f;
		}
		default:
		{
			float value;
			std::memcpy(&value, bytes + 4 * index, 4);
			return value;
		}
		}
	}

	static void setSample(const Stream& stream, std::uint8_t* bytes, std::size_t index, float value)
	{
		const double clipped = std::clamp(static_cast<double>(value), -1.0, 1.0);
		switch (stream.sampleFormat)
		{
		case SND_PCM_FORMAT_S32_LE:
		{
			const auto sample = static_cast<std::int32_t>(std::clamp(clipped * 2147483648.0, -2147483648.0, 2147483647.0));
			std::memcpy(bytes + 4 * index, &sample, 4);
			break;
		}
		case SND_PCM_FORMAT_S16_LE:
		{
			const auto sample = static_cast<std::int16_t>(std::clamp(clipped * 32768.0, -32768.0, 32767.0));
			std::memcpy(bytes + 2 * index, &sample, 2);
			break;
		}
		default:
			std::memcpy(bytes + 4 * index, &value, 4);
		}
	}

	// Silence ahead of the first period, and again after an xrun.
	bool restart()
	{
		snd_pcm_drop(capture.pcm);
		if (!linked)
			snd_pcm_drop(playback.pcm);
		if (snd_pcm_prepare(capture.pcm) < 0 || (!linked && snd_pcm_prepare(playback.pcm) < 0))
			return false;
		std::fill(playbackBytes.begin(), playbackBytes.end(), 0);
		for (int i = 0; i < kPeriods; ++i)
			if (snd_pcm_writei(playback.pcm, playbackBytes.data(), static_cast<snd_pcm_uframes_t>(format.period)) < 0)
				return false;
		return snd_pcm_start(capture.pcm) == 0 || linked;
	}

	void loop()
	{
		sched_param priority{};
		priority.sched_priority = 70;
		pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);

		const int frames = format.period;
		const std::size_t numInputs = chosen.inputs.size();
		const float* inputPointers[2] = {inputs.data(), inputs.data() + (numInputs == 2 ? frames : 0)};
		float* outputPointers[2] = {outputs.data(), outputs.data() + frames};
		if (!restart())
		{
			callback->deviceLost("the ALSA device stopped");
			return;
		}
		while (running)
		{
			snd_pcm_sframes_t got = snd_pcm_readi(capture.pcm, captureBytes.data(), static_cast<snd_pcm_uframes_t>(frames));
			if (got == -EPIPE || got == -ESTRPIPE || (got >= 0 && got < frames))
			{
				callback->dropout();
				if (!restart())
					break;
				continue;
			}
			if (got < 0)
				break;
			for (std::size_t channel = 0; channel < numInputs; ++channel)
			{
				const unsigned source = static_cast<unsigned>(chosen.inputs[channel]);
				float* into = inputs.data() + channel * frames;
				for (int i = 0; i < frames; ++i)
					into[i] = source < capture.channels ? sampleAt(capture, captureBytes.data(), i * capture.channels + source) : 0.0f;
			}
			callback->process({inputPointers, static_cast<int>(numInputs), outputPointers, 2, frames, nullptr, 0});
			std::fill(playbackBytes.begin(), playbackBytes.end(), 0);
			for (std::size_t side = 0; side < 2; ++side)
			{
				const unsigned target = static_cast<unsigned>(chosen.outputs[side]);
				if (target < playback.channels)
					for (int i = 0; i < frames; ++i)
						setSample(playback, playbackBytes.data(), i * playback.channels + target, outputPointers[side][i]);
			}
			const snd_pcm_sframes_t put = snd_pcm_writei(playback.pcm, playbackBytes.data(), static_cast<snd_pcm_uframes_t>(frames));
			if (put == -EPIPE)
			{
				callback->dropout();
				if (!restart())
					break;
			}
			else if (put < 0)
				break;
		}
		if (running)
			callback->deviceLost("the ALSA device stopped");
	}

	Stream capture;
	Stream playback;
	bool linked = false;
	DeviceConfig chosen;
	DeviceFormat format;
	std::vector<std::uint8_t> captureBytes;
	std::vector<std::uint8_t> playbackBytes;
	std::vector<float> inputs;
	std::vector<float> outputs;
	AudioCallback* callback = nullptr;
	std::atomic<bool> running{false};
	std::thread worker;
};

} // namespace

std::unique_ptr<AudioDevice> createAlsaDevice()
{
	return std::make_unique<AlsaDevice>();
}

} // namespace brontal::live
