// brontal-live as a player runs it, on a JACK server of the test's own:
// the sound it plays against the render tool's, presets by program change,
// and the settings' fallbacks and memory.

#include "liverig.h"

#include "host/plugininstance.h"
#include "host/presetfile.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace brontal::livetest {
namespace {

std::vector<char> componentStateOf(const fs::path& preset)
{
	return host::readPreset(preset.string()).componentState;
}

// The bundle's copy, in its one COMPANY/PLUG-IN folder.
fs::path factoryPreset(const std::string& name)
{
	for (const auto& company : fs::directory_iterator(fs::path(BRONTAL_BUNDLE_PATH) / "Contents" / "Resources" / "Presets"))
		for (const auto& plugin : fs::directory_iterator(company.path()))
			if (fs::exists(plugin.path() / (name + ".vstpreset")))
				return plugin.path() / (name + ".vstpreset");
	throw std::runtime_error("no factory preset " + name);
}

class LiveOnJack : public ::testing::Test
{
protected:
	static void SetUpTestSuite() { server = new JackServer(64); }
	static void TearDownTestSuite()
	{
		delete server;
		server = nullptr;
	}

	static JackServer* server;
	ScratchFolder scratch;
	fs::path config() const { return scratch.path(); }
	fs::path lastState() const { return scratch.path() / "brontal" / "live-last.vstpreset"; }
};

JackServer* LiveOnJack::server = nullptr;

// The application is activated an unknown number of periods before the
// test plays. Two blocks depend on the frames processed since activation,
// not on the block split: the chorus's oscillator counts them (6400 frames
// of silence more before the riff: -20 dB), and the reverb's lines round
// their read fraction by their write position (about -75 dB). The delay does not (bit for bit), nor does the block split
// (64 against 128 frames, all on: bit for bit). So both take the default
// settings with the chorus and the reverb off (a state the render tool
// writes): the gate, compressor, distortion, equalisers, cabinet, delay and
// output stage as the plug-in runs them.
TEST_F(LiveOnJack, PlaysTheRecordingAsTheRenderToolRendersIt)
{
	const auto riff = readChannels(demoRiff());
	const fs::path state = scratch.path() / "still.state";
	render(demoRiff(),
	       {"--set", "Modulation ON OFF=0", "--set", "Reverb ON OFF=0", "--state-out", state.string()},
	       scratch.path());
	const Stereo reference = render(demoRiff(), {"--state-in", state.string()}, scratch.path());

	LiveProcess live({"--no-gui", "--backend", "jack", "--state", state.string()}, config(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();
	FreewheelPlayer player;
	player.connect({"guitar_in"});
	const Stereo recording = player.play(riff, 4096);
	EXPECT_EQ(live.quit(), 0) << live.errors();

	const Alignment alignment = align(reference, recording, 256);
	std::printf("alignment: %d frames, difference %.1f dB\n", alignment.lag, alignment.differenceDb);
	// The application adds nothing between its ports and the plug-in, and
	// the graph runs source, application and sink in one cycle.
	EXPECT_EQ(alignment.lag, 0);
	EXPECT_LE(alignment.differenceDb, -100.0);
}

TEST_F(LiveOnJack, AProgramChangeLoadsTheFactoryPresetOfItsNumber)
{
	// The factory presets in name order: program 4 is the fifth.
	LiveProcess live({"--no-gui"}, config(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();
	FreewheelPlayer player;
	player.connect({"guitar_in"});
	const std::vector<std::vector<float>> silence{std::vector<float>(24000, 0.0f)};
	player.play(silence, 0, {{1000, {0xC0, 4}}});
	ASSERT_TRUE(live.waitForOutput("preset: High-Gain Lead", 10)) << live.output() << live.errors();
	EXPECT_EQ(live.quit(), 0);
	EXPECT_EQ(componentStateOf(lastState()), componentStateOf(factoryPreset("High-Gain Lead")));
}

// A control change reaches the parameter the controller's IMidiMapping
// names for it, as in a DAW: the player's mappings (written here as the
// plug-in keeps them) move a knob, and a footswitch turns its switch over.
TEST_F(LiveOnJack, AControlChangeMovesTheParameterItIsMappedTo)
{
	fs::create_directories(config() / "brontal");
	// The delay level follows CC 80 on any channel; the reverb switch turns
	// over at each press of CC 81 on channel 1.
	std::ofstream(config() / "brontal" / "midi-mappings.txt") << "11 80 any follow\n10 81 1 toggle\n";

	LiveProcess live({"--no-gui"}, config(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();
	FreewheelPlayer player;
	player.connect({"guitar_in"});
	const std::vector<std::vector<float>> silence{std::vector<float>(24000, 0.0f)};
	// The press on channel 2 is not the reverb's.
	player.play(silence, 0,
	            {{1000, {0xB5, 80, 127}}, {2000, {0xB0, 81, 127}}, {3000, {0xB0, 81, 0}}, {4000, {0xB1, 81, 127}}});
	EXPECT_EQ(live.quit(), 0);
	host::PluginInstance probe(host::Module::load(BRONTAL_BUNDLE_PATH));
	probe.loadPreset(host::readPreset(lastState().string()));
	constexpr Steinberg::Vst::ParamID kReverbOnOff = 10, kDelayLevel = 11; // as published
	EXPECT_EQ(probe.controller()->getParamNormalized(kDelayLevel), 1.0) << "CC 80 did not move the delay level";
	EXPECT_EQ(probe.controller()->getParamNormalized(kReverbOnOff), 0.0) << "CC 81 did not turn the reverb off";
}

TEST_F(LiveOnJack, QuittingKeepsTheSoundForTheNextStart)
{
	{
		LiveProcess live({"--no-gui", "--preset", "Metal Rhythm"}, config(), scratch.path());
		ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();
		EXPECT_EQ(live.quit(), 0);
	}
	const std::vector<char> metal = componentStateOf(factoryPreset("Metal Rhythm"));
	ASSERT_EQ(componentStateOf(lastState()), metal);
	LiveProcess again({"--no-gui"}, config(), scratch.path());
	ASSERT_TRUE(again.waitForOutput("playing:", 20)) << again.errors();
	EXPECT_EQ(again.quit(), 0);
	EXPECT_EQ(componentStateOf(lastState()), metal) << "the second run did not start from the first one's sound";
}

TEST_F(LiveOnJack, BadSettingsGiveTheirFallbacksAndOneMessageEach)
{
	fs::create_directories(config() / "brontal");
	std::ofstream(config() / "brontal" / "live.json") << "{\"backend\": \"jack\", \"period\": ";
	LiveProcess live({"--no-gui", "--device", "no-such-server", "--period", "7", "--rate", "0"}, config(),
	                 scratch.path());
	ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();
	EXPECT_EQ(live.quit(), 0);
	const std::string errors = live.errors();
	auto count = [&](const std::string& text) {
		std::size_t n = 0;
		for (std::size_t at = errors.find(text); at != std::string::npos; at = errors.find(text, at + 1))
			++n;
		return n;
	};
	EXPECT_EQ(count("is unreadable: using the defaults"), 1u) << errors;
	EXPECT_EQ(count("a rate of 0 Hz is not one a device runs at: using 48000 Hz"), 1u) << errors;
	EXPECT_EQ(count("a period of 7 frames is outside 16 to 8192: using 16"), 1u) << errors;
	EXPECT_EQ(count("no JACK server is running under the name 'no-such-server': using the default device"), 1u)
	    << errors;
	EXPECT_NE(live.output().find("device " + server->name() + ","), std::string::npos) << live.output();

	// What was written at exit reads back as the fallbacks.
	const Finished listed = runLive({"--list-devices"}, config());
	EXPECT_EQ(listed.status, 0);
	EXPECT_EQ(listed.errors, "") << "the rewritten settings file should be clean";
}

// ALSA through its file plugin over null, as a test can have it without a
// sound card: capture reads a raw file, playback writes one, as fast as the
// application goes. The guitar is on the second of two channels, the first
// carries a tone that must not be heard. The plug-in's input selector is
// turned to its other input than in the JACK test: a mono guitar reaches
// both of the plug-in's inputs, whichever it listens to.
TEST(LiveOnAlsa, PlaysTheChosenChannelAsTheRenderToolRendersIt)
{
	ScratchFolder scratch;
	const auto riff = readChannels(demoRiff());
	const fs::path state = scratch.path() / "still.state";
	render(demoRiff(),
	       {"--set", "Modulation ON OFF=0", "--set", "Reverb ON OFF=0", "--set", "Input Selection=0", "--state-out",
	        state.string()},
	       scratch.path());
	const Stereo reference = render(demoRiff(), {"--state-in", state.string()}, scratch.path());

	const long frames = static_cast<long>(riff[0].size());
	std::vector<float> captured(2 * frames);
	for (long i = 0; i < frames; ++i)
	{
		captured[2 * i] = 0.5f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 440.0 * i / 48000.0));
		captured[2 * i + 1] = riff[0][i];
	}
	const fs::path in = scratch.path() / "in.raw", out = scratch.path() / "out.raw";
	std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(captured.data()),
	                                          static_cast<std::streamsize>(captured.size() * sizeof(float)));
	const fs::path asoundrc = scratch.path() / "asoundrc";
	std::ofstream(asoundrc) << "pcm.brontaltest { type asym playback.pcm \"liveout\" capture.pcm \"livein\" }\n"
	                        << "pcm.liveout { type file slave.pcm \"null\" file \"" << out.string()
	                        << "\" format \"raw\" }\n"
	                        << "pcm.livein { type file slave.pcm \"null\" file \"/dev/null\" infile \"" << in.string()
	                        << "\" format \"raw\" }\n";
	setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + asoundrc.string()).c_str(), 1);

	constexpr long kPeriod = 64;
	const long wanted = frames + 4 * kPeriod;
	{
		LiveProcess live({"--no-gui", "--backend", "alsa", "--device", "brontaltest", "--input", "2", "--period",
		                  std::to_string(kPeriod), "--state", state.string()},
		                 scratch.path(), scratch.path());
		ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();
		EXPECT_NE(live.output().find("latency in 64 + out 128 frames"), std::string::npos) << live.output();
		const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
		std::error_code error;
		while (fs::file_size(out, error) < static_cast<std::uintmax_t>(wanted * 2 * sizeof(float)) &&
		       std::chrono::steady_clock::now() < deadline)
			std::this_thread::sleep_for(std::chrono::milliseconds(5));
		EXPECT_EQ(live.quit(), 0) << live.errors();
	}
	unsetenv("ALSA_CONFIG_PATH");

	std::vector<float> played(2 * wanted);
	std::ifstream(out, std::ios::binary).read(reinterpret_cast<char*>(played.data()),
	                                         static_cast<std::streamsize>(played.size() * sizeof(float)));
	Stereo recording;
	for (long i = 0; i < wanted; ++i)
	{
		recording.left.push_back(played[2 * i]);
		recording.right.push_back(played[2 * i + 1]);
	}
	const Alignment alignment = align(reference, recording, 512);
	std::printf("alignment: %d frames, difference %.1f dB\n", alignment.lag, alignment.differenceDb);
	// Playback starts two periods of silence ahead of capture.
	EXPECT_EQ(alignment.lag, 2 * kPeriod);
	EXPECT_LE(alignment.differenceDb, -100.0);
}

// The player's mappings as the plug-in keeps them: the delay level follows
// CC 80 on any channel.
void mapDelayLevelToCc80(const fs::path& config)
{
	fs::create_directories(config / "brontal");
	std::ofstream(config / "brontal" / "midi-mappings.txt") << "11 80 any follow\n";
}

double delayLevelIn(const fs::path& preset)
{
	host::PluginInstance probe(host::Module::load(BRONTAL_BUNDLE_PATH));
	probe.loadPreset(host::readPreset(preset.string()));
	constexpr Steinberg::Vst::ParamID kDelayLevel = 11; // as published
	return probe.controller()->getParamNormalized(kDelayLevel);
}

// ALSA's MIDI is the sequencer's: a source it cannot connect (or no
// sequencer at all, as on a machine without the kernel's sound core) is said
// once, the audio plays on, and the choice is kept for the next start.
TEST(LiveOnAlsa, AMidiSourceItCannotConnectIsSaidOnceAndKept)
{
	ScratchFolder scratch;
	const Finished run = runLive(
	    {"--no-gui", "--backend", "alsa", "--device", "null", "--midi", "nowhere:0", "--seconds", "1"}, scratch.path());
	EXPECT_EQ(run.status, 0) << run.errors;
	EXPECT_NE(run.output.find("playing: alsa"), std::string::npos) << run.output;
	const std::string said = ": playing without MIDI input";
	const std::size_t at = run.errors.find(said);
	ASSERT_NE(at, std::string::npos) << run.errors;
	EXPECT_EQ(run.errors.find(said, at + 1), std::string::npos) << run.errors;
	// Nothing else about it (the sound library's own lines included).
	std::istringstream lines(run.errors);
	int aboutMidi = 0;
	for (std::string line; std::getline(lines, line);)
		aboutMidi += line.find("MIDI") != std::string::npos || line.find("seq") != std::string::npos;
	EXPECT_EQ(aboutMidi, 1) << run.errors;
	std::ifstream settings(scratch.path() / "brontal" / "live.json");
	const std::string kept{std::istreambuf_iterator<char>(settings), {}};
	EXPECT_NE(kept.find("\"midiPort\": \"nowhere:0\""), std::string::npos) << kept;
}

// A sequencer client of the test's own sends a control change to the
// application's port while it plays over ALSA's null device; the mapped
// parameter moves. Needs the kernel's sequencer (/dev/snd/seq).
TEST(LiveOnAlsa, AControlChangeOnTheSequencerPortMovesTheParameterItIsMappedTo)
{
	snd_seq_t* seq = nullptr;
	if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0)
		GTEST_SKIP() << "no ALSA sequencer on this machine (/dev/snd/seq)";
	ScratchFolder scratch;
	mapDelayLevelToCc80(scratch.path());
	LiveProcess live({"--no-gui", "--backend", "alsa", "--device", "null"}, scratch.path(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("midi: ", 20)) << live.errors();

	const int port = snd_seq_create_simple_port(seq, "cc", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
	                                            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
	snd_seq_addr_t app{};
	ASSERT_EQ(snd_seq_parse_address(seq, &app, "brontal-live:0"), 0) << "no brontal-live port";
	ASSERT_EQ(snd_seq_connect_to(seq, port, app.client, app.port), 0);
	snd_seq_event_t event;
	snd_seq_ev_clear(&event);
	snd_seq_ev_set_source(&event, port);
	snd_seq_ev_set_subs(&event);
	snd_seq_ev_set_direct(&event);
	snd_seq_ev_set_controller(&event, 4, 80, 127);
	ASSERT_GE(snd_seq_event_output_direct(seq, &event), 0);
	snd_seq_drain_output(seq);
	std::this_thread::sleep_for(std::chrono::milliseconds(500));
	EXPECT_EQ(live.quit(), 0) << live.errors();
	snd_seq_close(seq);
	EXPECT_EQ(delayLevelIn(scratch.path() / "brontal" / "live-last.vstpreset"), 1.0)
	    << "CC 80 on the sequencer port did not move the delay level";
}

// What a player must survive on JACK: the server changing its period (the
// plug-in is reactivated at it), the server stopping (said, the sound kept)
// and coming back (reconnected), and a quit afterwards saving the sound.
TEST(LiveFaults, SurvivesAPeriodChangeAndTheServerStoppingAndComingBack)
{
	ScratchFolder scratch;
	auto server = std::make_unique<JackServer>(64);
	const std::string name = server->name();
	LiveProcess live({"--no-gui", "--preset", "Blues Drive"}, scratch.path(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("playing:", 20)) << live.errors();

	jack_status_t status{};
	jack_client_t* client = jack_client_open("live-test-control", JackNoStartServer, &status);
	ASSERT_NE(client, nullptr);
	ASSERT_EQ(jack_set_buffer_size(client, 128), 0);
	EXPECT_TRUE(live.waitForOutput("128 frames (2.67 ms)", 10)) << live.output() << live.errors();
	jack_client_close(client);

	server.reset();
	const auto said = [&](const std::string& text) {
		for (int i = 0; i < 500 && live.errors().find(text) == std::string::npos; ++i)
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
		return live.errors().find(text) != std::string::npos;
	};
	EXPECT_TRUE(said("the JACK server stopped: the sound is kept; trying again every 2 s")) << live.errors();
	server = std::make_unique<JackServer>(64, name);
	EXPECT_TRUE(said("reconnected")) << live.errors();
	EXPECT_EQ(live.quit(), 0) << live.errors();
	EXPECT_EQ(componentStateOf(scratch.path() / "brontal" / "live-last.vstpreset"),
	          componentStateOf(factoryPreset("Blues Drive")));
}

TEST(LiveCommandLine, RefusesWhatItCannotReadWithOneLine)
{
	ScratchFolder scratch;
	for (const std::vector<std::string>& arguments :
	     {std::vector<std::string>{"--period", "sixty-four"}, {"--input", "0"}, {"--input", "1,2,3"}, {"--bogus"},
	      {"--rate"}})
	{
		// --list-devices: a line taken by mistake ends at once, not in a device.
		std::vector<std::string> line = arguments;
		line.insert(line.begin(), "--list-devices");
		const Finished run = runLive(line, scratch.path());
		EXPECT_EQ(run.status, 2) << arguments[0];
		EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
	}
}

} // namespace
} // namespace brontal::livetest
