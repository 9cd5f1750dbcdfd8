#pragma once

// Where the player's own settings live, whatever the host or project: one
// back end per platform.

#include <filesystem>

namespace brontal {

// $XDG_CONFIG_HOME/brontal (else ~/.config/brontal), or %APPDATA%\Brontal;
// empty when the system names no such place.
std::filesystem::path UserConfigFolder();

} // namespace brontal
