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
#include "presets/factorypresets.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace brontal::host;
using namespace brontal::presets;

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
