#pragma once

// The presets a player picks from: the factory's (in the bundle, and where
// the package puts them) and the user's own (the per-user folder hosts
// read), each folder's in name order, factory ones first. Program change N
// picks entry N.

#include <string>
#include <vector>

namespace brontal::live {

struct PresetEntry
{
	std::string name; // the file name without .vstpreset
	std::string path;
	bool factory = false;
};

// subfolder: "COMPANY/PLUG-IN" as host::presetSubfolder gives it. A name
// found in several folders is listed once, from the first.
std::vector<PresetEntry> findPresets(const std::string& bundle, const std::string& subfolder);

// Where the user's own presets are saved (~/.vst3/presets/SUBFOLDER);
// empty without a home.
std::string userPresetFolder(const std::string& subfolder);

} // namespace brontal::live
