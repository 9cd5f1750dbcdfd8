#pragma once

// Where this platform keeps the player's things, and how it asks a console
// program to quit. One file per platform (posix/, win32/) knows; the rest
// of the application asks here.

#include <string>
#include <vector>

namespace brontal::live {

// The folder the settings and the last sound go in (not created here);
// empty, with the reason in why, when the platform names none.
std::string configFolderPath(std::string& why);
// How the folder is spelt for the player ("$XDG_CONFIG_HOME/brontal").
const char* configFolderSpelling();

// The user's VST 3 preset folder, where hosts look too; empty if none.
std::string userPresetRoot();
// Folders of presets installed for every user.
std::vector<std::string> sharedPresetRoots();

// Where the plug-in bundle may be, in the order to try.
std::vector<std::string> bundleCandidates();

// Ctrl+C (and the platform's other polite requests) call onQuit.
void installQuitHandler(void (*onQuit)());

} // namespace brontal::live
