// brontal-presets: writes the factory presets as .vstpreset files.
//
// Each preset is a full setting of the eleven controls (the input channel is
// always the first). The plug-in itself makes the files, as a host saves a
// preset: a fresh instance takes the values as parameter changes, then its
// processor and controller give their states to the SDK's preset writer.
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
	float compOn, compLevel;
	float driveOn, driveLevel;
	float chorusOn, chorusMix;
	float delayOn, delayLevel;
	float reverbOn, reverbLevel;
	float stereo;
};

// Chosen by rendering the demo riff through each (docs/development.md lists
// the measured levels): clean settings peak well below the output clip LED,
// driven ones sit on the output saturator as the default setting does.
// Levels of effects that are off are kept at the plug-in's defaults, so that
// switching one on gives its usual sound.
const FactoryPreset kPresets[] = {
    // name, use,
    //   compressor, drive, chorus, delay, reverb (switch, level), stereo enhancer
    {"Clean Chorus", "clean rhythm with a wide chorus and a small room",
     1, 0.35f, 0, 0.55f, 1, 0.55f, 0, 0.75f, 1, 0.30f, 1},
    {"Light Crunch", "edge-of-breakup crunch for chords, a little room",
     1, 0.50f, 1, 0.30f, 0, 0.10f, 0, 0.75f, 1, 0.25f, 0},
    {"Blues Drive", "warm mid-gain drive with a short room and a faint echo",
     1, 0.60f, 1, 0.45f, 0, 0.10f, 1, 0.35f, 1, 0.35f, 0},
    {"High-Gain Lead", "saturated sustaining lead with echoes and a hall",
     1, 0.85f, 1, 0.90f, 0, 0.10f, 1, 0.65f, 1, 0.50f, 0},
    {"Metal Rhythm", "tight gated high gain, dry for palm mutes",
     1, 1.00f, 1, 1.00f, 0, 0.10f, 0, 0.75f, 0, 0.55f, 0},
    {"Ambient Swells", "clean pads: full chorus, long echoes, the longest reverb, wide",
     1, 0.45f, 0, 0.55f, 1, 0.80f, 1, 1.00f, 1, 1.00f, 1},
    {"Slapback", "light drive with a short, quickly fading eighth-note echo, no reverb",
     1, 0.50f, 1, 0.25f, 0, 0.10f, 1, 0.55f, 0, 0.55f, 0},
    {"Dry DI Cabinet", "every effect off: the cabinet and the output stage only",
     0, 0.80f, 0, 0.55f, 0, 0.10f, 0, 0.75f, 0, 0.55f, 0},
    {"Stereo Crunch", "crunch spread wide by the stereo enhancer and a light chorus",
     1, 0.55f, 1, 0.40f, 1, 0.25f, 0, 0.75f, 1, 0.20f, 1},
    {"Surf Spring", "clean and splashy, drenched in a long reverb",
     1, 0.30f, 0, 0.55f, 0, 0.10f, 0, 0.75f, 1, 0.75f, 0},
};

std::vector<std::pair<int, float>> values(const FactoryPreset& preset)
{
	return {{kInputSelection, 1.0f},
	        {kGateCompOnOff, preset.compOn},
	        {kCompressorLevel, preset.compLevel},
	        {kDistortionOnOff, preset.driveOn},
	        {kDistortionLevel, preset.driveLevel},
	        {kModulationOnOff, preset.chorusOn},
	        {kChorusSpeed, preset.chorusMix},
	        {kDelayOnOff, preset.delayOn},
	        {kDelayLevel, preset.delayLevel},
	        {kReverbOnOff, preset.reverbOn},
	        {kReverbLevel, preset.reverbLevel},
	        {kStereoEnhancerOnOff, preset.stereo}};
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
	const char* onOff[] = {"off", "on"};
	std::printf("| preset | use | comp | drive | chorus | delay | reverb | stereo |\n");
	std::printf("|---|---|---|---|---|---|---|---|\n");
	auto cell = [](float on, float level) {
		char text[32];
		std::snprintf(text, sizeof text, on != 0.0f ? "%.2f" : "off (%.2f)", level);
		return std::string(text);
	};
	for (const FactoryPreset& p : kPresets)
		std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", p.name, p.use,
		            cell(p.compOn, p.compLevel).c_str(), cell(p.driveOn, p.driveLevel).c_str(),
		            cell(p.chorusOn, p.chorusMix).c_str(), cell(p.delayOn, p.delayLevel).c_str(),
		            cell(p.reverbOn, p.reverbLevel).c_str(), onOff[p.stereo != 0.0f]);
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
