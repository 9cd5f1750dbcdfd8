// brontal-render through the real bundle: output files, the printed
// summary, and clean failure on bad input.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>


#if defined(__SANITIZE_ADDRESS__)
#define BRONTAL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRONTAL_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef BRONTAL_ADDRESS_SANITIZER
#define BRONTAL_ADDRESS_SANITIZER 0
#endif
namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Audio
{
	int sampleRate = 48000;
	int channels = 1;
	int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	std::vector<float> samples; // interleaved
	long frames() const { return static_cast<long>(samples.size()) / channels; }
};

// Sines of the given amplitudes, one per channel, at 1 kHz.
Audio sine(const std::vector<double>& amplitudes, double seconds, int sampleRate = 48000)
{
	Audio audio;
	audio.sampleRate = sampleRate;
	audio.channels = static_cast<int>(amplitudes.size());
	const long frames = std::lround(seconds * sampleRate);
	for (long i = 0; i < frames; ++i)
		for (double amplitude : amplitudes)
			audio.samples.push_back(
			    static_cast<float>(amplitude * std::sin(2.0 * kPi * 1000.0 * i / sampleRate)));
	return audio;
}

void writeAudio(const fs::path& path, const Audio& audio)
{
	SF_INFO info{};
	info.samplerate = audio.sampleRate;
	info.channels = audio.channels;
	info.format = audio.format;
	SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
	ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
	ASSERT_EQ(sf_writef_float(file, audio.samples.data(), audio.frames()), audio.frames());
	sf_close(file);
}

Audio readAudio(const fs::path& path)
{
	SF_INFO info{};
	SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
	EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
	Audio audio;
	if (!file)
		return audio;
	audio.sampleRate = info.samplerate;
	audio.channels = info.channels;
	audio.format = info.format;
	audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
	sf_readf_float(file, audio.samples.data(), info.frames);
	sf_close(file);
	return audio;
}

std::string readText(const fs::path& path)
{
	std::ifstream file(path);
	return std::string(std::istreambuf_iterator<char>(file), {});
}

struct ToolRun
{
	int status = -1;
	std::string out;
	std::string err;
	long maxResidentKb = 0;
};

// Each test gets its own empty directory for inputs and outputs; the
// tool's console output is captured outside it.
class RenderTool : public ::testing::Test
{
protected:
	void SetUp() override
	{
		base = fs::temp_directory_path() /
		       ("brontal-render-test-" + std::to_string(getpid()) + "-" +
		        ::testing::UnitTest::GetInstance()->current_test_info()->name());
		fs::remove_all(base);
		dir = base / "files";
		fs::create_directories(dir);
	}

	void TearDown() override { fs::remove_all(base); }

	ToolRun run(const std::vector<std::string>& args)
	{
		const fs::path outPath = base / "stdout.txt";
		const fs::path errPath = base / "stderr.txt";
		const pid_t child = fork();
		if (child == 0)
		{
			const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
			const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
			dup2(outFd, STDOUT_FILENO);
			dup2(errFd, STDERR_FILENO);
			execv(BRONTAL_RENDER_PATH, argv(args).data());
			_exit(127);
		}
		ToolRun result;
		int status = 0;
		struct rusage usage = {};
		wait4(child, &status, 0, &usage);
		result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		result.maxResidentKb = usage.ru_maxrss;
		result.out = readText(outPath);
		result.err = readText(errPath);
		return result;
	}

	// Runs the tool with a pseudo-terminal as its standard output and error;
	// returns everything it wrote there.
	ToolRun runOnTerminal(const std::vector<std::string>& args)
	{
		int master = -1;
		winsize size{};
		size.ws_row = 50;
		size.ws_col = 200;
		const pid_t child = forkpty(&master, nullptr, nullptr, &size);
		if (child == 0)
		{
			execv(BRONTAL_RENDER_PATH, argv(args).data());
			_exit(127);
		}
		ToolRun result;
		char buffer[4096];
		ssize_t count;
		while ((count = read(master, buffer, sizeof buffer)) > 0 || (count < 0 && errno == EINTR))
			result.out.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
		close(master);
		int status = 0;
		waitpid(child, &status, 0);
		result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		return result;
	}

	static std::vector<char*> argv(const std::vector<std::string>& args)
	{
		std::vector<char*> list{const_cast<char*>(BRONTAL_RENDER_PATH)};
		for (const std::string& arg : args)
			list.push_back(const_cast<char*>(arg.c_str()));
		list.push_back(nullptr);
		return list;
	}

	std::string file(const std::string& name) const { return (dir / name).string(); }

	std::vector<std::string> filesInDir() const { return filesIn(dir); }

	static std::vector<std::string> filesIn(const fs::path& folder)
	{
		std::vector<std::string> names;
		for (const auto& entry : fs::directory_iterator(folder))
			names.push_back(entry.path().filename().string());
		std::sort(names.begin(), names.end());
		return names;
	}

	fs::path base;
	fs::path dir;
};

// "key: value" lines of the summary.
std::map<std::string, std::string> summary(const std::string& text)
{
	std::map<std::string, std::string> lines;
	std::istringstream stream(text);
	std::string line;
	while (std::getline(stream, line))
	{
		const std::size_t colon = line.find(": ");
		if (colon != std::string::npos)
			lines[line.substr(0, colon)] = line.substr(colon + 2);
	}
	return lines;
}

// The two numbers of "L <x> dBFS, R <y> dBFS".
std::pair<double, double> perChannel(const std::string& value)
{
	double left = 0, right = 0;
	EXPECT_EQ(std::sscanf(value.c_str(), "L %lf dBFS, R %lf dBFS", &left, &right), 2) << value;
	return {left, right};
}

double seconds(const std::string& value)
{
	double result = -1;
	EXPECT_EQ(std::sscanf(value.c_str(), "%lf s", &result), 1) << value;
	return result;
}

std::vector<char> stateRecord(const std::map<int, float>& values)
{
	static const float defaults[20] = {1.0f, 1.0f, 1.0f, 0.8f, 1.0f, 0.55f, 0.0f, 1.0f, 1.0f, 0.1f,
	                                   1.0f, 0.75f, 0.55f, 0, 0, 0, 0, 0, 0, 0};
	std::vector<char> bytes(80);
	for (int id = 0; id < 20; ++id)
	{
		const auto changed = values.find(id);
		const float value = changed == values.end() ? defaults[id] : changed->second;
		std::memcpy(bytes.data() + 4 * id, &value, 4); // little-endian host
	}
	return bytes;
}

// The record followed by the 'parm' chunk of the parameters after it: the
// tuner's switch (21) and reference (22), little-endian.
std::vector<char> savedState(const std::map<int, float>& values)
{
	std::vector<char> bytes = stateRecord(values);
	const auto word = [&](uint32_t w) {
		for (int b = 0; b < 4; ++b)
			bytes.push_back(static_cast<char>((w >> (8 * b)) & 0xFF));
	};
	bytes.insert(bytes.end(), {'p', 'a', 'r', 'm'});
	for (uint32_t w : {1u, 20u, 2u})
		word(w);
	for (const auto& [id, fDefault] : {std::pair<int, float>{21, 0.0f}, {22, 0.5f}})
	{
		const auto changed = values.find(id);
		const float value = changed == values.end() ? fDefault : changed->second;
		uint32_t bits;
		std::memcpy(&bits, &value, 4);
		word(static_cast<uint32_t>(id));
		word(bits);
	}
	return bytes;
}

TEST_F(RenderTool, BypassedMonoFileReachesBothChannelsUnchanged)
{
	// Mono input on both inputs of the stereo bus; bypass copies input to
	// output. 1 kHz at 48 kHz: whole periods, exact peaks.
	const Audio input = sine({0.5}, 1.5);
	writeAudio(file("in.wav"), input);
	const ToolRun result = run({"--bypass", file("in.wav"), file("out.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	EXPECT_EQ(result.err, "");

	const Audio output = readAudio(file("out.wav"));
	ASSERT_EQ(output.channels, 2);
	EXPECT_EQ(output.sampleRate, 48000);
	EXPECT_EQ(output.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
	ASSERT_EQ(output.frames(), input.frames());
	for (long i = 0; i < input.frames(); ++i)
	{
		ASSERT_EQ(output.samples[2 * i], input.samples[i]) << i;
		ASSERT_EQ(output.samples[2 * i + 1], input.samples[i]) << i;
	}

	auto lines = summary(result.out);
	EXPECT_NEAR(seconds(lines["duration"]), 1.5, 0.0005);
	const auto [peakL, peakR] = perChannel(lines["peak"]);
	EXPECT_NEAR(peakL, 20 * std::log10(0.5), 0.006);
	EXPECT_NEAR(peakR, 20 * std::log10(0.5), 0.006);
	const auto [rmsL, rmsR] = perChannel(lines["rms"]);
	EXPECT_NEAR(rmsL, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.006);
	EXPECT_NEAR(rmsR, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.006);
	EXPECT_EQ(seconds(lines["input clip LED"]), 0.0);
	EXPECT_EQ(seconds(lines["output clip LED"]), 0.0);
	EXPECT_EQ(seconds(lines["compression LED"]), 0.0);
	EXPECT_TRUE(lines.count("realtime factor"));
	EXPECT_EQ(filesInDir(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

// Files go through in chunks of many blocks: a long file comes out whole and
// in order at a block length that does not divide the chunk, and the tool
// holds no more memory for a minute of audio than for five seconds.
TEST_F(RenderTool, LongFilesStreamThroughInChunks)
{
	long aiResidentKb[2] = {};
	for (const double dSeconds : {5.0, 60.0})
	{
		{
			// Written and let go before the tool starts: a forked child counts
			// its parent's pages until it runs the tool.
			Audio input = sine({0.5}, dSeconds);
			for (std::size_t i = 0; i < input.samples.size(); i += 4801)
				input.samples[i] = -0.25f; // a mark every 4801 samples: any shift or repeat shows
			writeAudio(file("in.wav"), input);
		}
		const ToolRun result = run({"--bypass", "--block", "1000", file("in.wav"), file("out.wav")});
		ASSERT_EQ(result.status, 0) << result.err;
		const Audio input = readAudio(file("in.wav"));
		const Audio output = readAudio(file("out.wav"));
		ASSERT_EQ(output.frames(), input.frames());
		for (long i = 0; i < input.frames(); ++i)
		{
			ASSERT_EQ(output.samples[static_cast<std::size_t>(2 * i)], input.samples[static_cast<std::size_t>(i)]) << i;
			ASSERT_EQ(output.samples[static_cast<std::size_t>(2 * i + 1)], input.samples[static_cast<std::size_t>(i)]) << i;
		}
		aiResidentKb[dSeconds > 10.0 ? 1 : 0] = result.maxResidentKb;
	}
#if BRONTAL_ADDRESS_SANITIZER
	// The address sanitizer holds on to freed memory for a while: there the
	// tool's peak says nothing about what it keeps.
	static_cast<void>(aiResidentKb);
#else
	EXPECT_LT(aiResidentKb[1] - aiResidentKb[0], 2048) << aiResidentKb[0] << " KiB, then " << aiResidentKb[1] << " KiB";
#endif
}

TEST_F(RenderTool, BypassedStereoFileKeepsItsChannelsApart)
{
	const Audio input = sine({0.5, 0.25}, 0.5, 44100);
	writeAudio(file("in.wav"), input);
	const ToolRun result = run({"--bypass", "--block", "300", file("in.wav"), file("out.wav")});
	ASSERT_EQ(result.status, 0) << result.err;

	const Audio output = readAudio(file("out.wav"));
	EXPECT_EQ(output.sampleRate, 44100);
	ASSERT_EQ(output.channels, 2);
	ASSERT_EQ(output.samples, input.samples);
	const auto [peakL, peakR] = perChannel(summary(result.out)["peak"]);
	// 1 kHz at 44.1 kHz does not land on the crest: within 0.01 dB of it.
	EXPECT_NEAR(peakL, 20 * std::log10(0.5), 0.01);
	EXPECT_NEAR(peakR, 20 * std::log10(0.25), 0.01);
}

TEST_F(RenderTool, InputClipLedTimeIsTwoHundredBlocks)
{
	// One block of full scale (above the 0.99 clip threshold), then a quiet
	// sine: the LED is lit for the clipping block and the 199 after it, so
	// 200 x block / rate seconds.
	struct Case
	{
		int sampleRate;
		int block;
	};
	for (const Case c : {Case{48000, 512}, Case{48000, 256}, Case{44100, 1000}})
	{
		Audio input = sine({0.25}, 5.0, c.sampleRate);
		for (int i = 0; i < c.block; ++i)
			input.samples[i] = (i % 2) ? 1.0f : -1.0f;
		writeAudio(file("in.wav"), input);
		const ToolRun result =
		    run({"--block", std::to_string(c.block), file("in.wav"), file("out.flac")});
		ASSERT_EQ(result.status, 0) << result.err;

		const double expected = 200.0 * c.block / c.sampleRate;
		EXPECT_NEAR(seconds(summary(result.out)["input clip LED"]), expected, 0.0005)
		    << c.sampleRate << " Hz, block " << c.block;
		const Audio output = readAudio(file("out.flac"));
		EXPECT_EQ(output.sampleRate, c.sampleRate);
		EXPECT_EQ(output.channels, 2);
		EXPECT_EQ(output.frames(), input.frames());
		for (float sample : output.samples)
			ASSERT_TRUE(std::isfinite(sample));
	}
}

TEST_F(RenderTool, OutputEncodingFollowsExtensionAndInput)
{
	Audio input = sine({0.5}, 0.25);
	input.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
	writeAudio(file("in.wav"), input);
	const std::map<std::string, int> expected{
	    {"out.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
	    {"out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
	    {"out.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
	    {"out.AIF", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
	};
	for (const auto& [name, format] : expected)
	{
		const ToolRun result = run({file("in.wav"), file(name)});
		ASSERT_EQ(result.status, 0) << name << ": " << result.err;
		const Audio output = readAudio(file(name));
		EXPECT_EQ(output.format, format) << name;
		EXPECT_EQ(output.frames(), input.frames()) << name;
	}
}

TEST_F(RenderTool, StateRecordIsSavedAndLoaded)
{
	writeAudio(file("in.wav"), sine({0.5}, 0.25));

	// Saved after the render, once the processor is deactivated (which
	// zeroes the indicators): the defaults with the two settings applied.
	ToolRun result = run({"--set", "distortion LEVEL=0.25", "--set", "6=1", "--state-out",
	                  file("state.bin"), file("in.wav"), file("out.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	const std::string saved = readText(file("state.bin"));
	const std::vector<char> expected = savedState({{5, 0.25f}, {6, 1.0f}});
	EXPECT_EQ(std::vector<char>(saved.begin(), saved.end()), expected);

	// A loaded record with bypass on makes the output a copy of the input.
	{
		const std::vector<char> bypassed = stateRecord({{19, 1.0f}});
		std::ofstream(file("bypass.bin"), std::ios::binary).write(bypassed.data(), 80);
	}
	result = run({"--state-in", file("bypass.bin"), file("in.wav"), file("copy.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	const Audio input = readAudio(file("in.wav"));
	const Audio output = readAudio(file("copy.wav"));
	ASSERT_EQ(output.frames(), input.frames());
	for (long i = 0; i < input.frames(); ++i)
		ASSERT_EQ(output.samples[2 * i + 1], input.samples[i]) << i;
}

TEST_F(RenderTool, ListsTheParameters)
{
	const ToolRun result = run({"--plugin", BRONTAL_BUNDLE_PATH, "--list-params"});
	ASSERT_EQ(result.status, 0) << result.err;
	std::istringstream lines(result.out);
	std::string line;
	std::vector<std::string> rows;
	std::getline(lines, line); // header
	while (std::getline(lines, line))
		rows.push_back(line);
	// The nineteen, the tuner's five, the switches' sixteen pedals, the program choice.
	ASSERT_EQ(rows.size(), 41u);
	EXPECT_EQ(rows[0], "    0    1 1.000000  automate         Input Selection");
	EXPECT_EQ(rows[2], "    2    3 0.800000  automate         Compressor Level");
	EXPECT_EQ(rows[14], "   14   15 0.000000  read-only        Input Clipping Led");
	EXPECT_EQ(rows[18], "   18   19 0.000000  bypass           Bypass");
	EXPECT_EQ(rows[19], "   19   21 0.000000  automate         Tuner ON OFF");
	EXPECT_EQ(rows[22], "   22   24 0.500000  read-only        Tuner Cents");
	EXPECT_EQ(rows[33], "   33   35 0.000000  hidden           Delay Pedal Toggle");
	EXPECT_EQ(rows[40], "   40   42 0.000000  automate,list,program-change Program");
}

// --tuner as a user runs it on a recording: a G3 20 cents flat, after 0.25 s
// of silence, in 512-sample blocks. The tuner's lines come before the
// summary: nothing held in the silence, then within 150 ms of the note G3
// at -20 cents to half a cent, block by block; the output is muted.
TEST_F(RenderTool, TunerPrintsItsReadings)
{
	Audio input;
	const double dHz = 440.0 * std::pow(2.0, (55 - 69 - 0.2) / 12.0);
	for (long i = 0; i < 48000; ++i)
		input.samples.push_back(i < 12000 ? 0.0f : static_cast<float>(0.3 * std::sin(2.0 * M_PI * dHz * (i - 12000) / 48000.0)));
	writeAudio(file("g3.wav"), input);
	const ToolRun result = run({"--tuner", file("g3.wav"), file("out.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	std::istringstream lines(result.out);
	std::string line;
	int iHeld = 0;
	double dFirst = -1.0;
	while (std::getline(lines, line) && line.rfind("tuner: ", 0) == 0)
	{
		double dTime = 0.0, dCents = 0.0;
		char acNote[8] = {}, acHeld[8] = {};
		ASSERT_EQ(std::sscanf(line.c_str(), "tuner: %lf s %7s %lf cents %7s", &dTime, acNote, &dCents, acHeld), 4) << line;
		if (std::string(acHeld) != "held")
			continue;
		EXPECT_GT(dTime, 0.25) << line;
		if (dFirst < 0.0)
			dFirst = dTime;
		EXPECT_EQ(std::string(acNote), "G3") << line;
		if (dTime >= 0.4)
		{
			EXPECT_NEAR(dCents, -20.0, 0.5) << line;
			++iHeld;
		}
	}
	EXPECT_GT(dFirst, 0.25);
	EXPECT_LE(dFirst, 0.4);
	// A reading at least every 40 ms of the 0.6 s from 0.4 s on.
	EXPECT_GE(iHeld, 14);
	EXPECT_EQ(line.rfind("input: ", 0), 0u) << "the summary follows: " << line;
	const Audio output = readAudio(file("out.wav"));
	EXPECT_EQ(*std::max_element(output.samples.begin() + 2 * 480, output.samples.end()), 0.0f);
	EXPECT_EQ(*std::min_element(output.samples.begin() + 2 * 480, output.samples.end()), 0.0f);

	const ToolRun many = run({"--tuner", "-o", file("dir"), file("g3.wav")});
	EXPECT_EQ(many.status, 2);
	EXPECT_EQ(many.err, "brontal-render: --tuner prints one file's readings and cannot be used with -o\n");
}

TEST_F(RenderTool, BadInputFailsWithOneLineAndNoOutput)
{
	writeAudio(file("in.wav"), sine({0.5}, 0.1));
	Audio threeChannels = sine({0.1, 0.2, 0.3}, 0.1);
	writeAudio(file("three.wav"), threeChannels);
	std::ofstream(file("text.wav")) << "not audio\n";
	std::ofstream(file("short.bin")) << "12345678";
	const std::string in = file("in.wav");
	const std::string out = file("out.wav");

	const std::vector<std::vector<std::string>> cases{
	    {file("missing.wav"), out},
	    {file("text.wav"), out},
	    {file("three.wav"), out},
	    {"--set", "No Such Knob=0.5", in, out},
	    {"--set", "99=0.5", in, out},
	    {"--set", "Distortion Level=1.5", in, out},
	    {"--set", "Distortion Level=-0.1", in, out},
	    {"--set", "Distortion Level=abc", in, out},
	    {"--set", "Distortion Level=", in, out},
	    {"--set", "Distortion Level", in, out},
	    {"--set", "15=1", in, out},
	    {"--block", "0", in, out},
	    {"--block", "8193", in, out},
	    {"--block", "64k", in, out},
	    {"--block", "512", "--block", "256", in, out},
	    {"--tempo", "fast", in, out},
	    {"--frobnicate", in, out},
	    // Control characters of the user's text are escaped, not echoed.
	    {"--frob\nnicate", in, out},
	    {"--tempo", "1\n2", in, out},
	    {"--set", "No\x1b[2JSuch\nKnob=0.5", in, out},
	    {in, file("out\n.mp3")},
	    {"--bypass=yes", in, out},
	    {in},
	    {in, out, file("extra.wav")},
	    {"--block"},
	    {in, file("out.mp3")},
	    {in, file("no-such-dir/out.wav")},
	    {in, dir.string()},
	    {"--plugin", file("nowhere.vst3"), in, out},
	    {"--state-in", file("missing.bin"), in, out},
	    {"--state-in", file("short.bin"), in, out},
	    // Fails after the output's temporary file exists.
	    {"--state-out", file("no-such-dir/state.bin"), in, out},
	    {"--preset", file("missing.vstpreset"), in, out},
	    {"--preset", file("text.wav"), in, out},
	    {"--preset", file("short.bin"), in, out},
	    {"--preset", "", in, out},
	    {"--preset", file("a.vstpreset"), "--state-in", file("short.bin"), in, out},
	    {"-j", "2", in, out},
	    {"-o", dir.string(), "--state-out", file("state.bin"), in},
	    {"-o", dir.string()},
	    {"-o", "", in},
	    {"-j", "0", "-o", dir.string(), in},
	    {"-j65", "-o", dir.string(), in},
	    {"-j", "two", "-o", dir.string(), in},
	    {"-o", dir.string(), "-o", dir.string(), in},
	    {"--ir", file("missing.wav"), in, out},
	    {"--ir", file("text.wav"), in, out},
	    {"--ir", "", in, out},
	    {"--ir", in, "--ir-trim", "maybe", in, out},
	    {"--ir-normalise", "off", in, out},
	    {"--ir", in, "--ir", in, in, out},
	};
	const std::vector<std::string> before = filesInDir();
	for (const auto& args : cases)
	{
		std::string joined;
		for (const std::string& arg : args)
			joined += " " + arg;
		const ToolRun result = run(args);
		EXPECT_NE(result.status, 0) << joined;
		EXPECT_EQ(result.err.rfind("brontal-render: ", 0), 0u) << joined << "\n" << result.err;
		EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << joined << "\n" << result.err;
		EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << joined;
		EXPECT_EQ(result.out, "") << joined;
		EXPECT_EQ(filesInDir(), before) << joined;
	}
}

// A cabinet response from a file: an impulse at 700 ms (24-bit, 48 kHz,
// trimming and normalising off) makes the linear chain's output that of a
// unit impulse 700 ms later; the state saved holds the response, and
// renders the same with the file gone; a file past 2 s is cut, and said so.
TEST_F(RenderTool, ImpulseResponseFromAFileAndBackFromTheState)
{
	Audio burst = sine({0.001}, 0.2);
	for (long i = 4800; i < burst.frames(); ++i)
		burst.samples[static_cast<size_t>(i)] = 0.0f;
	for (const auto& [name, at, frames] : {std::tuple{"unit.wav", 0L, 48000L}, std::tuple{"late.wav", 33600L, 48000L},
	                                       std::tuple{"long.wav", 0L, 120000L}})
	{
		Audio ir;
		ir.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
		ir.samples.assign(static_cast<size_t>(frames), 0.0f);
		ir.samples[static_cast<size_t>(at)] = 0.5f;
		writeAudio(file(name), ir);
	}
	const std::vector<std::string> linear = {"--set", "2=0", "--set", "4=0", "--set", "7=0", "--set", "8=0",
	                                         "--set", "10=0", "--ir-trim", "off", "--ir-normalise", "off"};
	auto render = [&](const std::string& ir, const std::string& out, std::vector<std::string> extra = {}) {
		std::vector<std::string> args = linear;
		args.insert(args.end(), {"--ir", file(ir)});
		args.insert(args.end(), extra.begin(), extra.end());
		args.insert(args.end(), {file("in.wav"), file(out)});
		return run(args);
	};
	// A second of input: the burst, then silence for the delayed sound to arrive in.
	Audio padded = burst;
	padded.samples.resize(48000, 0.0f);
	writeAudio(file("in.wav"), padded);
	ToolRun result = render("unit.wav", "unit-out.wav");
	ASSERT_EQ(result.status, 0) << result.err;
	EXPECT_EQ(result.err, "");
	result = render("late.wav", "late-out.wav", {"--state-out", file("late.bin")});
	ASSERT_EQ(result.status, 0) << result.err;
	const Audio unit = readAudio(file("unit-out.wav")), late = readAudio(file("late-out.wav"));
	ASSERT_EQ(unit.frames(), late.frames());
	double dPeak = 0.0, dErr = 0.0;
	for (long i = 0; i < unit.frames(); ++i)
		for (long c = 0; c < 2; ++c)
		{
			const float fExpected = i < 33600 ? 0.0f : unit.samples[static_cast<size_t>(2 * (i - 33600) + c)];
			dPeak = std::max(dPeak, std::fabs(static_cast<double>(fExpected)));
			dErr = std::max(dErr, std::fabs(static_cast<double>(late.samples[static_cast<size_t>(2 * i + c)]) - fExpected));
		}
	EXPECT_GT(dPeak, 1e-5);
	EXPECT_LT(20.0 * std::log10(dErr / dPeak), -110.0);

	const std::string state = readText(file("late.bin"));
	EXPECT_NE(state.find("cabi"), std::string::npos);
	EXPECT_NE(state.find("late.wav"), std::string::npos);
	fs::remove(file("late.wav"));
	result = run({"--state-in", file("late.bin"), file("in.wav"), file("again.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	EXPECT_EQ(readAudio(file("again.wav")).samples, late.samples);

	result = render("long.wav", "long-out.wav");
	ASSERT_EQ(result.status, 0) << result.err;
	EXPECT_EQ(result.err, "brontal-render: The impulse response file 'long.wav' is 2.50 s long: its first 2 s are used, "
	                      "faded out over the last 10 ms.\n");
}

// Every factory preset, through the tool as a user loads it, on the demo riff.
TEST_F(RenderTool, EachFactoryPresetRendersTheRiffItsOwnWay)
{
	// The riff's first three seconds: its opening chords, and short.
	Audio riffStart = readAudio(fs::path(BRONTAL_SOURCE_DIR) / "examples" / "demo-riff.wav");
	riffStart.samples.resize(static_cast<std::size_t>(3 * riffStart.sampleRate * riffStart.channels));
	const fs::path riff = file("riff.wav");
	writeAudio(riff, riffStart);
	ToolRun result = run({riff.string(), file("default.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	const Audio reference = readAudio(file("default.wav"));

	int presets = 0;
	for (const auto& entry : fs::recursive_directory_iterator(fs::path(BRONTAL_SOURCE_DIR) / "resource" / "presets"))
	{
		if (!entry.is_regular_file())
			continue;
		++presets;
		const std::string name = entry.path().filename().string();
		result = run({"--preset", entry.path().string(), riff.string(), file("preset.wav")});
		ASSERT_EQ(result.status, 0) << name << ": " << result.err;
		const Audio output = readAudio(file("preset.wav"));
		ASSERT_EQ(output.samples.size(), reference.samples.size()) << name;
		double energy = 0.0, difference = 0.0;
		for (std::size_t i = 0; i < output.samples.size(); ++i)
		{
			ASSERT_TRUE(std::isfinite(output.samples[i])) << name << " sample " << i;
			energy += double(output.samples[i]) * output.samples[i];
			difference = std::max(difference, double(std::fabs(output.samples[i] - reference.samples[i])));
		}
		const double rms = std::sqrt(energy / static_cast<double>(output.samples.size()));
		EXPECT_GT(rms, 0.01) << name; // the riff itself is about 0.04 rms through the default
		EXPECT_GT(difference, 0.01) << name << " sounds like the default";
	}
	EXPECT_GE(presets, 8);

	// --set applies after the preset: bypass makes the output the riff again.
	result = run({"--preset", (fs::path(BRONTAL_SOURCE_DIR) / "resource" / "presets" /
	                           "Brontal Audio - https___brontal.example" / "Brontal2" / "Metal Rhythm.vstpreset")
	                              .string(),
	              "--set", "Bypass=1", riff.string(), file("preset.wav")});
	ASSERT_EQ(result.status, 0) << result.err;
	const Audio input = readAudio(riff);
	const Audio bypassed = readAudio(file("preset.wav"));
	ASSERT_EQ(bypassed.frames(), input.frames());
	for (long i = 0; i < input.frames(); ++i)
		ASSERT_EQ(bypassed.samples[2 * i], input.samples[i * input.channels]) << i;
}

// Many inputs into one folder: each output is what a single render of its
// input gives, under the input's name; bad inputs fail alone.
TEST_F(RenderTool, ManyFilesRenderInParallelAndFailOneByOne)
{
	writeAudio(file("mono.wav"), sine({0.5}, 0.6));
	writeAudio(file("stereo.wav"), sine({0.5, 0.2}, 0.4, 44100));
	Audio flac = sine({0.3}, 0.5);
	flac.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
	writeAudio(file("take.flac"), flac);
	std::ofstream(file("text.wav")) << "not audio\n";
	fs::create_directories(dir / "other");
	writeAudio(dir / "other" / "mono.wav", sine({0.1}, 0.2));

	const fs::path out = base / "renders" / "today"; // made by the tool
	const ToolRun result =
	    run({"-j", "2", "--set", "Distortion Level=0.3", "-o", out.string(), file("mono.wav"), file("text.wav"),
	         file("stereo.wav"), file("missing.wav"), file("take.flac"), (dir / "other" / "mono.wav").string()});
	EXPECT_EQ(result.status, 1);
	EXPECT_EQ(filesIn(out), (std::vector<std::string>{"mono.wav", "stereo.wav", "take.flac"}));

	// One line per rendered file, one per failed file, then the count.
	std::istringstream outLines(result.out);
	std::vector<std::string> rendered;
	for (std::string line; std::getline(outLines, line);)
		rendered.push_back(line.substr(0, line.find(": ")));
	std::sort(rendered.begin(), rendered.end());
	EXPECT_EQ(rendered, (std::vector<std::string>{(out / "mono.wav").string(), (out / "stereo.wav").string(),
	                                               (out / "take.flac").string()}));
	EXPECT_NE(result.err.find("brontal-render: " + file("text.wav") + ": "), std::string::npos) << result.err;
	EXPECT_NE(result.err.find("brontal-render: " + file("missing.wav") + ": "), std::string::npos) << result.err;
	EXPECT_NE(result.err.find("brontal-render: " + (dir / "other" / "mono.wav").string() + ": has the same name"),
	          std::string::npos)
	    << result.err;
	EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 4) << result.err;
	EXPECT_NE(result.err.find("3 of 6 files failed"), std::string::npos) << result.err;

	for (const std::string name : {"mono.wav", "stereo.wav", "take.flac"})
	{
		const ToolRun single = run({"--set", "Distortion Level=0.3", file(name), file("single-" + name)});
		ASSERT_EQ(single.status, 0) << single.err;
		const Audio expected = readAudio(file("single-" + name));
		const Audio batch = readAudio(out / name);
		EXPECT_EQ(batch.format, expected.format) << name;
		EXPECT_EQ(batch.sampleRate, expected.sampleRate) << name;
		EXPECT_EQ(batch.samples, expected.samples) << name;
	}

	// A name with a newline still gives one line per file.
	const ToolRun odd = run({"-o", out.string(), file("gone\n.wav")});
	EXPECT_EQ(odd.status, 1);
	EXPECT_EQ(std::count(odd.err.begin(), odd.err.end(), '\n'), 2) << odd.err;
	EXPECT_NE(odd.err.find("gone\\x0a.wav: "), std::string::npos) << odd.err;

	// A folder that holds an input would have it overwritten: refused.
	const std::string before = readText(file("mono.wav"));
	const ToolRun same = run({"-o", dir.string(), file("mono.wav")});
	EXPECT_EQ(same.status, 1);
	EXPECT_NE(same.err.find("would overwrite the input"), std::string::npos) << same.err;
	EXPECT_EQ(readText(file("mono.wav")), before);
}

// On a terminal each file has one line, rewritten in place as it renders.
TEST_F(RenderTool, ManyFilesShowOneProgressLineEachOnATerminal)
{
	for (const std::string name : {"a.wav", "b.wav", "c.wav"})
		writeAudio(file(name), sine({0.5}, 2.0));
	const fs::path out = base / "out";
	const ToolRun result = runOnTerminal({"-j", "2", "-o", out.string(), file("a.wav"), file("b.wav"), file("c.wav")});
	ASSERT_EQ(result.status, 0) << result.out;
	EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 3) << result.out;
	for (const std::string name : {"a.wav", "b.wav", "c.wav"})
	{
		EXPECT_NE(result.out.find("[  0%] " + file(name)), std::string::npos) << result.out;
		EXPECT_NE(result.out.find("[100%] " + file(name)), std::string::npos) << result.out;
		EXPECT_NE(result.out.find("[done] " + (out / name).string() + ": 2.000 s"), std::string::npos) << result.out;
	}
	EXPECT_NE(result.out.find("\x1b[2K"), std::string::npos); // lines are rewritten, not added
}

// Stopping a batch leaves no output at all, not even a partial one.
TEST_F(RenderTool, StoppedBatchLeavesNoPartialOutput)
{
	writeAudio(file("long1.wav"), sine({0.5}, 60.0));
	writeAudio(file("long2.wav"), sine({0.5}, 60.0));
	const fs::path out = base / "out";
	const pid_t child = fork();
	if (child == 0)
	{
		const int null = open("/dev/null", O_WRONLY);
		dup2(null, STDOUT_FILENO);
		dup2(null, STDERR_FILENO);
		execv(BRONTAL_RENDER_PATH, argv({"-j", "2", "-o", out.string(), file("long1.wav"), file("long2.wav")}).data());
		_exit(127);
	}
	// Waits until both renders have begun writing, then stops the tool.
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	while (std::chrono::steady_clock::now() < deadline &&
	       (!fs::exists(out) || filesIn(out).size() < 2))
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	EXPECT_EQ(filesIn(out).size(), 2u) << "the renders did not start";
	kill(child, SIGTERM);
	int status = 0;
	waitpid(child, &status, 0);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 1);
	EXPECT_EQ(filesIn(out), std::vector<std::string>{});
}

} // namespace
