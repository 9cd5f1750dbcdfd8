#pragma once

// The player's folders for the whole test binary: a fresh home of its own,
// set before any test runs ($HOME and $XDG_CONFIG_HOME, or %USERPROFILE%
// and %APPDATA%), so that the machine's own mappings and presets never
// count.

#include <filesystem>

namespace bundletest {

std::filesystem::path playerHome();
// Where the plug-in keeps the player's MIDI mappings, and where hosts save
// the player's presets of the class, by the documented rules.
std::filesystem::path playerConfigFolder();
std::filesystem::path playerPresetFolder();

} // namespace bundletest
