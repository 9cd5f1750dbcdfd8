#include "renderer.h"

#include "host/parameters.h"
#include "host/plugininstance.h"
#include "host/presetfile.h"

#include "brontalparams.h"
#include "irstate.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace brontal::host {

volatile std::sig_atomic_t renderInterrupted = 0;

namespace {

namespace fs = std::filesystem;

// Frames read and written at a time (about 0.7 s at 48 kHz).
constexpr sf_count_t kChunkFrames = 32768;
using namespace Steinberg;
using namespace Steinberg::Vst;

std::string lowercase(std::string text)
{
	std::transform(text.begin(), text.end(), text.begin(),
	               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
	return text;
}

std::string defaultPlugin()
{
	if (fs::exists(BRONTAL_DEFAULT_BUNDLE))
		return BRONTAL_DEFAULT_BUNDLE;
	const char* home = std::getenv("HOME");
	const fs::path installed = fs::path(home ? home : "") / ".vst3" / "brontal1.vst3";
	if (home && fs::exists(installed))
		return installed.string();
	throw HostError(std::string("no plug-in found at ") + BRONTAL_DEFAULT_BUNDLE + " or " +
	                installed.string() + " (use --plugin)");
}

std::shared_ptr<Module> loadModule(const Options& options)
{
	return Module::load(options.plugin.empty() ? defaultPlugin() : options.plugin);
}

std::string flagNames(int32 flags)
{
	std::string names;
	auto add = [&](int32 flag, const char* name) {
		if (flags & flag)
			names += (names.empty() ? "" : ",") + std::string(name);
	};
	add(ParameterInfo::kCanAutomate, "automate");
	add(ParameterInfo::kIsReadOnly, "read-only");
	add(ParameterInfo::kIsBypass, "bypass");
	add(ParameterInfo::kIsList, "list");
	add(ParameterInfo::kIsProgramChange, "program-change");
	add(ParameterInfo::kIsHidden, "hidden");
	return names.empty() ? "-" : names;
}

// A file created next to its final path and renamed onto it by commit();
// removed by the destructor unless committed.
class TempFile
{
public:
	explicit TempFile(const std::string& target) : targetPath(target)
	{
		std::error_code error;
		if (fs::is_directory(target, error))
			throw HostError("cannot write " + target + ": it is a directory");
		const fs::path final(target);
		const fs::path directory = final.has_parent_path() ? final.parent_path() : fs::path(".");
		std::string pattern = (directory / ("." + final.filename().string() + ".XXXXXX")).string();
		fd = mkstemp(pattern.data());
		if (fd < 0)
			throw HostError("cannot write " + target + ": " + std::strerror(errno));
		tempPath = pattern;
		const mode_t mask = umask(0);
		umask(mask);
		fchmod(fd, 0666 & ~mask);
	}

	~TempFile()
	{
		if (fd >= 0)
			close(fd);
		if (!committed)
			unlink(tempPath.c_str());
	}

	TempFile(const TempFile&) = delete;
	TempFile& operator=(const TempFile&) = delete;

	int descriptor() const { return fd; }

	void write(const std::vector<char>& bytes)
	{
		std::size_t done = 0;
		while (done < bytes.size())
		{
			const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
			if (written < 0 && errno == EINTR)
				continue;
			if (written <= 0)
				throw HostError("cannot write " + targetPath + ": " + std::strerror(errno));
			done += static_cast<std::size_t>(written);
		}
	}

	void commit()
	{
		const int status = close(fd);
		fd = -1;
		if (status != 0 || std::rename(tempPath.c_str(), targetPath.c_str()) != 0)
			throw HostError("cannot write " + targetPath + ": " + std::strerror(errno));
		committed = true;
	}

private:
	std::string targetPath;
	std::string tempPath;
	int fd = -1;
	bool committed = false;
};

struct SndFileCloser
{
	void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFile = std::unique_ptr<SNDFILE, SndFileCloser>;

// Output container from the extension; the input's encoding is kept when the
// container can hold it, WAV is always 32-bit float.
int outputFormat(const std::string& path, const SF_INFO& input)
{
	const std::string extension = lowercase(fs::path(path).extension().string());
	int container = 0;
	if (extension == ".wav")
		return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	if (extension == ".flac")
		container = SF_FORMAT_FLAC;
	else if (extension == ".aif" || extension == ".aiff")
		container = SF_FORMAT_AIFF;
	else
		throw HostError("cannot tell the output format of " + path + " (use .wav, .flac, .aif or .aiff)");
	SF_INFO check{};
	check.samplerate = input.samplerate;
	check.channels = 2;
	check.format = container | (input.format & SF_FORMAT_SUBMASK);
	return sf_format_check(&check) ? check.format : container | SF_FORMAT_PCM_24;
}

std::vector<char> readFile(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	if (!file || fs::is_directory(path))
		throw HostError("cannot read " + path + ": " +
		                (fs::exists(path) ? "not a readable file" : "no such file"));
	return std::vector<char>(std::istreambuf_iterator<char>(file), {});
}

// The response in the options' file, sent to the processor as the editor
// sends it; what the reader had to do to it (a cut, channels left out) is
// said on the standard error.
void useImpulseResponse(PluginInstance& plugin, const Options& options)
{
	LoadedIr ir;
	std::string message;
	if (!LoadIrFile(options.ir, ir, message))
		throw HostError(message);
	if (!message.empty())
		std::fprintf(stderr, "brontal-render: %s\n", escapeControls(message).c_str());
	ir.settings.bNormalise = options.irNormalise;
	ir.settings.bTrim = options.irTrim;
	const StateBytes payload = EncodeIrChunk(ir).payload;
	Steinberg::Vst::IConnectionPoint* point = queryInterface<Steinberg::Vst::IConnectionPoint>(plugin.component());
	if (!point)
		throw HostError("the plug-in takes no messages, so it cannot load " + options.ir);
	Steinberg::Vst::IMessage* pMessage = new Steinberg::Vst::HostMessage;
	pMessage->setMessageID(kCabinetMessageId);
	pMessage->getAttributes()->setBinary(kCabinetMessageData, payload.data(), static_cast<Steinberg::uint32>(payload.size()));
	const Steinberg::tresult result = point->notify(pMessage);
	pMessage->release();
	point->release();
	if (result != Steinberg::kResultOk)
		throw HostError("the plug-in refused the impulse response " + options.ir);
}

std::string decibels(double value)
{
	if (value <= 0.0)
		return "-inf";
	char text[32];
	std::snprintf(text, sizeof text, "%.2f", 20.0 * std::log10(value));
	return text;
}

struct ChannelStats
{
	double peak = 0.0;
	double sumOfSquares = 0.0;

	void add(float sample)
	{
		peak = std::max(peak, static_cast<double>(std::fabs(sample)));
		sumOfSquares += static_cast<double>(sample) * sample;
	}
};

} // namespace

void listParameters(const Options& options, std::ostream& out)
{
	PluginInstance plugin(loadModule(options));
	char line[256];
	std::snprintf(line, sizeof line, "%5s %4s %-9s %-16s %s\n", "index", "id", "default", "flags", "title");
	out << line;
	for (const ParamEntry& entry : parameterList(*plugin.controller()))
	{
		std::snprintf(line, sizeof line, "%5d %4u %-9.6f %-16s %s\n", entry.index, entry.id,
		              entry.defaultValue, flagNames(entry.flags).c_str(), entry.title.c_str());
		out << line;
	}
}

RenderSummary render(const Options& options, const ProgressFunction& progress)
{
	std::error_code fsError;
	if (!fs::exists(options.input, fsError))
		throw HostError("cannot read " + options.input + ": no such file");
	SF_INFO inputInfo{};
	SndFile input(sf_open(options.input.c_str(), SFM_READ, &inputInfo));
	if (!input)
		throw HostError("cannot read " + options.input + ": " + sf_strerror(nullptr));
	if (inputInfo.channels != 1 && inputInfo.channels != 2)
		throw HostError(options.input + " has " + std::to_string(inputInfo.channels) +
		                " channels; only mono and stereo files can be rendered");
	SF_INFO outputInfo{};
	outputInfo.samplerate = inputInfo.samplerate;
	outputInfo.channels = 2;
	outputInfo.format = outputFormat(options.output, inputInfo);

	PluginInstance plugin(loadModule(options));
	IEditController& controller = *plugin.controller();
	const std::vector<ParamEntry> entries = parameterList(controller);
	std::vector<std::pair<ParamID, double>> changes;
	for (const ParamSetting& setting : options.settings)
	{
		const ParamEntry& entry = findParameter(entries, setting.nameOrId);
		if (entry.flags & ParameterInfo::kIsReadOnly)
			throw HostError("parameter '" + setting.nameOrId + "' is read-only");
		changes.emplace_back(entry.id, setting.value);
	}
	if (options.bypass)
	{
		const auto bypass = std::find_if(entries.begin(), entries.end(), [](const ParamEntry& entry) {
			return (entry.flags & ParameterInfo::kIsBypass) != 0;
		});
		if (bypass == entries.end())
			throw HostError("the plug-in has no bypass parameter");
		changes.emplace_back(bypass->id, 1.0);
	}
	if (options.tuner)
		changes.emplace_back(kTunerOnOff, 1.0);
	if (!options.preset.empty())
	{
		const Preset preset = readPreset(options.preset);
		try
		{
			plugin.loadPreset(preset);
		}
		catch (const HostError& error)
		{
			throw HostError("cannot load the preset " + options.preset + ": " + error.what());
		}
	}
	if (!options.stateIn.empty())
	{
		ByteStream state(readFile(options.stateIn));
		try
		{
			plugin.loadComponentState(state);
		}
		catch (const HostError& error)
		{
			throw HostError("cannot load the state " + options.stateIn + ": " + error.what());
		}
	}

	if (!options.ir.empty())
		useImpulseResponse(plugin, options);

	TempFile outputFile(options.output);
	std::unique_ptr<TempFile> stateFile;
	if (!options.stateOut.empty())
		stateFile = std::make_unique<TempFile>(options.stateOut);
	SndFile output(sf_open_fd(outputFile.descriptor(), SFM_WRITE, &outputInfo, SF_FALSE));
	if (!output)
		throw HostError("cannot write " + options.output + ": " + sf_strerror(nullptr));
	sf_command(output.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

	const int blockSize = options.blockSize;
	const int inputChannels = inputInfo.channels;
	plugin.activate({static_cast<double>(inputInfo.samplerate), blockSize, kOffline});
	ProcessBlock& block = plugin.block();
	block.setTempo(options.tempo);
	for (const auto& [id, value] : changes)
	{
		block.inputChanges().add(id, value);
		controller.setParamNormalized(id, value);
	}

	// The file is read and written a chunk of many blocks at a time: few
	// system calls, and memory that does not grow with the file.
	const sf_count_t chunkFrames = std::max<sf_count_t>(kChunkFrames / blockSize, 1) * blockSize;
	std::vector<float> interleavedIn(static_cast<std::size_t>(chunkFrames) * inputChannels);
	std::vector<float> interleavedOut(static_cast<std::size_t>(chunkFrames) * 2);
	std::vector<float> left(chunkFrames), right(chunkFrames), outLeft(chunkFrames), outRight(chunkFrames);

	constexpr std::array<ParamID, 3> ledIds{kInputClippingLed, kOutputClippingLed, kCompressionLed};
	std::array<bool, 3> ledLit{};
	std::array<sf_count_t, 3> ledSamples{};
	std::array<ChannelStats, 2> stats;
	// The readings as reported, from the indicators' defaults.
	TunerLine reading{0.0, 0, 0.0, false};
	std::vector<TunerLine> tunerLines;
	std::chrono::steady_clock::duration processingTime{};
	sf_count_t done = 0;

	while (const sf_count_t chunk = sf_readf_float(input.get(), interleavedIn.data(), chunkFrames))
	{
		for (sf_count_t i = 0; i < chunk; ++i)
		{
			left[i] = interleavedIn[i * inputChannels];
			right[i] = interleavedIn[i * inputChannels + inputChannels - 1];
		}
		for (sf_count_t offset = 0; offset < chunk; offset += blockSize)
		{
			if (renderInterrupted)
				throw HostError("interrupted");
			const sf_count_t count = std::min<sf_count_t>(blockSize, chunk - offset);
			float* inputs[] = {left.data() + offset, right.data() + offset};
			float* outputs[] = {outLeft.data() + offset, outRight.data() + offset};
			const auto start = std::chrono::steady_clock::now();
			const tresult result = plugin.process({inputs, 2, outputs, 2, static_cast<int32>(count)});
			processingTime += std::chrono::steady_clock::now() - start;
			if (result != kResultOk)
				throw HostError("the plug-in failed to process the block at sample " + std::to_string(done + offset));

			for (std::size_t led = 0; led < ledIds.size(); ++led)
			{
				if (const std::optional<ParamValue> value = block.outputChanges().lastValue(ledIds[led]))
					ledLit[led] = *value >= 0.5;
				if (ledLit[led])
					ledSamples[led] += count;
			}
			if (options.tuner)
			{
				TunerLine now = reading;
				if (const std::optional<ParamValue> value = block.outputChanges().lastValue(kTunerNote))
					now.note = static_cast<int>(std::lround(127.0 * *value));
				if (const std::optional<ParamValue> value = block.outputChanges().lastValue(kTunerCents))
					now.cents = 100.0 * *value - 50.0;
				if (const std::optional<ParamValue> value = block.outputChanges().lastValue(kTunerHeld))
					now.held = *value >= 0.5;
				if (now.note != reading.note || now.cents != reading.cents || now.held != reading.held)
				{
					now.time = static_cast<double>(done + offset + count) / inputInfo.samplerate;
					tunerLines.push_back(now);
					reading = now;
				}
			}
		}
		for (sf_count_t i = 0; i < chunk; ++i)
		{
			stats[0].add(outLeft[i]);
			stats[1].add(outRight[i]);
			interleavedOut[2 * i] = outLeft[i];
			interleavedOut[2 * i + 1] = outRight[i];
		}
		if (sf_writef_float(output.get(), interleavedOut.data(), chunk) != chunk)
			throw HostError("cannot write " + options.output + ": " + sf_strerror(output.get()));
		done += chunk;
		if (progress)
			progress(done, inputInfo.frames, inputInfo.samplerate);
	}
	if (sf_error(input.get()) != SF_ERR_NO_ERROR)
		throw HostError("cannot read " + options.input + ": " + sf_strerror(input.get()));
	plugin.deactivate();

	if (stateFile)
		stateFile->write(plugin.saveComponentState().bytes());
	if (sf_close(output.release()) != 0)
		throw HostError("cannot write " + options.output + ": " + sf_strerror(nullptr));
	outputFile.commit();
	if (stateFile)
		stateFile->commit();

	RenderSummary summary;
	summary.input = options.input;
	summary.output = options.output;
	summary.inputChannels = inputChannels;
	summary.sampleRate = inputInfo.samplerate;
	summary.duration = static_cast<double>(done) / inputInfo.samplerate;
	summary.processingTime = std::chrono::duration<double>(processingTime).count();
	summary.tuner = std::move(tunerLines);
	for (std::size_t channel = 0; channel < 2; ++channel)
	{
		summary.peak[channel] = stats[channel].peak;
		summary.rms[channel] = done ? std::sqrt(stats[channel].sumOfSquares / static_cast<double>(done)) : 0.0;
	}
	for (std::size_t led = 0; led < ledIds.size(); ++led)
		summary.ledSeconds[led] = static_cast<double>(ledSamples[led]) / inputInfo.samplerate;
	return summary;
}

std::string noteName(int note)
{
	static const char* const names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
	return std::string(names[((note % 12) + 12) % 12]) + std::to_string(note / 12 - 1);
}

void printSummary(const RenderSummary& summary, std::ostream& out)
{
	char line[256];
	auto print = [&](const char* format, auto... values) {
		std::snprintf(line, sizeof line, format, values...);
		out << line;
	};
	for (const TunerLine& reading : summary.tuner)
		print("tuner: %.3f s %s %+.2f cents %s\n", reading.time, noteName(reading.note).c_str(), reading.cents,
		      reading.held ? "held" : "none");
	const double seconds = summary.processingTime;
	print("input: %s (%d channel%s, %d Hz)\n", summary.input.c_str(), summary.inputChannels,
	      summary.inputChannels == 1 ? "" : "s", summary.sampleRate);
	print("output: %s (2 channels, %d Hz)\n", summary.output.c_str(), summary.sampleRate);
	print("duration: %.3f s\n", summary.duration);
	print("realtime factor: %.1f (%.3f s of processing)\n", seconds > 0 ? summary.duration / seconds : 0.0,
	      seconds);
	print("peak: L %s dBFS, R %s dBFS\n", decibels(summary.peak[0]).c_str(), decibels(summary.peak[1]).c_str());
	print("rms: L %s dBFS, R %s dBFS\n", decibels(summary.rms[0]).c_str(), decibels(summary.rms[1]).c_str());
	print("input clip LED: %.3f s\n", summary.ledSeconds[0]);
	print("output clip LED: %.3f s\n", summary.ledSeconds[1]);
	print("compression LED: %.3f s\n", summary.ledSeconds[2]);
}

std::string summaryLine(const RenderSummary& summary)
{
	char line[256];
	const double seconds = summary.processingTime;
	std::snprintf(line, sizeof line, "%.3f s, peak L %s R %s dBFS, %.1fx realtime", summary.duration,
	              decibels(summary.peak[0]).c_str(), decibels(summary.peak[1]).c_str(),
	              seconds > 0 ? summary.duration / seconds : 0.0);
	return line;
}

} // namespace brontal::host
