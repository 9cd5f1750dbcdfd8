// The LV2 build as a host meets it: loaded through lilv from the built
// bundle, fed the demo riff, and compared with what brontal-render makes of
// the same file through the VST 3 bundle with the same settings. The two
// must agree within -100 dB for every case; states move between them.

#include "host/module.h"
#include "host/plugininstance.h"
#include "lv2host/lv2host.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using brontal::lv2host::Lv2Options;
using brontal::lv2host::Lv2Plugin;

namespace {

const char* const kStereoUri = "https://brontal.example/lv2/brontal";
const char* const kMonoUri = "https://brontal.example/lv2/brontal-mono";
const char* const kStateKey = "https://brontal.example/lv2/brontal#state";
// -100 dB of full scale.
constexpr double kTolerance = 1.0e-5;

struct Audio
{
	int sampleRate = 48000;
	int channels = 1;
	std::vector<float> samples; // interleaved
	long frames() const { return static_cast<long>(samples.size()) / channels; }
};

Audio readAudio(const fs::path& path)
{
	SF_INFO info{};
	SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
	if (!file)
		throw std::runtime_error("cannot read " + path.string());
	Audio audio;
	audio.sampleRate = info.samplerate;
	audio.channels = info.channels;
	audio.samples.resize(static_cast<size_t>(info.frames * info.channels));
	sf_readf_float(file, audio.samples.data(), info.frames);
	sf_close(file);
	return audio;
}

void writeAudio(const fs::path& path, const Audio& audio)
{
	SF_INFO info{};
	info.samplerate = audio.sampleRate;
	info.channels = audio.channels;
	info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
	SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
	if (!file)
		throw std::runtime_error("cannot write " + path.string());
	sf_writef_float(file, audio.samples.data(), audio.frames());
	sf_close(file);
}

std::vector<unsigned char> readBytes(const fs::path& path)
{
	std::ifstream file(path, std::ios::binary);
	return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& path, const std::vector<unsigned char>& bytes)
{
	std::ofstream file(path, std::ios::binary);
	file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int run(const std::vector<std::string>& args)
{
	std::vector<char*> argv;
	for (const std::string& arg : args)
		argv.push_back(const_cast<char*>(arg.c_str()));
	argv.push_back(nullptr);
	std::fflush(stdout);
	const pid_t pid = fork();
	if (pid == 0)
	{
		// Its summary is not what the test reads.
		freopen("/dev/null", "w", stdout);
		execv(argv[0], argv.data());
		_exit(127);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Case
{
	std::string name;
	std::vector<std::pair<std::string, float>> settings; // VST 3 titles
	int sampleRate = 48000;
	int block = 256;
	double tempo = 0.0; // 0: no time:Position for LV2, brontal-render's default 120
	bool bypass = false;
	bool mono = false;
};

class Lv2Render : public ::testing::Test
{
protected:
	static void SetUpTestSuite()
	{
		// Only the built bundle and Debian's LV2 vocabulary bundles, never an installed copy.
		setenv("LV2_PATH", (std::string(BRONTAL_LV2_DIR) + ":/usr/lib/lv2").c_str(), 1);
		s_dir = fs::temp_directory_path() / ("brontal-lv2-" + std::to_string(getpid()));
		fs::create_directories(s_dir);
		// Three seconds of the riff, its first chords and their echoes: on
		// the left as it is, on the right later and softer, so that the
		// input selector has a choice; the mono plug-in hears the left.
		const Audio riff = readAudio(fs::path(BRONTAL_SOURCE_DIR) / "examples/demo-riff.wav");
		const size_t frames = static_cast<size_t>(3 * riff.sampleRate);
		s_left.assign(riff.samples.begin(), riff.samples.begin() + static_cast<long>(frames));
		s_right.assign(frames, 0.0f);
		for (size_t i = 4800; i < frames; ++i)
			s_right[i] = 0.7f * s_left[i - 4800];
	}
	static void TearDownTestSuite() { fs::remove_all(s_dir); }

	static fs::path inputAt(int sampleRate, bool mono)
	{
		const fs::path path = s_dir / ("riff-" + std::to_string(sampleRate) + (mono ? "-mono" : "") + ".wav");
		if (!fs::exists(path))
		{
			Audio audio;
			audio.sampleRate = sampleRate;
			audio.channels = mono ? 1 : 2;
			for (size_t i = 0; i < s_left.size(); ++i)
			{
				audio.samples.push_back(s_left[i]);
				if (!mono)
					audio.samples.push_back(s_right[i]);
			}
			writeAudio(path, audio);
		}
		return path;
	}

	// brontal-render through the VST 3 bundle: stereo, left and right.
	static Audio renderVst3(const Case& c, const std::vector<std::string>& extra = {})
	{
		const fs::path out = s_dir / (c.name + "-vst3.wav");
		std::vector<std::string> args = {BRONTAL_RENDER_PATH, "--block", std::to_string(c.block)};
		if (c.tempo > 0.0)
			args.insert(args.end(), {"--tempo", std::to_string(c.tempo)});
		for (const auto& [title, value] : c.settings)
			args.insert(args.end(), {"--set", title + "=" + std::to_string(value)});
		if (c.bypass)
			args.push_back("--bypass");
		args.insert(args.end(), extra.begin(), extra.end());
		args.insert(args.end(), {inputAt(c.sampleRate, c.mono).string(), out.string()});
		EXPECT_EQ(run(args), 0) << c.name;
		return readAudio(out);
	}

	static void setUp(Lv2Plugin& plugin, const Case& c)
	{
		for (const auto& [title, value] : c.settings)
		{
			EXPECT_TRUE(plugin.setControl(title, value)) << title;
		}
		if (c.bypass)
		{
			EXPECT_TRUE(plugin.setControl("Enabled", 0.0f));
		}
		plugin.setTempo(c.tempo);
	}

	// The same input through the LV2 plug-in, as interleaved output;
	// beforeBlock(frame) is called before the block that starts there.
	static Audio renderLv2(Lv2Plugin& plugin, const Case& c, const std::function<void(long)>& beforeBlock = {})
	{
		const long frames = static_cast<long>(s_left.size());
		const int outputs = plugin.audioOutputs();
		std::vector<std::vector<float>> out(static_cast<size_t>(outputs), std::vector<float>(s_left.size()));
		for (long done = 0; done < frames; done += c.block)
		{
			const int count = static_cast<int>(std::min<long>(c.block, frames - done));
			std::vector<const float*> inputs = {s_left.data() + done};
			if (plugin.audioInputs() > 1)
				inputs.push_back(s_right.data() + done);
			std::vector<float*> outputPointers;
			for (std::vector<float>& channel : out)
				outputPointers.push_back(channel.data() + done);
			if (beforeBlock)
				beforeBlock(done);
			plugin.run(inputs.data(), outputPointers.data(), count);
		}
		Audio audio;
		audio.sampleRate = c.sampleRate;
		audio.channels = outputs;
		for (long i = 0; i < frames; ++i)
			for (const std::vector<float>& channel : out)
				audio.samples.push_back(channel[static_cast<size_t>(i)]);
		return audio;
	}

	static Audio renderLv2(const Case& c)
	{
		Lv2Plugin plugin(c.mono ? kMonoUri : kStereoUri, Lv2Options{double(c.sampleRate), std::max(c.block, 64), true});
		setUp(plugin, c);
		return renderLv2(plugin, c);
	}

	// The largest difference of the first channels both have, in dB of full scale.
	static double differenceDb(const Audio& a, const Audio& b)
	{
		EXPECT_EQ(a.frames(), b.frames());
		const int channels = std::min(a.channels, b.channels);
		double peak = 0.0, level = 0.0;
		for (long i = 0; i < std::min(a.frames(), b.frames()); ++i)
			for (int ch = 0; ch < channels; ++ch)
			{
				const float x = a.samples[static_cast<size_t>(i * a.channels + ch)];
				const float y = b.samples[static_cast<size_t>(i * b.channels + ch)];
				peak = std::max(peak, static_cast<double>(std::fabs(x - y)));
				level = std::max(level, static_cast<double>(std::fabs(y)));
			}
		EXPECT_GT(level, 0.01) << "the render is silent";
		return peak > 0.0 ? 20.0 * std::log10(peak) : -999.0;
	}

	static inline fs::path s_dir;
	static inline std::vector<float> s_left, s_right;
};

std::vector<Case> cases()
{
	const std::vector<std::pair<std::string, float>> effectsOff = {
	    {"Gate/Compressor ON OFF", 0}, {"Distortion ON OFF", 0}, {"Modulation ON OFF", 0},
	    {"Delay ON OFF", 0},           {"Reverb ON OFF", 0}};
	const auto only = [&](const std::string& title, std::vector<std::pair<std::string, float>> more = {}) {
		std::vector<std::pair<std::string, float>> settings;
		for (const auto& setting : effectsOff)
			if (setting.first != title)
				settings.push_back(setting);
		settings.insert(settings.end(), more.begin(), more.end());
		return settings;
	};
	std::vector<Case> list = {
	    {"defaults", {}},
	    {"clean", {{"Distortion ON OFF", 0}}},
	    {"full-drive", {{"Distortion Level", 1}, {"Compressor Level", 1}}},
	    {"compressor-only", only("Gate/Compressor ON OFF", {{"Compressor Level", 0.3f}})},
	    {"distortion-only", only("Distortion ON OFF", {{"Distortion Level", 0.7f}})},
	    {"chorus-only", only("Modulation ON OFF", {{"Chorus Speed", 0.6f}})},
	    {"delay-only", only("Delay ON OFF", {{"Delay Level", 0.9f}})},
	    {"reverb-only", only("Reverb ON OFF", {{"Reverb Level", 0.9f}})},
	    {"stereo-enhancer", {{"Stereo Enhancer ON OFF", 1}}},
	    {"second-input", {{"Input Selection", 0}}},
	    {"bypassed", {}, 48000, 256, 0.0, true},
	    {"rate-44100", {}, 44100},
	    {"rate-96000", {{"Distortion Level", 0.9f}}, 96000},
	    {"block-1", {}, 48000, 1},
	    {"block-37", {}, 48000, 37},
	    {"block-4096", {}, 48000, 4096},
	    {"tempo-90", {{"Delay Level", 0.9f}}, 48000, 256, 90.0},
	    {"tempo-174", {{"Delay Level", 0.9f}}, 48000, 512, 174.0},
	    {"mono", {}, 48000, 256, 0.0, false, true},
	};
	return list;
}

TEST_F(Lv2Render, EveryCaseSoundsAsTheVst3BundleWithinMinus100Db)
{
	for (const Case& c : cases())
	{
		const double db = differenceDb(renderLv2(c), renderVst3(c));
		std::printf("  %-18s LV2 - VST 3: %s\n", c.name.c_str(),
		            db < -900 ? "identical" : (std::to_string(db) + " dB").c_str());
		EXPECT_LT(db, -100.0) << c.name;
	}
}

// Debian's lv2apply, which offers no URID map, leaves the event port
// unconnected and runs one frame per call, with ports set on its command
// line: the stereo and the mono plug-in sound as brontal-render with blocks
// of one sample.
TEST_F(Lv2Render, DebiansLv2applySoundsAsTheVst3Bundle)
{
	for (const bool mono : {false, true})
	{
		const Case c = {mono ? "lv2apply-mono" : "lv2apply", {{"Distortion Level", 0.9f}, {"Reverb Level", 0.3f}}, 48000,
		                1, 0.0, false, mono};
		const fs::path out = s_dir / (c.name + "-lv2.wav");
		ASSERT_EQ(run({LV2APPLY_PATH, "-i", inputAt(c.sampleRate, mono).string(), "-o", out.string(), "-c",
		               "distortion_level", "0.9", "-c", "reverb_level", "0.3", mono ? kMonoUri : kStereoUri}),
		          0);
		const double db = differenceDb(readAudio(out), renderVst3(c));
		std::printf("  %-18s LV2 - VST 3: %s\n", c.name.c_str(), db < -900 ? "identical" : (std::to_string(db) + " dB").c_str());
		EXPECT_LT(db, -100.0) << c.name;
	}
}

// The comparison can tell: a tempo only LV2's time:Position carries moves
// the echoes far above the tolerance.
TEST_F(Lv2Render, TheTempoComesFromTimePosition)
{
	Case lv2 = {"tempo-90-lv2", {{"Delay Level", 0.9f}}, 48000, 256, 90.0};
	Case vst3 = lv2;
	vst3.tempo = 0.0;
	EXPECT_GT(differenceDb(renderLv2(lv2), renderVst3(vst3)), -40.0);
}

// A state saved by one format and loaded into the other sounds as the
// settings it was saved with, both ways; the bytes are the same record.
TEST_F(Lv2Render, StatesMoveBetweenTheFormats)
{
	const Case c = {"state", {{"Distortion Level", 0.85f}, {"Modulation ON OFF", 0}, {"Reverb Level", 0.2f},
	                          {"Stereo Enhancer ON OFF", 1}}};
	const Case plain = {"state-plain", {}};

	// LV2 -> VST 3: the settings through the ports, one block to take them.
	Lv2Plugin source(kStereoUri, Lv2Options{48000.0, 256, true});
	setUp(source, c);
	std::vector<float> silence(64, 0.0f), scratch(64);
	source.run(silence.data(), scratch.data(), 64);
	const std::vector<unsigned char> saved = source.saveProperty(kStateKey);
	ASSERT_GE(saved.size(), 80u);
	writeBytes(s_dir / "from-lv2.state", saved);
	EXPECT_LT(differenceDb(renderVst3(plain, {"--state-in", (s_dir / "from-lv2.state").string()}), renderVst3(c)),
	          -100.0);

	// VST 3 -> LV2: a fresh instance whose ports stay at their defaults.
	renderVst3(c, {"--state-out", (s_dir / "from-vst3.state").string()});
	const std::vector<unsigned char> vst3State = readBytes(s_dir / "from-vst3.state");
	EXPECT_EQ(vst3State, saved);
	Lv2Plugin target(kStereoUri, Lv2Options{48000.0, 256, true});
	ASSERT_TRUE(target.restoreProperty(kStateKey, vst3State));
	EXPECT_LT(differenceDb(renderLv2(target, plain), renderVst3(c)), -100.0);

	// And the difference is there to see: the plain settings sound otherwise.
	EXPECT_GT(differenceDb(renderLv2(plain), renderVst3(c)), -40.0);
}

// A state loaded while the sound plays is heard at once, in both formats
// alike: the VST 3 bundle (through the host library) given the bytes by
// setState half-way, the LV2 build by its state interface.
TEST_F(Lv2Render, AStateLoadedWhilePlayingSoundsAsUnderVst3)
{
	const Case loaded = {"mid-state", {{"Distortion Level", 1.0f}, {"Compressor Level", 0.2f}, {"Delay ON OFF", 0}}};
	Lv2Plugin source(kStereoUri, Lv2Options{48000.0, 256, true});
	setUp(source, loaded);
	std::vector<float> silence(64, 0.0f), scratch(64);
	source.run(silence.data(), scratch.data(), 64);
	const std::vector<unsigned char> state = source.saveProperty(kStateKey);

	constexpr int kBlock = 256;
	const long frames = static_cast<long>(s_left.size());
	const long half = frames / 2 / kBlock * kBlock;
	std::vector<float> vst3Left(s_left.size()), vst3Right(s_left.size());
	std::vector<float> lv2Left(s_left.size()), lv2Right(s_left.size());
	std::vector<float> inLeft = s_left, inRight = s_right;

	brontal::host::PluginInstance vst3(brontal::host::Module::load(BRONTAL_BUNDLE_PATH));
	vst3.activate({48000.0, kBlock});
	vst3.block().setTempo(120.0);
	Lv2Plugin lv2(kStereoUri, Lv2Options{48000.0, kBlock, true});
	for (long done = 0; done < frames; done += kBlock)
	{
		const int n = static_cast<int>(std::min<long>(kBlock, frames - done));
		if (done == half)
		{
			brontal::host::ByteStream stream(std::vector<char>(state.begin(), state.end()));
			vst3.loadComponentState(stream);
			ASSERT_TRUE(lv2.restoreProperty(kStateKey, state));
		}
		float* ins[] = {inLeft.data() + done, inRight.data() + done};
		float* vst3Outs[] = {vst3Left.data() + done, vst3Right.data() + done};
		ASSERT_EQ(vst3.process({ins, 2, vst3Outs, 2, n}), Steinberg::kResultOk);
		const float* lv2Ins[] = {s_left.data() + done, s_right.data() + done};
		float* lv2Outs[] = {lv2Left.data() + done, lv2Right.data() + done};
		lv2.run(lv2Ins, lv2Outs, n);
	}
	vst3.deactivate();
	double peak = 0.0;
	for (size_t i = 0; i < s_left.size(); ++i)
		peak = std::max({peak, std::fabs(double(vst3Left[i]) - lv2Left[i]), std::fabs(double(vst3Right[i]) - lv2Right[i])});
	EXPECT_LT(peak, kTolerance);
	// The load is heard: the second half is not what the defaults give.
	Lv2Plugin plain(kStereoUri, Lv2Options{48000.0, kBlock, true});
	std::vector<float> plainLeft(s_left.size()), plainRight(s_left.size());
	for (long done = 0; done < frames; done += kBlock)
	{
		const int n = static_cast<int>(std::min<long>(kBlock, frames - done));
		const float* ins[] = {s_left.data() + done, s_right.data() + done};
		float* outs[] = {plainLeft.data() + done, plainRight.data() + done};
		plain.run(ins, outs, n);
	}
	double change = 0.0;
	for (long i = half; i < half + 256; ++i)
		change = std::max(change, std::fabs(double(plainLeft[size_t(i)]) - lv2Left[size_t(i)]));
	EXPECT_GT(change, 0.01) << "the first block after the load should already sound otherwise";
}

// A state that is not one is refused and changes nothing.
TEST_F(Lv2Render, AStateThatIsNotOneIsRefused)
{
	const Case plain = {"refused", {}};
	Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
	EXPECT_FALSE(plugin.restoreProperty(kStateKey, std::vector<unsigned char>(79, 0)));
	EXPECT_LT(differenceDb(renderLv2(plugin, plain), renderVst3(plain)), -100.0);
}

// Hosts that offer neither options nor bounded block lengths get the same sound.
TEST_F(Lv2Render, NoOptionsNoBoundedBlocks)
{
	const Case c = {"no-options", {}, 48000, 1000};
	Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 1000, false});
	EXPECT_LT(differenceDb(renderLv2(plugin, c), renderVst3(c)), -100.0);
}

// The meters and LEDs reach the output ports; latency is 0.
TEST_F(Lv2Render, MetersAndLedsAreOutputPorts)
{
	const Case c = {"meters", {{"Distortion Level", 1}}};
	Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
	setUp(plugin, c);
	renderLv2(plugin, c);
	EXPECT_GT(plugin.control("Output Left Vumeter"), 0.05f);
	EXPECT_GT(plugin.control("Output Right Vumeter"), 0.05f);
	EXPECT_EQ(plugin.control("latency"), 0.0f);
	for (const char* szLed : {"Input Clipping Led", "Ouput Clipping Led", "Compression Led"})
	{
		const float fLed = plugin.control(szLed);
		EXPECT_TRUE(fLed == 0.0f || fLed == 1.0f) << szLed << " " << fLed;
	}
}

} // namespace

namespace {

bool has(const std::vector<std::string>& list, const std::string& uri)
{
	return std::find(list.begin(), list.end(), uri) != list.end();
}

const std::string kLv2 = "http://lv2plug.in/ns/lv2core#";

// The port map hosts save by: written out here by hand, as the contract the
// table's descriptions must meet.
TEST(Lv2Ports, EachPublishedParameterIsAPortAfterTheFixedOnes)
{
	setenv("LV2_PATH", (std::string(BRONTAL_LV2_DIR) + ":/usr/lib/lv2").c_str(), 1);
	struct Expected
	{
		const char* symbol;
		const char* name;
		bool bInput;
		bool bToggled;
		float fDefault;
	};
	const Expected controls[] = {
	    {"input_selection", "Input Selection", true, true, 1.0f},
	    {"gate_compressor_on_off", "Gate/Compressor ON OFF", true, true, 1.0f},
	    {"compressor_level", "Compressor Level", true, false, 0.8f},
	    {"distortion_on_off", "Distortion ON OFF", true, true, 1.0f},
	    {"distortion_level", "Distortion Level", true, false, 0.55f},
	    {"stereo_enhancer_on_off", "Stereo Enhancer ON OFF", true, true, 0.0f},
	    {"delay_on_off", "Delay ON OFF", true, true, 1.0f},
	    {"modulation_on_off", "Modulation ON OFF", true, true, 1.0f},
	    {"chorus_speed", "Chorus Speed", true, false, 0.1f},
	    {"reverb_on_off", "Reverb ON OFF", true, true, 1.0f},
	    {"delay_level", "Delay Level", true, false, 0.75f},
	    {"reverb_level", "Reverb Level", true, false, 0.55f},
	    {"output_left_vumeter", "Output Left Vumeter", false, false, 0.0f},
	    {"output_right_vumeter", "Output Right Vumeter", false, false, 0.0f},
	    {"input_clipping_led", "Input Clipping Led", false, false, 0.0f},
	    {"ouput_clipping_led", "Ouput Clipping Led", false, false, 0.0f},
	    {"compression_led", "Compression Led", false, false, 0.0f},
	    {"button1", "Button1", true, true, 0.0f},
	    {"enabled", "Enabled", true, true, 1.0f},
	    {"tuner_on_off", "Tuner ON OFF", true, true, 0.0f},
	    {"tuner_reference", "Tuner Reference", true, false, 0.5f},
	    {"tuner_note", "Tuner Note", false, false, 0.0f},
	    {"tuner_cents", "Tuner Cents", false, false, 0.5f},
	    {"tuner_note_held", "Tuner Note Held", false, true, 0.0f},
	};
	for (const auto& [uri, fixed] :
	     {std::pair<const char*, std::vector<const char*>>{kStereoUri, {"in_l", "in_r", "out_l", "out_r"}},
	      {kMonoUri, {"in", "out"}}})
	{
		Lv2Plugin plugin(uri, Lv2Options{});
		const std::vector<brontal::lv2host::PortInfo> ports = plugin.ports();
		const size_t audio = fixed.size();
		ASSERT_EQ(ports.size(), audio + 2 + std::size(controls) + 1) << uri;
		for (size_t i = 0; i < audio; ++i)
		{
			EXPECT_EQ(ports[i].symbol, fixed[i]);
			EXPECT_TRUE(has(ports[i].types, kLv2 + "AudioPort"));
			EXPECT_TRUE(has(ports[i].types, kLv2 + (i < audio / 2 ? "InputPort" : "OutputPort")));
		}
		EXPECT_EQ(ports[audio].symbol, "events");
		EXPECT_TRUE(has(ports[audio].types, "http://lv2plug.in/ns/ext/atom#AtomPort"));
		EXPECT_EQ(ports[audio + 1].symbol, "latency");
		EXPECT_EQ(ports[audio + 1].designation, kLv2 + "latency");
		EXPECT_TRUE(has(ports[audio + 1].properties, kLv2 + "reportsLatency"));
		for (size_t j = 0; j < std::size(controls); ++j)
		{
			const brontal::lv2host::PortInfo& port = ports[audio + 2 + j];
			const Expected& want = controls[j];
			EXPECT_EQ(port.symbol, want.symbol);
			EXPECT_EQ(port.name, want.name);
			EXPECT_TRUE(has(port.types, kLv2 + "ControlPort")) << want.symbol;
			EXPECT_TRUE(has(port.types, kLv2 + (want.bInput ? "InputPort" : "OutputPort"))) << want.symbol;
			EXPECT_EQ(has(port.properties, kLv2 + "toggled"), want.bToggled) << want.symbol;
			EXPECT_FLOAT_EQ(port.fDefault, want.fDefault) << want.symbol;
			EXPECT_EQ(port.fMinimum, 0.0f);
			EXPECT_EQ(port.fMaximum, 1.0f);
			EXPECT_EQ(port.designation, std::string(want.symbol) == "enabled" ? kLv2 + "enabled" : "") << want.symbol;
		}
		// Appended after every earlier port, so that none of them moved.
		const brontal::lv2host::PortInfo& notify = ports.back();
		EXPECT_EQ(notify.symbol, "notify");
		EXPECT_TRUE(has(notify.types, "http://lv2plug.in/ns/ext/atom#AtomPort"));
		EXPECT_TRUE(has(notify.types, kLv2 + "OutputPort"));
		EXPECT_EQ(notify.designation, kLv2 + "control");
		EXPECT_TRUE(has(notify.properties, kLv2 + "connectionOptional"));

		// The cabinet: a parameter hosts offer a file chooser for, through
		// the worker and the log when the host has them.
		EXPECT_EQ(plugin.describe(uri, {"http://lv2plug.in/ns/ext/patch#writable"}),
		          std::vector<std::string>{"https://brontal.example/lv2/brontal#cabinet"});
		const auto optional = plugin.describe(uri, {kLv2 + "optionalFeature"});
		for (const char* feature : {"http://lv2plug.in/ns/ext/worker#schedule", "http://lv2plug.in/ns/ext/log#log"})
			EXPECT_TRUE(has(optional, feature)) << feature;
		EXPECT_TRUE(plugin.describe(uri, {kLv2 + "requiredFeature"}).empty());
		EXPECT_TRUE(has(plugin.describe(uri, {kLv2 + "extensionData"}), "http://lv2plug.in/ns/ext/worker#interface"));
	}
	Lv2Plugin plugin(kStereoUri, Lv2Options{});
	const std::string cabinet = "https://brontal.example/lv2/brontal#cabinet";
	EXPECT_EQ(plugin.describe(cabinet, {"http://www.w3.org/1999/02/22-rdf-syntax-ns#type"}),
	          std::vector<std::string>{kLv2 + "Parameter"});
	EXPECT_EQ(plugin.describe(cabinet, {"http://www.w3.org/2000/01/rdf-schema#range"}),
	          std::vector<std::string>{"http://lv2plug.in/ns/ext/atom#Path"});
	EXPECT_EQ(plugin.describe(cabinet, {"http://www.w3.org/2000/01/rdf-schema#label"}),
	          std::vector<std::string>{"Cabinet IR"});

	// The UI asks to hear every output port of both plug-ins: the meters and
	// LEDs as floats, notify as its events.
	const std::string ui = "https://brontal.example/lv2/brontal#ui";
	const std::string notification = "http://lv2plug.in/ns/extensions/ui#portNotification";
	std::vector<std::string> symbols = plugin.describe(ui, {notification, kLv2 + "symbol"});
	std::sort(symbols.begin(), symbols.end());
	std::vector<std::string> outputs = {"notify"};
	for (const Expected& want : controls)
		if (!want.bInput)
			outputs.push_back(want.symbol);
	std::vector<std::string> expected;
	for (int i = 0; i < 2; ++i)
		expected.insert(expected.end(), outputs.begin(), outputs.end());
	std::sort(expected.begin(), expected.end());
	EXPECT_EQ(symbols, expected);
	std::vector<std::string> protocols = plugin.describe(ui, {notification, "http://lv2plug.in/ns/extensions/ui#protocol"});
	EXPECT_EQ(protocols.size(), expected.size());
	EXPECT_EQ(std::count(protocols.begin(), protocols.end(), "http://lv2plug.in/ns/ext/atom#eventTransfer"), 2);
	EXPECT_EQ(std::count(protocols.begin(), protocols.end(), "http://lv2plug.in/ns/extensions/ui#floatProtocol"),
	          static_cast<long>(expected.size()) - 2);
}

} // namespace

namespace {

// The ten factory presets, listed and loaded through lilv's preset calls,
// sound as brontal-render with the same .vstpreset file.
TEST_F(Lv2Render, FactoryPresetsSoundAsTheirVstPresets)
{
	const std::vector<std::string> names = {"Ambient Swells", "Blues Drive",   "Clean Chorus",  "Dry DI Cabinet",
	                                        "High-Gain Lead", "Light Crunch",  "Metal Rhythm",  "Slapback",
	                                        "Stereo Crunch",  "Surf Spring"};
	const fs::path folder = fs::path(BRONTAL_SOURCE_DIR) / "resource/presets/Brontal Audio - https___brontal.example/Brontal2";
	for (const char* szUri : {kStereoUri, kMonoUri})
	{
		Lv2Plugin lister(szUri, Lv2Options{});
		std::vector<std::pair<std::string, std::string>> presets = lister.presets();
		std::sort(presets.begin(), presets.end());
		ASSERT_EQ(presets.size(), names.size()) << szUri;
		for (size_t i = 0; i < names.size(); ++i)
			EXPECT_EQ(presets[i].first, names[i]);
	}
	Lv2Plugin lister(kStereoUri, Lv2Options{});
	for (const auto& [label, uri] : lister.presets())
	{
		const Case c = {"preset-" + label, {}};
		Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
		ASSERT_TRUE(plugin.loadPreset(uri)) << label;
		const double db = differenceDb(renderLv2(plugin, c), renderVst3(c, {"--preset", (folder / (label + ".vstpreset")).string()}));
		std::printf("  %-18s LV2 - VST 3: %s\n", label.c_str(), db < -900 ? "identical" : (std::to_string(db) + " dB").c_str());
		EXPECT_LT(db, -100.0) << label;
	}
	// Loaded, a preset is heard: Metal Rhythm is not the defaults.
	for (const auto& [label, uri] : lister.presets())
		if (label == "Metal Rhythm")
		{
			Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
			ASSERT_TRUE(plugin.loadPreset(uri));
			EXPECT_GT(differenceDb(renderLv2(plugin, {"metal", {}}), renderVst3({"plain", {}})), -40.0);
		}
}

} // namespace

namespace {

const char* const kCabinetUri = "https://brontal.example/lv2/brontal#cabinet";
const char* const kControlValueUri = "https://brontal.example/lv2/brontal#ControlValue";

// The player's folders for one test: the mappings file written in the
// config folder, and a home without presets of the player's own, until the
// test ends.
class PlayerConfig
{
public:
	PlayerConfig(const fs::path& folder, const std::string& mappings) : m_folder(folder)
	{
		fs::create_directories(folder / "brontal");
		std::ofstream(folder / "brontal" / "midi-mappings.txt") << mappings;
		if (const char* szHome = std::getenv("HOME"))
			m_home = szHome;
		setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
		setenv("HOME", folder.c_str(), 1);
	}
	~PlayerConfig()
	{
		unsetenv("XDG_CONFIG_HOME");
		setenv("HOME", m_home.c_str(), 1);
		fs::remove_all(m_folder);
	}

private:
	fs::path m_folder;
	std::string m_home;
};

void sendMidi(Lv2Plugin& plugin, std::vector<uint8_t> message)
{
	plugin.sendEvent(plugin.map(LV2_MIDI__MidiEvent), message.data(), static_cast<uint32_t>(message.size()));
}

// The properties of an object event from the notify port, by key.
struct Told
{
	uint32_t otype = 0;
	std::vector<std::pair<uint32_t, std::vector<uint8_t>>> properties; // key, then the value atom whole
};

std::vector<Told> objectsTold(const Lv2Plugin& plugin)
{
	std::vector<Told> result;
	for (const auto& [type, body] : plugin.outputEvents())
	{
		std::vector<uint8_t> atom(sizeof(LV2_Atom) + body.size());
		*reinterpret_cast<LV2_Atom*>(atom.data()) = {static_cast<uint32_t>(body.size()), type};
		std::copy(body.begin(), body.end(), atom.begin() + sizeof(LV2_Atom));
		const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom.data());
		Told told{object->body.otype, {}};
		LV2_ATOM_OBJECT_FOREACH(object, property)
		{
			const auto* value = reinterpret_cast<const uint8_t*>(&property->value);
			told.properties.emplace_back(property->key,
			                             std::vector<uint8_t>(value, value + sizeof(LV2_Atom) + property->value.size));
		}
		result.push_back(told);
	}
	return result;
}

// The controls the notify port told of in the last block: port, value.
std::vector<std::pair<int, float>> controlsTold(Lv2Plugin& plugin)
{
	const uint32_t port = plugin.map("https://brontal.example/lv2/brontal#port");
	const uint32_t value = plugin.map("https://brontal.example/lv2/brontal#value");
	std::vector<std::pair<int, float>> result;
	for (const Told& told : objectsTold(plugin))
	{
		if (told.otype != plugin.map(kControlValueUri))
			continue;
		std::pair<int, float> entry{-1, NAN};
		for (const auto& [key, atom] : told.properties)
		{
			const auto* header = reinterpret_cast<const LV2_Atom*>(atom.data());
			if (key == port && header->type == plugin.map(LV2_ATOM__Int))
				entry.first = reinterpret_cast<const LV2_Atom_Int*>(header)->body;
			if (key == value && header->type == plugin.map(LV2_ATOM__Float))
				entry.second = reinterpret_cast<const LV2_Atom_Float*>(header)->body;
		}
		result.push_back(entry);
	}
	return result;
}

// The cabinet's file as a patch:Set on the notify port told it in the last
// block; "(none)" when none did.
std::string cabinetTold(Lv2Plugin& plugin)
{
	for (const Told& told : objectsTold(plugin))
	{
		if (told.otype != plugin.map(LV2_PATCH__Set))
			continue;
		bool bCabinet = false;
		std::string path = "(no value)";
		for (const auto& [key, atom] : told.properties)
		{
			const auto* header = reinterpret_cast<const LV2_Atom*>(atom.data());
			if (key == plugin.map(LV2_PATCH__property) && header->type == plugin.map(LV2_ATOM__URID))
				bCabinet = reinterpret_cast<const LV2_Atom_URID*>(header)->body == plugin.map(kCabinetUri);
			if (key == plugin.map(LV2_PATCH__value) && header->type == plugin.map(LV2_ATOM__Path))
				path = reinterpret_cast<const char*>(header + 1);
		}
		if (bCabinet)
			return path;
	}
	return "(none)";
}

void runSilence(Lv2Plugin& plugin, int frames = 64)
{
	std::vector<float> silence(static_cast<size_t>(frames), 0.0f), scratch(static_cast<size_t>(frames));
	plugin.run(silence.data(), scratch.data(), frames);
}

// Indices from the port map's own test above: 4 + 2 fixed ports, then the
// parameters in id order.
constexpr int kDistortionPort = 9;
constexpr int kDelayLevelPort = 16;
constexpr int kReverbPort = 15;
constexpr int kEnabledPort = 24;

// A controller the player mapped moves its parameter exactly as the port
// would have in the same block: a footswitch in toggle mode turns the
// distortion off (and on again at the next press, not at the release), a
// level follows the controller as cc / 127, a hold footswitch sets its
// switch by where it is; one on another channel, or unmapped, does
// nothing. The notify port tells each change once.
TEST_F(Lv2Render, AMappedControllerActsAsItsPortWould)
{
	const PlayerConfig config(s_dir / "config-cc", "4 80 3 toggle\n11 7 any follow\n10 64 1 hold\n19 81 1 toggle\n");
	const Case c = {"midi-cc", {{"Delay Level", 0.3f}}};
	constexpr long kAt = 256 * 180;
	constexpr long kLater = 256 * 300;
	const auto render = [&](const std::function<void(Lv2Plugin&, long)>& hook) {
		Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
		setUp(plugin, c);
		return renderLv2(plugin, c, [&](long done) { hook(plugin, done); });
	};
	const Audio unchanged = render([](Lv2Plugin&, long) {});

	struct Step
	{
		const char* what;
		std::function<void(Lv2Plugin&, long)> byPort, byMidi;
	};
	const std::vector<Step> steps = {
	    {"toggle footswitch",
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     p.setControl("Distortion ON OFF", 0.0f);
		     if (done == kLater)
			     p.setControl("Distortion ON OFF", 1.0f);
	     },
	     [](Lv2Plugin& p, long done) {
		     // Press, release, and press again later.
		     if (done == kAt)
		     {
			     sendMidi(p, {0xB2, 80, 127});
			     sendMidi(p, {0xB2, 80, 0});
		     }
		     if (done == kLater)
			     sendMidi(p, {0xB2, 80, 100});
	     }},
	    {"level",
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     p.setControl("Delay Level", static_cast<float>(100 / 127.0));
	     },
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     sendMidi(p, {0xB8, 7, 100});
	     }},
	    {"hold footswitch",
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     p.setControl("Reverb ON OFF", 0.0f);
	     },
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     sendMidi(p, {0xB0, 64, 63});
	     }},
	    {"bypass footswitch",
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     p.setControl("Enabled", 0.0f);
	     },
	     [](Lv2Plugin& p, long done) {
		     if (done == kAt)
			     sendMidi(p, {0xB0, 81, 127});
	     }},
	};
	for (const Step& step : steps)
	{
		const Audio byPort = render(step.byPort);
		const double db = differenceDb(render(step.byMidi), byPort);
		std::printf("  %-18s MIDI - port: %s\n", step.what, db < -900 ? "identical" : (std::to_string(db) + " dB").c_str());
		EXPECT_LT(db, -100.0) << step.what;
		EXPECT_GT(differenceDb(byPort, unchanged), -60.0) << step.what << ": the change should be heard";
	}
	// Another channel, an unmapped controller, a pitch bend: nothing.
	const Audio ignored = render([](Lv2Plugin& p, long done) {
		if (done == kAt)
		{
			sendMidi(p, {0xB3, 80, 127});
			sendMidi(p, {0xB2, 81, 127});
			sendMidi(p, {0xE2, 80, 127});
			sendMidi(p, {0xB2, 80});
		}
	});
	EXPECT_LT(differenceDb(ignored, unchanged), -100.0);

	// Told once on the notify port, and not again once the port holds it.
	Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
	runSilence(plugin);
	EXPECT_TRUE(controlsTold(plugin).empty());
	sendMidi(plugin, {0xB2, 80, 127});
	sendMidi(plugin, {0xB5, 7, 127});
	runSilence(plugin);
	EXPECT_EQ(controlsTold(plugin), (std::vector<std::pair<int, float>>{{kDistortionPort, 0.0f}, {kDelayLevelPort, 1.0f}}));
	runSilence(plugin);
	EXPECT_TRUE(controlsTold(plugin).empty());
	// The UI writes the value told to the port; the player's next move of
	// the port is then heard, and nothing is told.
	plugin.setControl("Distortion ON OFF", 0.0f);
	runSilence(plugin);
	plugin.setControl("Distortion ON OFF", 1.0f);
	runSilence(plugin);
	EXPECT_TRUE(controlsTold(plugin).empty());
	sendMidi(plugin, {0xB2, 80, 127});
	sendMidi(plugin, {0xB0, 81, 127});
	sendMidi(plugin, {0xB0, 64, 0});
	runSilence(plugin);
	EXPECT_EQ(controlsTold(plugin),
	          (std::vector<std::pair<int, float>>{{kDistortionPort, 0.0f}, {kReverbPort, 0.0f}, {kEnabledPort, 0.0f}}));
}

// A program change picks the factory preset of that number, in the order
// of their names as the VST 3 program list has them: the same sound as
// loading that preset's ports in the same block; numbers past the list do
// nothing.
TEST_F(Lv2Render, AProgramChangeLoadsThatProgram)
{
	const PlayerConfig config(s_dir / "config-pc", "");
	const Case c = {"midi-program", {}};
	constexpr long kAt = 256 * 100;
	Lv2Plugin lister(kStereoUri, Lv2Options{});
	std::vector<std::pair<std::string, std::string>> presets = lister.presets();
	std::sort(presets.begin(), presets.end());
	ASSERT_EQ(presets.size(), 10u);
	for (const int program : {2, 6})
	{
		Lv2Plugin byPreset(kStereoUri, Lv2Options{48000.0, 256, true});
		const Audio expected = renderLv2(byPreset, c, [&](long done) {
			if (done == kAt)
				byPreset.loadPreset(presets[static_cast<size_t>(program)].second);
		});
		Lv2Plugin byMidi(kStereoUri, Lv2Options{48000.0, 256, true});
		const Audio heard = renderLv2(byMidi, c, [&](long done) {
			if (done == kAt)
				sendMidi(byMidi, {0xC4, static_cast<uint8_t>(program)});
		});
		EXPECT_LT(differenceDb(heard, expected), -100.0) << presets[static_cast<size_t>(program)].first;
		EXPECT_GT(differenceDb(expected, renderLv2(c)), -60.0) << presets[static_cast<size_t>(program)].first;
	}
	Lv2Plugin past(kStereoUri, Lv2Options{48000.0, 256, true});
	const Audio heard = renderLv2(past, c, [&](long done) {
		if (done == kAt)
			sendMidi(past, {0xC0, 10});
	});
	EXPECT_LT(differenceDb(heard, renderLv2(c)), -100.0);
}

// A mappings file that does not read: one sentence in the host's log, no
// controller mapped.
TEST_F(Lv2Render, ABadMappingsFileIsLoggedOnce)
{
	const PlayerConfig config(s_dir / "config-bad", "4 80 3 toggle\nnot a mapping\n");
	const Case c = {"midi-bad", {}};
	Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
	ASSERT_EQ(plugin.logLines().size(), 1u);
	EXPECT_NE(plugin.logLines()[0].find("midi-mappings.txt, line 2"), std::string::npos) << plugin.logLines()[0];
	const Audio heard = renderLv2(plugin, c, [&](long done) {
		if (done == 256 * 10)
			sendMidi(plugin, {0xB2, 80, 127});
	});
	EXPECT_LT(differenceDb(heard, renderLv2(c)), -100.0);
}

// A WAV the test writes: one impulse at 300 ms in half a second.
fs::path writeImpulse(const fs::path& path)
{
	Audio impulse;
	impulse.sampleRate = 48000;
	impulse.samples.assign(24000, 0.0f);
	impulse.samples[14400] = 0.8f;
	writeAudio(path, impulse);
	return path;
}

// The player's cabinet response through the lv2:Parameter hosts offer a
// file chooser for: a patch:Set of its path, read by the worker, sounds as
// the VST 3 bundle given the same file; the path is told back, and to a
// patch:Get; a state saved after it brings it back without the file; an
// empty path is the built-in cabinet again; a file that is no response is
// one sentence in the log and changes nothing.
TEST_F(Lv2Render, ThePlayersCabinetComesThroughItsParameter)
{
	const fs::path ir = writeImpulse(s_dir / "impulse.wav");
	const Case c = {"cabinet", {{"Distortion Level", 0.7f}}};
	const Audio vst3 = renderVst3(c, {"--ir", ir.string()});
	const Audio builtIn = renderVst3(c);
	EXPECT_GT(differenceDb(vst3, builtIn), -40.0) << "the response should be heard";

	Lv2Plugin plugin(kStereoUri, Lv2Options{48000.0, 256, true});
	setUp(plugin, c);
	plugin.sendPatchSetPath(kCabinetUri, ir.string());
	runSilence(plugin);
	// The worker ran after that block; the next tells the path.
	runSilence(plugin);
	EXPECT_EQ(cabinetTold(plugin), ir.string());
	runSilence(plugin);
	EXPECT_EQ(cabinetTold(plugin), "(none)");
	plugin.sendPatchGet(kCabinetUri);
	runSilence(plugin);
	EXPECT_EQ(cabinetTold(plugin), ir.string());
	// From the start, as the VST 3 bundle was given it before it played.
	plugin.restart();
	const double db = differenceDb(renderLv2(plugin, c), vst3);
	std::printf("  %-18s LV2 - VST 3: %s\n", "cabinet", db < -900 ? "identical" : (std::to_string(db) + " dB").c_str());
	EXPECT_LT(db, -100.0);

	// Not a response: logged, the response in use stays.
	const fs::path text = s_dir / "not-a-response.wav";
	std::ofstream(text) << "no RIFF here";
	const size_t logged = plugin.logLines().size();
	plugin.sendPatchSetPath(kCabinetUri, text.string());
	runSilence(plugin);
	ASSERT_EQ(plugin.logLines().size(), logged + 1);
	EXPECT_NE(plugin.logLines().back().find("not-a-response.wav"), std::string::npos) << plugin.logLines().back();
	runSilence(plugin);
	EXPECT_EQ(cabinetTold(plugin), "(none)");
	plugin.restart();
	EXPECT_LT(differenceDb(renderLv2(plugin, c), vst3), -100.0);

	// The state holds the samples: restored elsewhere without the file.
	const std::vector<unsigned char> state = plugin.saveProperty(kStateKey);
	fs::remove(ir);
	Lv2Plugin restored(kStereoUri, Lv2Options{48000.0, 256, true});
	ASSERT_TRUE(restored.restoreProperty(kStateKey, state));
	runSilence(restored);
	EXPECT_EQ(cabinetTold(restored), ir.string());
	restored.restart();
	EXPECT_LT(differenceDb(renderLv2(restored, c), vst3), -100.0);

	// An empty path: the built-in cabinet.
	restored.sendPatchSetPath(kCabinetUri, "");
	runSilence(restored);
	runSilence(restored);
	EXPECT_EQ(cabinetTold(restored), "");
	restored.restart();
	EXPECT_LT(differenceDb(renderLv2(restored, c), builtIn), -100.0);
}

} // namespace
