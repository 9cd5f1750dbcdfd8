// brontal-presets: writes the factory presets as .vstpreset files.
//
// Each preset is a full setting of the panel's controls: the changes it names,
// the defaults for the rest (the input channel is always the first). The
// plug-in itself makes the files, as a host saves a preset: a fresh instance
// takes the values as parameter changes, then its processor and controller
// give their states to the SDK's preset writer.
//
//   brontal-presets [--plugin BUNDLE] OUTDIR   writes OUTDIR/COMPANY/PLUG-IN/NAME.vstpreset
//   brontal-presets --list                      prints the table as Markdown

#include "host/parameters.h"
#include "host/plugininstance.h"
#include "host/presetfile.h"

#include "brontalparams.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace brontal::host;

struct FactoryPreset
{
	const char* name;
	const char* use; // one line for the README
	// The controls that differ from the plug-in's defaults.
	std::vector<std::pair<int, float>> changes;
};

// Chosen by rendering the demo riff through each (docs/development.md lists
// the measured levels): clean settings peak well below the output clip LED,
// driven ones sit on the output saturator as the default setting does.
// Levels of effects that are off stay at the plug-in's defaults, so that
// switching one on gives its usual sound.
const FactoryPreset kPresets[] = {
    {"Clean Chorus", "clean rhythm with a wide chorus and a small room",
     {{kCompressorLevel, 0.35f}, {kDistortionOnOff, 0}, {kChorusSpeed, 0.55f}, {kDelayOnOff, 0},
      {kReverbLevel, 0.30f}, {kStereoEnhancerOnOff, 1}}},
    {"Light Crunch", "edge-of-breakup crunch for chords, a little room",
     {{kCompressorLevel, 0.50f}, {kDistortionLevel, 0.30f}, {kModulationOnOff, 0}, {kDelayOnOff, 0},
      {kReverbLevel, 0.25f}}},
    {"Blues Drive", "warm mid-gain drive with a short room and a faint echo",
     {{kCompressorLevel, 0.60f}, {kDistortionLevel, 0.45f}, {kModulationOnOff, 0}, {kDelayLevel, 0.35f},
      {kReverbLevel, 0.35f}}},
    {"High-Gain Lead", "saturated sustaining lead with echoes and a hall",
     {{kCompressorLevel, 0.85f}, {kDistortionLevel, 0.90f}, {kModulationOnOff, 0}, {kDelayLevel, 0.65f},
      {kReverbLevel, 0.50f}}},
    {"Metal Rhythm", "tight gated high gain, dry for palm mutes",
     {{kCompressorLevel, 1.00f}, {kDistortionLevel, 1.00f}, {kModulationOnOff, 0}, {kDelayOnOff, 0},
      {kReverbOnOff, 0}}},
    {"Ambient Swells", "clean pads: full chorus, long echoes, the longest reverb, wide",
     {{kCompressorLevel, 0.45f}, {kDistortionOnOff, 0}, {kChorusSpeed, 0.80f}, {kDelayLevel, 1.00f},
      {kReverbLevel, 1.00f}, {kStereoEnhancerOnOff, 1}}},
    {"Slapback", "light drive with a short, quickly fading eighth-note echo, no reverb",
     {{kCompressorLevel, 0.50f}, {kDistortionLevel, 0.25f}, {kModulationOnOff, 0}, {kDelayLevel, 0.55f},
      {kReverbOnOff, 0}}},
    {"Dry DI Cabinet", "every effect off: the cabinet and the output stage only",
     {{kGateCompOnOff, 0}, {kDistortionOnOff, 0}, {kModulationOnOff, 0}, {kDelayOnOff, 0}, {kReverbOnOff, 0}}},
    {"Stereo Crunch", "crunch spread wide by the stereo enhancer and a light chorus",
     {{kCompressorLevel, 0.55f}, {kDistortionLevel, 0.40f}, {kChorusSpeed, 0.25f}, {kDelayOnOff, 0},
      {kReverbLevel, 0.20f}, {kStereoEnhancerOnOff, 1}}},
    {"Surf Spring", "clean and splashy, drenched in a long reverb",
     {{kCompressorLevel, 0.30f}, {kDistortionOnOff, 0}, {kModulationOnOff, 0}, {kDelayOnOff, 0},
      {kReverbLevel, 0.75f}}},
};

// Every panel control of a preset, in id order: its change or the default.
std::vector<std::pair<int, float>> values(const FactoryPreset& preset)
{
	std::vector<std::pair<int, float>> result;
	for (const ParamDef& def : kParams)
	{
		if (!IsPanelControl(def))
			continue;
		float fValue = def.fDefault;
		for (const auto& [id, value] : preset.changes)
			if (id == def.iId)
				fValue = value;
		result.emplace_back(def.iId, fValue);
	}
	return result;
}

std::vector<char> presetBytes(const std::shared_ptr<Module>& module, const FactoryPreset& preset)
{
	PluginInstance plugin(module);
	Steinberg::Vst::IEditController& controller = *plugin.controller();
	const std::vector<ParamEntry> entries = parameterList(controller);
	plugin.activate({});
	for (const auto& [id, value] : values(preset))
	{
		// Through the published list, so an id the plug-in lost fails here.
		const ParamEntry& entry = findParameter(entries, std::to_string(id));
		plugin.block().inputChanges().add(entry.id, value);
		controller.setParamNormalized(entry.id, value);
	}
	// A block without audio carries the changes to the processor.
	if (plugin.process({}) != Steinberg::kResultOk)
		throw HostError("the processor refused the settings of \"" + std::string(preset.name) + "\"");
	plugin.deactivate();
	return writePreset(plugin.classId(), *plugin.component(), controller);
}

void printTable()
{
	// A column per effect: its switch and its level (none for the enhancer).
	struct Column
	{
		const char* name;
		int iSwitch;
		int iLevel;
	};
	const Column columns[] = {{"comp", kGateCompOnOff, kCompressorLevel}, {"drive", kDistortionOnOff, kDistortionLevel},
	                          {"chorus", kModulationOnOff, kChorusSpeed},  {"delay", kDelayOnOff, kDelayLevel},
	                          {"reverb", kReverbOnOff, kReverbLevel},      {"stereo", kStereoEnhancerOnOff, 0}};
	std::string header = "| preset | use |", rule = "|---|---|";
	for (const Column& column : columns)
		header += std::string(" ") + column.name + " |", rule += "---|";
	std::printf("%s\n%s\n", header.c_str(), rule.c_str());
	for (const FactoryPreset& preset : kPresets)
	{
		const std::vector<std::pair<int, float>> settings = values(preset);
		const auto valueOf = [&](int iId) {
			for (const auto& [id, value] : settings)
				if (id == iId)
					return value;
			throw HostError("no control " + std::to_string(iId));
		};
		std::string line = std::string("| ") + preset.name + " | " + preset.use + " |";
		for (const Column& column : columns)
		{
			const bool bOn = valueOf(column.iSwitch) != 0.0f;
			char text[32];
			if (column.iLevel == 0)
				std::snprintf(text, sizeof text, "%s", bOn ? "on" : "off");
			else
				std::snprintf(text, sizeof text, bOn ? "%.2f" : "off (%.2f)", valueOf(column.iLevel));
			line += std::string(" ") + text + " |";
		}
		std::printf("%s\n", line.c_str());
	}
}

int usage()
{
	std::fprintf(stderr, "Usage: brontal-presets [--plugin BUNDLE] OUTDIR\n       brontal-presets --list\n");
	return 2;
}

} // namespace

int main(int argc, char** argv)
{
	const std::vector<std::string> args(argv + 1, argv + argc);
	if (args.size() == 1 && args[0] == "--list")
	{
		printTable();
		return 0;
	}
	std::string bundle = BRONTAL_DEFAULT_BUNDLE;
	std::string outDir;
	for (std::size_t i = 0; i < args.size(); ++i)
	{
		if (args[i] == "--plugin" && i + 1 < args.size())
			bundle = args[++i];
		else if (outDir.empty() && !args[i].empty() && args[i][0] != '-')
			outDir = args[i];
		else
			return usage();
	}
	if (outDir.empty())
		return usage();

	try
	{
		const std::shared_ptr<Module> module = Module::load(bundle);
		const std::optional<ClassInfo> audioClass = module->findClass(kAudioModuleCategory);
		if (!audioClass)
			throw HostError(bundle + " has no audio module class");
		const fs::path folder = fs::path(outDir) / presetSubfolder(module->factoryInfo(), *audioClass);
		fs::create_directories(folder);
		// A renamed or dropped preset must not linger from an earlier run.
		for (const fs::directory_entry& entry : fs::directory_iterator(folder))
		{
			if (entry.path().extension() == ".vstpreset")
				fs::remove(entry.path());
		}
		for (const FactoryPreset& preset : kPresets)
		{
			const std::vector<char> bytes = presetBytes(module, preset);
			const fs::path path = folder / (std::string(preset.name) + ".vstpreset");
			std::ofstream file(path, std::ios::binary | std::ios::trunc);
			if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush())
				throw HostError("cannot write " + path.string());
		}
		std::printf("wrote %zu presets to %s\n", std::size(kPresets), folder.c_str());
		return 0;
	}
	catch (const std::exception& error)
	{
		std::fprintf(stderr, "brontal-presets: %s\n", error.what());
		return 1;
	}
}
