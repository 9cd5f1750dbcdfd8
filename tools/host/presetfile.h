#pragma once

// VST 3 preset files (.vstpreset) through the SDK's PresetFile: reading one
// as a host does, writing one from a plug-in instance, and the folder below
// a preset root where hosts look for a class's presets.

#include "host/module.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <optional>
#include <string>
#include <vector>

namespace brontal::host {

struct Preset
{
	ClassId classId{}; // the processor class the preset belongs to
	std::vector<char> componentState;
	std::optional<std::vector<char>> controllerState;
};

// Reads a whole preset file. Throws HostError when the file is missing, is
// not a preset file, or holds no component state.
Preset readPreset(const std::string& path);

// The bytes of a preset file holding the component's and the controller's
// state under classId. Throws HostError when either refuses its state.
std::vector<char> writePreset(const ClassId& classId, Steinberg::Vst::IComponent& component,
                              Steinberg::Vst::IEditController& controller);

// "COMPANY/PLUG-IN NAME", the folder below a preset root (~/.vst3/presets,
// /usr/share/vst3/presets) for the class: the class's vendor, or the
// factory's when the class has none, and the class name, each with the
// characters \ * ? / : < > | replaced by '_'.
std::string presetSubfolder(const FactoryInfo& factory, const ClassInfo& audioClass);

// The class id as the 32 hexadecimal digits that preset files and module
// info use.
std::string classIdString(const ClassId& classId);

} // namespace brontal::host
