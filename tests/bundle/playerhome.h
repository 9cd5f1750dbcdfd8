#pragma once

// The player's folders for the whole test binary: a fresh home of its own,
// as $HOME and $XDG_CONFIG_HOME, set before any test runs, so that the
// machine's own mappings and presets never count.

#include <filesystem>

namespace bundletest {

std::filesystem::path playerHome();

} // namespace bundletest
