// brontal-live as a player runs it, on a JACK server of the test's own:
// the sound it plays against the render tool's, presets by program change,
// and the settings' fallbacks and memory.

#include "liverig.h"

#include "host/presetfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

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
// test plays. Three blocks keep a phase that runs on through silence (the
// chorus's oscillator; the delay's and the reverb's read fractions, formed
// on a three-second ring), so what they give depends on that start; with
// them off a render after any length of silence is the same bit for bit. So
// both take the default settings with those three off (a state the render
// tool writes): the gate, compressor, distortion, equalisers, cabinet and
// output stage as the plug-in runs them.
TEST_F(LiveOnJack, PlaysTheRecordingAsTheRenderToolRendersIt)
{
	const auto riff = readChannels(demoRiff());
	const fs::path state = scratch.path() / "still.state";
	render(demoRiff(),
	       {"--set", "Modulation ON OFF=0", "--set", "Delay ON OFF=0", "--set", "Reverb ON OFF=0", "--state-out",
	        state.string()},
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

TEST(LiveCommandLine, RefusesWhatItCannotReadWithOneLine)
{
	ScratchFolder scratch;
	for (const std::vector<std::string>& arguments :
	     {std::vector<std::string>{"--period", "sixty-four"}, {"--input", "0"}, {"--input", "1,2,3"}, {"--bogus"},
	      {"--rate"}})
	{
		const Finished run = runLive(arguments, scratch.path());
		EXPECT_EQ(run.status, 2) << arguments[0];
		EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
	}
}

} // namespace
} // namespace brontal::livetest
