#pragma once

// Where the player's own settings and presets live, whatever the host or
// project: one back end per platform.

#include <filesystem>

namespace brontal {

// $XDG_CONFIG_HOME/brontal (else ~/.config/brontal), or %APPDATA%\Brontal;
// empty when the system names no such place.
std::filesystem::path UserConfigFolder();
// The root of the player's own VST 3 presets, where hosts save them:
// ~/.vst3/presets, or Documents\VST3 Presets; empty when there is none.
std::filesystem::path UserPresetRoot();

} // namespace brontal
