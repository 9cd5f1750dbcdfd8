#pragma once

// What the application's tests stand on: a JACK server of the test's own
// (dummy driver), brontal-live run as a user runs it, a JACK client that
// plays a recording into it and records what it plays, in freewheel mode,
// and brontal-render's rendering of the same file.

#include <jack/jack.h>

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace brontal::livetest {

namespace fs = std::filesystem;

struct Stereo
{
	std::vector<float> left, right;
};

// Interleaved audio file frames (libsndfile), any channel count.
std::vector<std::vector<float>> readChannels(const fs::path& path, int* sampleRate = nullptr);
void writeChannels(const fs::path& path, const std::vector<std::vector<float>>& channels, int sampleRate);

// brontal-render of input with the given extra arguments, block 64.
Stereo render(const fs::path& input, const std::vector<std::string>& arguments, const fs::path& scratch);

// The lag (frames, recording behind reference) in [-range, range] that
// makes the two closest, and the difference's energy over the reference's
// at that lag, in dB, over the reference's length.
struct Alignment
{
	int lag = 0;
	double differenceDb = 0.0;
};
Alignment align(const Stereo& reference, const Stereo& recording, int range);

// A fresh temporary folder, removed at the end.
class ScratchFolder
{
public:
	ScratchFolder();
	~ScratchFolder();
	const fs::path& path() const { return folder; }

private:
	fs::path folder;
};

// jackd -n NAME -d dummy at 48 kHz / 64 frames; JACK_DEFAULT_SERVER is set
// to NAME for this process and what it starts. Stopped by its pid. One at a
// time per test program.
class JackServer
{
public:
	// The program's own name unless given one.
	explicit JackServer(int period = 64, const std::string& name = {});
	~JackServer();
	const std::string& name() const { return serverName; }

private:
	std::string serverName;
	pid_t pid = -1;
};

// brontal-live with arguments, its standard output and error in files.
class LiveProcess
{
public:
	LiveProcess(const std::vector<std::string>& arguments, const fs::path& configHome, const fs::path& logs);
	~LiveProcess();
	// Waits until the output holds text (true) or the time or the process ends.
	bool waitForOutput(const std::string& text, double seconds) const;
	// SIGTERM, then the exit status (-1 when it had to be killed).
	int quit();
	std::string output() const;
	std::string errors() const;

private:
	pid_t pid = -1;
	fs::path outPath, errPath;
};

// Runs the whole program to its end: exit status, standard output and error.
struct Finished
{
	int status = -1;
	std::string output;
	std::string errors;
};
Finished runLive(const std::vector<std::string>& arguments, const fs::path& configHome);

struct MidiAt
{
	long frame; // from the first played frame
	std::vector<unsigned char> bytes;
};

// Plays channels into the application's input ports and records its two
// outputs for as long plus tail frames, every cycle in freewheel mode.
class FreewheelPlayer
{
public:
	FreewheelPlayer();
	~FreewheelPlayer();
	// Connects to brontal-live's ports (inputs: its port names).
	void connect(const std::vector<std::string>& appInputs);
	Stereo play(const std::vector<std::vector<float>>& channels, long tail, const std::vector<MidiAt>& midi = {});

private:
	static int sourceProcess(jack_nframes_t frames, void* arg);
	static int sinkProcess(jack_nframes_t frames, void* arg);

	jack_client_t* source = nullptr;
	jack_client_t* sink = nullptr;
	std::vector<jack_port_t*> sourcePorts;
	jack_port_t* midiPort = nullptr;
	jack_port_t* sinkPorts[2] = {};

	const std::vector<std::vector<float>>* playing = nullptr;
	const std::vector<MidiAt>* events = nullptr;
	Stereo recording;
	long total = 0;
	std::atomic<bool> armed{false};
	std::atomic<bool> done{false};
	std::atomic<long> cycleStart{-1}; // file position of this cycle's first frame
	long nextPosition = 0;
};

// Plays one channel round and round into an application port, in real time.
class LoopPlayer
{
public:
	LoopPlayer(const std::vector<float>& channel, const std::string& appInput);
	~LoopPlayer();

private:
	static int process(jack_nframes_t frames, void* arg);

	const std::vector<float>& samples;
	jack_client_t* client = nullptr;
	jack_port_t* port = nullptr;
	std::size_t position = 0;
};

// "callbacks N, load mean M% worst W% of the period, late L, dropouts D",
// the line brontal-live prints as it quits.
struct CallbackFigures
{
	long callbacks = -1;
	double meanPercent = 0, worstPercent = 0;
	long late = 0, dropouts = 0;
};
CallbackFigures parseFigures(const std::string& output);

fs::path demoRiff();

} // namespace brontal::livetest
