#include "app.h"

#include "audiodevice.h"
#include "engine.h"
#include "livewindow.h"
#include "menus.h"
#include "midiinput.h"
#include "platform.h"
#include "presets.h"
#include "settings.h"
#include "strip.h"

#include "host/module.h"
#include "host/plugininstance.h"
#include "host/presetfile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

namespace brontal::live {

volatile std::sig_atomic_t quitRequested = 0;

namespace {

namespace fs = std::filesystem;
using namespace Steinberg;
using namespace Steinberg::Vst;
using Clock = std::chrono::steady_clock;

constexpr auto kPoll = std::chrono::milliseconds(10);
constexpr auto kRetry = std::chrono::seconds(2);
constexpr auto kTitleEvery = std::chrono::milliseconds(500);

std::string decibels(float peak)
{
	if (peak <= 0.0f)
		return "-inf";
	char text[16];
	std::snprintf(text, sizeof text, "%.0f", 20.0 * std::log10(peak));
	return text;
}

std::string findBundle(const std::string& requested)
{
	if (!requested.empty())
		return requested;
	std::string tried;
	std::error_code error;
	for (const std::string& candidate : bundleCandidates())
	{
		if (fs::exists(candidate, error))
			return candidate;
		tried += (tried.empty() ? "" : ", ") + candidate;
	}
	throw host::HostError("no brontal1.vst3 found (tried " + tried + "; use --plugin)");
}

std::vector<char> readBytes(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	std::error_code error;
	if (!file || fs::is_directory(path, error))
		throw host::HostError("cannot read " + path);
	return std::vector<char>(std::istreambuf_iterator<char>(file), {});
}

// The editor's edits, as a DAW's handler takes them: each value goes to the
// audio thread through the engine's queue.
class EditForwarder : public IComponentHandler
{
public:
	explicit EditForwarder(Engine& target) : engine(target) {}

	tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
	tresult PLUGIN_API performEdit(ParamID id, ParamValue value) override
	{
		return engine.postParameter(id, value) ? kResultOk : kResultFalse;
	}
	tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
	tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }

	tresult PLUGIN_API queryInterface(const TUID queriedIid, void** obj) override
	{
		QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IComponentHandler)
		QUERY_INTERFACE(queriedIid, obj, IComponentHandler::iid, IComponentHandler)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef() override { return 1; }
	uint32 PLUGIN_API release() override { return 1; }

private:
	Engine& engine;
};

class Application
{
public:
	Application(const Options& commandLine, std::ostream& output, std::ostream& errors)
	    : options(commandLine), out(output), err(errors)
	{
	}

	int run()
	{
		std::vector<std::string> messages;
		std::string why;
		folder = configFolder(why);
		if (folder.empty())
			say(why + ": settings and state are not kept");
		else
			settings = loadSettings(settingsPath(folder), messages);
		applyCommandLine();
		sanitize(settings, messages);
		chooseBackend(messages);
		for (const std::string& message : messages)
			say(message);

		if (options.listDevices)
			return listDevices();

		bundle = findBundle(options.plugin);
		plugin = std::make_unique<host::PluginInstance>(host::Module::load(bundle));
		engine = std::make_unique<Engine>(*plugin);
		forwarder = std::make_unique<EditForwarder>(*engine);
		plugin->controller()->setComponentHandler(forwarder.get());
		const host::FactoryInfo factory = plugin->module()->factoryInfo();
		const std::optional<host::ClassInfo> audioClass = plugin->module()->findClass(host::kAudioModuleCategory);
		presetFolder = host::presetSubfolder(factory, *audioClass);
		presets = findPresets(bundle, presetFolder);
		restoreState();

		// Without a device now it plays once one comes (lose() keeps trying).
		connect();
		openMidi();
		if (!options.noGui)
			openWindow();
		while (!quitRequested)
		{
			if (!window)
				std::this_thread::sleep_for(kPoll);
			else if (!window->serve(static_cast<int>(kPoll.count())))
				break;
			if (menus)
				menus->tidy();
			watch();
			if (options.seconds > 0 && !reconnecting &&
			    engine->framesPlayed() >= static_cast<std::uint64_t>(options.seconds) * device->reached().sampleRate)
				break;
			if (window && Clock::now() - lastTitle >= kTitleEvery)
				showFigures();
		}
		finish();
		return 0;
	}

private:
	void say(const std::string& message) { err << "brontal-live: " << message << std::endl; }

	void applyCommandLine()
	{
		if (options.backend)
			settings.backend = *options.backend;
		if (options.device)
			settings.device = *options.device;
		if (options.inputs)
			settings.inputs = *options.inputs;
		if (options.outputs)
			settings.outputs = *options.outputs;
		if (options.sampleRate)
			settings.sampleRate = *options.sampleRate;
		if (options.period)
			settings.period = *options.period;
		if (options.midiPort)
			settings.midiPort = *options.midiPort;
	}

	void chooseBackend(std::vector<std::string>& messages)
	{
		const std::vector<std::string> names = backendNames();
		if (settings.backend.empty())
			settings.backend = names.front();
		device = createAudioDevice(settings.backend);
		if (!device)
		{
			messages.push_back("there is no audio back end '" + settings.backend + "': using " + names.front());
			settings.backend = names.front();
			device = createAudioDevice(settings.backend);
		}
	}

	int listDevices()
	{
		for (const std::string& name : backendNames())
		{
			out << name << (name == settings.backend ? " (chosen)" : "") << "\n";
			for (const DeviceDescription& description : createAudioDevice(name)->listDevices())
				out << "  " << description.name << ": " << description.description << ", "
				    << description.inputChannels << " in, " << description.outputChannels << " out\n";
			if (const std::unique_ptr<MidiInput> input = createMidiInput(name))
				for (const std::string& port : input->listPorts())
					out << "  MIDI input " << port << "\n";
		}
		return 0;
	}

	void loadPresetFile(const std::string& path)
	{
		plugin->loadPreset(host::readPreset(path));
	}

	// A --state or --preset given asks for that sound; otherwise the last one.
	void restoreState()
	{
		try
		{
			if (!options.state.empty())
			{
				host::ByteStream state(readBytes(options.state));
				plugin->loadComponentState(state);
				say("state loaded from " + options.state);
			}
			else if (!options.preset.empty())
			{
				const auto named = std::find_if(presets.begin(), presets.end(),
				                                [&](const PresetEntry& entry) { return entry.name == options.preset; });
				const std::string path = named != presets.end() ? named->path : options.preset;
				loadPresetFile(path);
				if (named != presets.end())
					currentPreset = static_cast<int>(named - presets.begin());
				say("preset loaded: " + path);
			}
			else if (!folder.empty() && fs::exists(lastStatePath(folder)))
				loadPresetFile(lastStatePath(folder));
		}
		catch (const host::HostError& error)
		{
			say(std::string(error.what()) + ": playing the default sound");
		}
	}

	DeviceConfig config() const
	{
		return {settings.device, settings.sampleRate, settings.period, settings.inputs, settings.outputs,
		        settings.midiPort};
	}

	// Opens and starts the device (the default one when the chosen one is
	// gone); false when none can be had now.
	bool connect()
	{
		DeviceConfig wanted = config();
		DeviceFormat format;
		try
		{
			format = device->open(wanted);
		}
		catch (const DeviceError& error)
		{
			if (wanted.device.empty())
				return lose(error.what());
			say(std::string(error.what()) + ": using the default device");
			wanted.device.clear();
			try
			{
				format = device->open(wanted);
			}
			catch (const DeviceError& again)
			{
				return lose(again.what());
			}
		}
		engine->prepare(format, static_cast<int>(settings.inputs.size()));
		engine->refreshMidiMapping();
		try
		{
			device->start(*engine);
		}
		catch (const DeviceError& error)
		{
			device->close();
			return lose(error.what());
		}
		const DeviceFormat reached = device->reached();
		for (std::size_t start = 0, end; (end = reached.notes.find('\n', start)) != std::string::npos; start = end + 1)
			say(reached.notes.substr(start, end - start));
		const double msPerFrame = 1000.0 / reached.sampleRate;
		char line[320];
		std::snprintf(line, sizeof line,
		              "playing: %s, device %s, input %s, output %s, %d Hz, %d frames (%.2f ms); latency in %d + out %d frames = %.2f ms\n",
		              settings.backend.c_str(), reached.device.c_str(), channelText(settings.inputs).c_str(),
		              channelText(settings.outputs).c_str(), reached.sampleRate, reached.period,
		              reached.period * msPerFrame, reached.inputLatency, reached.outputLatency,
		              (reached.inputLatency + reached.outputLatency) * msPerFrame);
		out << line << std::flush;
		reconnecting = false;
		return true;
	}

	// The back end's MIDI input, where it is not the audio device's own;
	// without one the application plays on and says why once.
	void openMidi()
	{
		midi = createMidiInput(settings.backend);
		if (!midi)
			return;
		try
		{
			midi->open(settings.midiPort, *engine);
			out << "midi: " << (settings.midiPort.empty() ? std::string("no source connected") : settings.midiPort)
			    << std::endl;
		}
		catch (const DeviceError& error)
		{
			say(std::string(error.what()) + ": playing without MIDI input");
		}
	}

	// The editor in a window of the application's own; without a display
	// the application plays on headless.
	void openWindow()
	{
		view = plugin->controller()->createView(ViewType::kEditor);
		window = createLiveWindow();
		std::string why = "the plug-in has no editor";
		if (view && window->open(*view, Strip::kHeight, "Brontal Live", why))
		{
			strip = std::make_unique<Strip>([this](int step) { stepPreset(step); }, [this] { saveUserPreset(); },
			                                [this] { showSettings(); });
			if (!strip->open(window->stripParent(), window->hostContext()))
				say("the strip cannot open its window");
			ViewRect size{0, 0, Strip::kWidth, 0};
			view->getSize(&size);
			menus = std::make_unique<Menus>(*window, Strip::kWidth, size.getHeight() + Strip::kHeight);
			if (!menus->open(window->hostContext()))
			{
				say("the settings menus cannot open their window");
				menus.reset();
			}
			out << "window: open" << std::endl;
			showFigures();
			return;
		}
		say(why + ": playing without a window");
		window.reset();
		if (view)
			view->release();
		view = nullptr;
	}

	// What the player needs to see while playing: the strip, and the
	// window's title for the task bar.
	void showFigures()
	{
		lastTitle = Clock::now();
		const EngineStats figures = engine->stats();
		StripFigures shown;
		shown.device = settings.backend + " " + (reconnecting ? std::string("(none: retrying)") : device->reached().device);
		shown.input = channelText(settings.inputs);
		shown.preset = "< " + (currentPreset >= 0 ? presets[currentPreset].name : std::string("own sound")) + " >";
		char text[256];
		if (!reconnecting)
		{
			const DeviceFormat reached = device->reached();
			std::snprintf(text, sizeof text, "%d Hz/%d", reached.sampleRate, reached.period);
			shown.format = text;
			std::snprintf(text, sizeof text, "%.2f ms",
			              (reached.inputLatency + reached.outputLatency) * 1000.0 / reached.sampleRate);
			shown.latency = text;
		}
		std::snprintf(text, sizeof text, "%.0f%%", 100.0 * figures.meanLoad);
		shown.load = text;
		shown.dropouts = std::to_string(figures.dropouts);
		shown.levels = decibels(figures.inputPeak) + "/" + decibels(figures.outputPeak) + " dB";
		if (strip)
			strip->show(shown);
		std::snprintf(text, sizeof text, "Brontal Live: %s, input %s, %s, latency %s, DSP %s, dropouts %s",
		              shown.device.c_str(), shown.input.c_str(), shown.format.c_str(), shown.latency.c_str(),
		              shown.load.c_str(), shown.dropouts.c_str());
		window->setTitle(text);
	}

	void stepPreset(int step)
	{
		if (presets.empty())
			return;
		const int count = static_cast<int>(presets.size());
		pickProgram(currentPreset < 0 ? (step > 0 ? 0 : count - 1) : (currentPreset + step + count) % count);
		showFigures();
	}

	// The sound as "My Sound N" in the user's preset folder (the first N
	// free), where hosts find it too; then it is the current preset.
	void saveUserPreset()
	{
		const std::string user = userPresetFolder(presetFolder);
		if (user.empty())
		{
			say("no home folder: the preset cannot be saved");
			return;
		}
		std::error_code error;
		fs::create_directories(user, error);
		std::string name;
		for (int n = 1; name.empty() || fs::exists(fs::path(user) / (name + ".vstpreset"), error); ++n)
			name = "My Sound " + std::to_string(n);
		const std::string path = (fs::path(user) / (name + ".vstpreset")).string();
		try
		{
			const std::vector<char> bytes = host::writePreset(plugin->classId(), *plugin->component(), *plugin->controller());
			if (!writeFileAtomically(path, std::string(bytes.begin(), bytes.end())))
				throw host::HostError("cannot write " + path);
		}
		catch (const host::HostError& failure)
		{
			say(failure.what());
			return;
		}
		presets = findPresets(bundle, presetFolder);
		const auto saved = std::find_if(presets.begin(), presets.end(), [&](const PresetEntry& entry) { return entry.name == name; });
		currentPreset = saved != presets.end() ? static_cast<int>(saved - presets.begin()) : -1;
		out << "saved: " << path << std::endl;
		showFigures();
	}

	// [SETTINGS]: a menu of the choices as they stand; each opens the list
	// of what it can be, and a pick is applied (the device reopened) and
	// saved at once.
	void showSettings()
	{
		const std::string where = folder.empty() ? std::string("settings not kept") : settingsPath(folder);
		if (!menus)
		{
			out << "settings: " << where << std::endl;
			return;
		}
		const DeviceFormat now = device->reached();
		const std::vector<std::pair<std::string, std::function<void()>>> choices = {
		    {"Back end     " + settings.backend, [this] { chooseBackendMenu(); }},
		    {"Device       " + (reconnecting ? std::string("(none)") : now.device), [this] { chooseDevice(); }},
		    {"Input        " + channelText(settings.inputs), [this] { chooseChannels(true); }},
		    {"Output       " + channelText(settings.outputs), [this] { chooseChannels(false); }},
		    {"Rate         " + std::to_string(now.sampleRate) + " Hz", [this] { chooseRate(); }},
		    {"Period       " + periodText(now), [this] { choosePeriod(); }},
		    {"MIDI input   " + (settings.midiPort.empty() ? std::string("none") : settings.midiPort),
		     [this] { chooseMidi(); }},
		};
		std::vector<gui::CMenuItem> items{{where, false, false}};
		for (const auto& choice : choices)
			items.push_back({choice.first});
		menus->show(items, [choices](int item) { choices[static_cast<std::size_t>(item - 1)].second(); });
	}

	static std::string periodText(const DeviceFormat& format)
	{
		char text[64];
		std::snprintf(text, sizeof text, "%d frames %.2f ms", format.period,
		              (format.inputLatency + format.outputLatency) * 1000.0 / std::max(format.sampleRate, 1));
		return text;
	}

	// A list under its heading, the current value checked; onPick(i) for a pick.
	void showList(const std::string& heading, const std::vector<std::string>& values, const std::string& current,
	              std::function<void(std::size_t)> onPick)
	{
		std::vector<gui::CMenuItem> items{{heading, false, false}};
		for (const std::string& value : values)
			items.push_back({value, value == current});
		menus->show(items, [onPick](int item) { onPick(static_cast<std::size_t>(item - 1)); });
	}

	void chooseBackendMenu()
	{
		const std::vector<std::string> names = backendNames();
		showList("Back end", names, settings.backend, [this, names](std::size_t i) {
			settings.backend = names[i];
			settings.device.clear();
			device->close();
			device = createAudioDevice(settings.backend);
			apply(true);
		});
	}

	void chooseDevice()
	{
		std::vector<std::string> names;
		for (const DeviceDescription& description : device->listDevices())
			names.push_back(description.name);
		showList("Device", names, device->reached().device, [this, names](std::size_t i) {
			settings.device = names[i];
			apply(false);
		});
	}

	// Inputs: any one channel or two neighbours; outputs: two neighbours.
	void chooseChannels(bool inputs)
	{
		const DeviceFormat now = device->reached();
		const int count = std::max(inputs ? now.inputChannels : now.outputChannels, 2);
		std::vector<std::vector<int>> pairs;
		for (int channel = 0; inputs && channel < count; ++channel)
			pairs.push_back({channel});
		for (int channel = 0; channel + 1 < count; ++channel)
			pairs.push_back({channel, channel + 1});
		std::vector<std::string> names;
		for (const std::vector<int>& option : pairs)
			names.push_back(channelText(option));
		std::vector<int>& chosen = inputs ? settings.inputs : settings.outputs;
		showList(inputs ? "Input channel" : "Output channels", names, channelText(chosen),
		         [this, pairs, &chosen](std::size_t i) {
			         chosen = pairs[i];
			         apply(false);
		         });
	}

	void chooseRate()
	{
		const std::vector<int> rates{44100, 48000, 88200, 96000, 176400, 192000};
		std::vector<int> reachable;
		std::vector<std::string> names;
		for (int rate : rates)
		{
			DeviceConfig asked = config();
			asked.sampleRate = rate;
			const int would = device->preview(asked).sampleRate;
			if (std::find(reachable.begin(), reachable.end(), would) == reachable.end())
			{
				reachable.push_back(would);
				names.push_back(std::to_string(would) + " Hz");
			}
		}
		showList("Rate", names, std::to_string(device->reached().sampleRate) + " Hz", [this, reachable](std::size_t i) {
			settings.sampleRate = reachable[i];
			apply(false);
		});
	}

	// Each period the device would take, with the latency it would then
	// report: asked periods it would round to the same one show once.
	void choosePeriod()
	{
		std::vector<int> reachable;
		std::vector<std::string> names;
		for (int period = kMinPeriod; period <= 2048; period *= 2)
		{
			DeviceConfig asked = config();
			asked.period = period;
			const DeviceFormat would = device->preview(asked);
			if (std::find(reachable.begin(), reachable.end(), would.period) == reachable.end())
			{
				reachable.push_back(would.period);
				names.push_back(periodText(would));
			}
		}
		showList("Period (latency in + out)", names, periodText(device->reached()), [this, reachable](std::size_t i) {
			settings.period = reachable[i];
			apply(false);
		});
	}

	void chooseMidi()
	{
		std::vector<std::string> names{"none"};
		if (midi)
			for (const std::string& port : midi->listPorts())
				names.push_back(port);
		showList("MIDI input", names, settings.midiPort.empty() ? "none" : settings.midiPort, [this, names](std::size_t i) {
			settings.midiPort = i == 0 ? std::string() : names[i];
			apply(true);
		});
	}

	// A choice from the menus: the device reopened with it (and the MIDI
	// input, when it may have changed), the settings saved.
	void apply(bool midiToo)
	{
		device->close();
		connect();
		if (midiToo)
			openMidi();
		std::vector<std::string> messages;
		if (!folder.empty())
			saveSettings(settingsPath(folder), settings, messages);
		for (const std::string& message : messages)
			say(message);
		showFigures();
	}

	bool lose(const std::string& reason)
	{
		say(reason + ": the sound is kept; trying again every 2 s (Ctrl+C quits)");
		reconnecting = true;
		lastTry = Clock::now();
		return false;
	}

	void watch()
	{
		engine->drain([this](int program) { pickProgram(program); });
		if (reconnecting)
		{
			if (Clock::now() - lastTry >= kRetry)
			{
				lastTry = Clock::now();
				try
				{
					if (connect())
						say("reconnected");
				}
				catch (const std::exception& error)
				{
					say(error.what());
				}
			}
			return;
		}
		if (engine->lost())
		{
			device->close();
			lose(engine->lostReason());
			return;
		}
		if (engine->takeFormatChange())
		{
			say("the device changed its rate or period: the plug-in is reactivated");
			device->close();
			connect();
		}
	}

	void pickProgram(int program)
	{
		if (program >= static_cast<int>(presets.size()))
		{
			say("program " + std::to_string(program) + " has no preset (there are " + std::to_string(presets.size()) + ")");
			return;
		}
		try
		{
			loadPresetFile(presets[program].path);
			currentPreset = program;
			out << "preset: " << presets[program].name << std::endl;
		}
		catch (const host::HostError& error)
		{
			say(presets[program].name + ": " + error.what());
		}
	}

	// State and settings first, while the device still plays; then the device.
	void finish()
	{
		std::vector<std::string> messages;
		if (!folder.empty())
		{
			try
			{
				const std::vector<char> bytes = host::writePreset(plugin->classId(), *plugin->component(), *plugin->controller());
				if (!writeFileAtomically(lastStatePath(folder), std::string(bytes.begin(), bytes.end())))
					messages.push_back("cannot write the state to " + lastStatePath(folder));
			}
			catch (const host::HostError& error)
			{
				messages.push_back(std::string("cannot save the state: ") + error.what());
			}
			saveSettings(settingsPath(folder), settings, messages);
		}
		for (const std::string& message : messages)
			say(message);
		strip.reset();
		menus.reset();
		if (window)
			window->close();
		if (view)
			view->release();
		const EngineStats figures = engine->stats();
		if (midi)
			midi->close();
		device->close();
		char line[256];
		std::snprintf(line, sizeof line,
		              "callbacks %llu, load mean %.1f%% worst %.1f%% of the period, late %llu, dropouts %llu\n",
		              static_cast<unsigned long long>(figures.callbacks), 100.0 * figures.meanLoad,
		              100.0 * figures.worstLoad, static_cast<unsigned long long>(figures.lateCallbacks),
		              static_cast<unsigned long long>(figures.dropouts));
		out << line << std::flush;
		plugin->controller()->setComponentHandler(&plugin->handler());
	}

	const Options& options;
	std::ostream& out;
	std::ostream& err;
	Settings settings;
	std::string folder;
	std::string bundle;
	std::unique_ptr<AudioDevice> device;
	std::unique_ptr<MidiInput> midi;
	std::unique_ptr<host::PluginInstance> plugin;
	std::unique_ptr<Engine> engine;
	std::unique_ptr<EditForwarder> forwarder;
	std::string presetFolder;
	std::vector<PresetEntry> presets;
	std::unique_ptr<LiveWindow> window;
	std::unique_ptr<Strip> strip;
	std::unique_ptr<Menus> menus;
	Steinberg::IPlugView* view = nullptr;
	int currentPreset = -1;
	bool reconnecting = false;
	Clock::time_point lastTry;
	Clock::time_point lastTitle;
};

} // namespace

int runApplication(const Options& options, std::ostream& out, std::ostream& err)
{
	return Application(options, out, err).run();
}

} // namespace brontal::live
