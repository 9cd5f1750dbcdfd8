#include "liverig.h"

#include <jack/midiport.h>
#include <sndfile.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <functional>
#include <stdexcept>
#include <thread>

namespace brontal::livetest {

namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& arguments, const fs::path& out, const fs::path& err)
{
	const pid_t child = fork();
	if (child == 0)
	{
		const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		dup2(outFd, STDOUT_FILENO);
		dup2(errFd, STDERR_FILENO);
		const int nullFd = ::open("/dev/null", O_RDONLY);
		dup2(nullFd, STDIN_FILENO);
		std::vector<char*> argv;
		for (const std::string& argument : arguments)
			argv.push_back(const_cast<char*>(argument.c_str()));
		argv.push_back(nullptr);
		execv(argv[0], argv.data());
		_exit(127);
	}
	if (child < 0)
		throw std::runtime_error("fork failed");
	return child;
}

int waitFor(pid_t child)
{
	int status = 0;
	while (waitpid(child, &status, 0) < 0 && errno == EINTR)
	{
	}
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string slurp(const fs::path& path)
{
	std::ifstream file(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(file), {});
}

// One name per test program and build tree: parallel programs and trees
// never meet, and a server of an earlier run that died without leaving
// JACK's registry (which holds eight) is reclaimed under the same name
// rather than filling it.
std::string serverNameOfThisProgram()
{
	const std::size_t tree = std::hash<std::string>{}(BRONTAL_LIVE_PATH) % 100000;
	return std::string("brontal-") + program_invocation_short_name + "-" + std::to_string(tree);
}

} // namespace

fs::path demoRiff()
{
	return fs::path(BRONTAL_SOURCE_DIR) / "examples" / "demo-riff.wav";
}

std::vector<std::vector<float>> readChannels(const fs::path& path, int* sampleRate)
{
	SF_INFO info{};
	SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
	if (!file)
		throw std::runtime_error("cannot read " + path.string());
	std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
	sf_readf_float(file, interleaved.data(), info.frames);
	sf_close(file);
	if (sampleRate)
		*sampleRate = info.samplerate;
	std::vector<std::vector<float>> channels(info.channels, std::vector<float>(info.frames));
	for (sf_count_t i = 0; i < info.frames; ++i)
		for (int c = 0; c < info.channels; ++c)
			channels[c][i] = interleaved[i * info.channels + c];
	return channels;
}

void writeChannels(const fs::path& path, const std::vector<std::vector<float>>& channels, int sampleRate)
{
	SF_INFO info{};
	info.samplerate = sampleRate;
	info.channels = static_cast<int>(channels.size());
	info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
	if (!file)
		throw std::runtime_error("cannot write " + path.string());
	const std::size_t frames = channels[0].size();
	std::vector<float> interleaved(frames * channels.size());
	for (std::size_t i = 0; i < frames; ++i)
		for (std::size_t c = 0; c < channels.size(); ++c)
			interleaved[i * channels.size() + c] = channels[c][i];
	sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
	sf_close(file);
}

Stereo render(const fs::path& input, const std::vector<std::string>& arguments, const fs::path& scratch)
{
	const fs::path output = scratch / "render.wav";
	std::vector<std::string> command{BRONTAL_RENDER_PATH, "--plugin", BRONTAL_BUNDLE_PATH, "--block", "64"};
	command.insert(command.end(), arguments.begin(), arguments.end());
	command.push_back(input.string());
	command.push_back(output.string());
	if (waitFor(spawn(command, scratch / "render.out", scratch / "render.err")) != 0)
		throw std::runtime_error("brontal-render failed: " + slurp(scratch / "render.err"));
	const auto channels = readChannels(output);
	return {channels.at(0), channels.at(1)};
}

Alignment align(const Stereo& reference, const Stereo& recording, int range)
{
	Alignment best{0, 1e9};
	const long length = static_cast<long>(reference.left.size());
	for (int lag = -range; lag <= range; ++lag)
	{
		double difference = 0.0, energy = 0.0;
		for (long i = 0; i < length; ++i)
		{
			const long j = i + lag;
			const auto at = [&](const std::vector<float>& channel) {
				return j >= 0 && j < static_cast<long>(channel.size()) ? static_cast<double>(channel[j]) : 0.0;
			};
			const double dl = at(recording.left) - reference.left[i];
			const double dr = at(recording.right) - reference.right[i];
			difference += dl * dl + dr * dr;
			energy += static_cast<double>(reference.left[i]) * reference.left[i] +
			          static_cast<double>(reference.right[i]) * reference.right[i];
		}
		const double db = 10.0 * std::log10(std::max(difference, 1e-300) / std::max(energy, 1e-300));
		if (db < best.differenceDb)
			best = {lag, db};
	}
	return best;
}

ScratchFolder::ScratchFolder()
{
	std::string pattern = (fs::temp_directory_path() / "brontal-live-XXXXXX").string();
	if (!mkdtemp(pattern.data()))
		throw std::runtime_error("mkdtemp failed");
	folder = pattern;
}

ScratchFolder::~ScratchFolder()
{
	std::error_code error;
	fs::remove_all(folder, error);
}

JackServer::JackServer(int period, const std::string& name)
    : serverName(name.empty() ? serverNameOfThisProgram() : name)
{
	setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
	setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
	const fs::path log = fs::temp_directory_path() / (serverName + ".log");
	pid = spawn({"/usr/bin/jackd", "-n", serverName, "-d", "dummy", "-r", "48000", "-p", std::to_string(period)}, log, log);
	const auto deadline = Clock::now() + std::chrono::seconds(10);
	while (Clock::now() < deadline)
	{
		jack_status_t status{};
		if (jack_client_t* probe = jack_client_open("probe", JackNoStartServer, &status))
		{
			jack_client_close(probe);
			return;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
	}
	kill(pid, SIGKILL);
	waitFor(pid);
	throw std::runtime_error("jackd did not start: " + slurp(log));
}

JackServer::~JackServer()
{
	if (pid > 0)
	{
		kill(pid, SIGTERM);
		waitFor(pid);
	}
	std::error_code error;
	fs::remove(fs::temp_directory_path() / (serverName + ".log"), error);
}

LiveProcess::LiveProcess(const std::vector<std::string>& arguments, const fs::path& configHome, const fs::path& logs)
{
	// Each run its own files: a later run must never be read as an earlier one.
	static int runs = 0;
	++runs;
	outPath = logs / ("live" + std::to_string(runs) + ".out");
	errPath = logs / ("live" + std::to_string(runs) + ".err");
	setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
	std::vector<std::string> command{BRONTAL_LIVE_PATH, "--plugin", BRONTAL_BUNDLE_PATH};
	command.insert(command.end(), arguments.begin(), arguments.end());
	pid = spawn(command, outPath, errPath);
}

LiveProcess::~LiveProcess()
{
	if (pid > 0)
		quit();
}

bool LiveProcess::waitForOutput(const std::string& text, double seconds) const
{
	const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
	while (Clock::now() < deadline)
	{
		if (output().find(text) != std::string::npos)
			return true;
		int status = 0;
		if (waitpid(pid, &status, WNOHANG) == pid)
			return output().find(text) != std::string::npos;
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
	return false;
}

int LiveProcess::quit()
{
	kill(pid, SIGTERM);
	const auto deadline = Clock::now() + std::chrono::seconds(10);
	int status = 0;
	while (Clock::now() < deadline)
	{
		const pid_t done = waitpid(pid, &status, WNOHANG);
		if (done == pid)
		{
			pid = -1;
			return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		}
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	}
	kill(pid, SIGKILL);
	waitFor(pid);
	pid = -1;
	return -1;
}

std::string LiveProcess::output() const
{
	return slurp(outPath);
}

std::string LiveProcess::errors() const
{
	return slurp(errPath);
}

Finished runLive(const std::vector<std::string>& arguments, const fs::path& configHome)
{
	setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
	std::vector<std::string> command{BRONTAL_LIVE_PATH, "--plugin", BRONTAL_BUNDLE_PATH};
	command.insert(command.end(), arguments.begin(), arguments.end());
	const fs::path out = configHome / "run.out", err = configHome / "run.err";
	Finished finished;
	finished.status = waitFor(spawn(command, out, err));
	finished.output = slurp(out);
	finished.errors = slurp(err);
	return finished;
}

FreewheelPlayer::FreewheelPlayer()
{
	jack_status_t status{};
	source = jack_client_open("live-test-source", JackNoStartServer, &status);
	sink = jack_client_open("live-test-sink", JackNoStartServer, &status);
	if (!source || !sink)
		throw std::runtime_error("the test's JACK clients cannot connect");
	midiPort = jack_port_register(source, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
	sinkPorts[0] = jack_port_register(sink, "in_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
	sinkPorts[1] = jack_port_register(sink, "in_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
	jack_set_process_callback(source, &FreewheelPlayer::sourceProcess, this);
	jack_set_process_callback(sink, &FreewheelPlayer::sinkProcess, this);
}

FreewheelPlayer::~FreewheelPlayer()
{
	for (jack_client_t* client : {source, sink})
		if (client)
			jack_client_close(client);
}

void FreewheelPlayer::connect(const std::vector<std::string>& appInputs)
{
	for (std::size_t i = 0; i < appInputs.size(); ++i)
		sourcePorts.push_back(jack_port_register(source, ("out_" + std::to_string(i + 1)).c_str(),
		                                         JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
	if (jack_activate(source) != 0 || jack_activate(sink) != 0)
		throw std::runtime_error("cannot activate the test's JACK clients");
	auto join = [](jack_client_t* client, const std::string& from, const std::string& to) {
		if (jack_connect(client, from.c_str(), to.c_str()) != 0)
			throw std::runtime_error("cannot connect " + from + " to " + to);
	};
	for (std::size_t i = 0; i < appInputs.size(); ++i)
		join(source, jack_port_name(sourcePorts[i]), "brontal-live:" + appInputs[i]);
	join(source, jack_port_name(midiPort), "brontal-live:midi_in");
	join(sink, "brontal-live:out_left", jack_port_name(sinkPorts[0]));
	join(sink, "brontal-live:out_right", jack_port_name(sinkPorts[1]));
}

Stereo FreewheelPlayer::play(const std::vector<std::vector<float>>& channels, long tail, const std::vector<MidiAt>& midi)
{
	playing = &channels;
	events = &midi;
	total = static_cast<long>(channels[0].size()) + tail;
	recording.left.assign(total, 0.0f);
	recording.right.assign(total, 0.0f);
	nextPosition = 0;
	done = false;
	if (jack_set_freewheel(source, 1) != 0)
		throw std::runtime_error("the server refuses freewheel mode");
	armed = true;
	const auto deadline = Clock::now() + std::chrono::seconds(120);
	while (!done && Clock::now() < deadline)
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	armed = false;
	jack_set_freewheel(source, 0);
	if (!done)
		throw std::runtime_error("the freewheel run did not finish");
	return recording;
}

int FreewheelPlayer::sourceProcess(jack_nframes_t frames, void* arg)
{
	auto* self = static_cast<FreewheelPlayer*>(arg);
	void* midiBuffer = jack_port_get_buffer(self->midiPort, frames);
	jack_midi_clear_buffer(midiBuffer);
	const bool playingNow = self->armed && !self->done;
	const long start = self->nextPosition;
	for (std::size_t c = 0; c < self->sourcePorts.size(); ++c)
	{
		auto* out = static_cast<float*>(jack_port_get_buffer(self->sourcePorts[c], frames));
		for (jack_nframes_t i = 0; i < frames; ++i)
		{
			const long at = start + static_cast<long>(i);
			out[i] = playingNow && at < static_cast<long>((*self->playing)[c].size()) ? (*self->playing)[c][at] : 0.0f;
		}
	}
	if (!playingNow)
	{
		self->cycleStart = -1;
		return 0;
	}
	for (const MidiAt& event : *self->events)
		if (event.frame >= start && event.frame < start + static_cast<long>(frames))
			jack_midi_event_write(midiBuffer, static_cast<jack_nframes_t>(event.frame - start), event.bytes.data(),
			                      event.bytes.size());
	self->cycleStart = start;
	self->nextPosition = start + frames;
	return 0;
}

int FreewheelPlayer::sinkProcess(jack_nframes_t frames, void* arg)
{
	auto* self = static_cast<FreewheelPlayer*>(arg);
	const long start = self->cycleStart;
	if (start < 0 || self->done)
		return 0;
	const auto* left = static_cast<const float*>(jack_port_get_buffer(self->sinkPorts[0], frames));
	const auto* right = static_cast<const float*>(jack_port_get_buffer(self->sinkPorts[1], frames));
	for (jack_nframes_t i = 0; i < frames; ++i)
	{
		const long at = start + static_cast<long>(i);
		if (at < self->total)
		{
			self->recording.left[at] = left[i];
			self->recording.right[at] = right[i];
		}
	}
	if (start + static_cast<long>(frames) >= self->total)
		self->done = true;
	return 0;
}

LoopPlayer::LoopPlayer(const std::vector<float>& channel, const std::string& appInput) : samples(channel)
{
	jack_status_t status{};
	client = jack_client_open("live-test-loop", JackNoStartServer, &status);
	if (!client)
		throw std::runtime_error("the test's JACK client cannot connect");
	port = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
	jack_set_process_callback(client, &LoopPlayer::process, this);
	if (jack_activate(client) != 0 || jack_connect(client, jack_port_name(port), ("brontal-live:" + appInput).c_str()) != 0)
		throw std::runtime_error("cannot play into brontal-live:" + appInput);
}

LoopPlayer::~LoopPlayer()
{
	jack_client_close(client);
}

int LoopPlayer::process(jack_nframes_t frames, void* arg)
{
	auto* self = static_cast<LoopPlayer*>(arg);
	auto* out = static_cast<float*>(jack_port_get_buffer(self->port, frames));
	for (jack_nframes_t i = 0; i < frames; ++i)
	{
		out[i] = self->samples[self->position];
		self->position = (self->position + 1) % self->samples.size();
	}
	return 0;
}

CallbackFigures parseFigures(const std::string& output)
{
	CallbackFigures figures;
	const std::size_t at = output.find("callbacks ");
	if (at != std::string::npos)
		std::sscanf(output.c_str() + at, "callbacks %ld, load mean %lf%% worst %lf%% of the period, late %ld, dropouts %ld",
		            &figures.callbacks, &figures.meanPercent, &figures.worstPercent, &figures.late, &figures.dropouts);
	return figures;
}

} // namespace brontal::livetest
