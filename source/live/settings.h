#pragma once

// What the player chose, kept between runs in the user's configuration
// folder ($XDG_CONFIG_HOME/brontal or ~/.config/brontal; %APPDATA%\\Brontal),
// beside the plug-in's last state. Anything unreadable or out of range gives
// the documented fallback and one message; nothing here throws at a user.

#include <string>
#include <vector>

namespace brontal::live {

struct Settings
{
	std::string backend;             // empty: the build's first
	std::string device;              // empty: the back end's default
	std::vector<int> inputs{0};      // device channels from 0: one, or a pair
	std::vector<int> outputs{0, 1};
	int sampleRate = 48000;
	int period = 64;
	std::string midiPort;            // empty: none connected
};

inline constexpr int kDefaultRate = 48000;
inline constexpr int kMinRate = 8000;
inline constexpr int kMaxRate = 384000;
inline constexpr int kMinPeriod = 16;
inline constexpr int kMaxPeriod = 8192;
inline constexpr int kMaxChannel = 255;

// The folder, created if needed; empty (the reason in why) when the
// platform names none.
std::string configFolder(std::string& why);
std::string settingsPath(const std::string& folder);
std::string lastStatePath(const std::string& folder);

// The file's settings; a missing or corrupt file gives the defaults and a
// message in messages.
Settings loadSettings(const std::string& path, std::vector<std::string>& messages);
// Written whole to a temporary file and renamed; false (and a message) when
// the folder cannot be written.
bool saveSettings(const std::string& path, const Settings& settings, std::vector<std::string>& messages);

// Brings every figure into range with one message per change: a rate
// outside 8 to 384 kHz (0 included) becomes 48 kHz, a period outside 16 to
// 8192 frames the nearest bound, channel choices that are not one channel or
// two different ones the first channel (inputs) or the first pair (outputs).
void sanitize(Settings& settings, std::vector<std::string>& messages);

// "1" or "1,2": channels as the player counts them (from 1).
std::string channelText(const std::vector<int>& channels);

// Writes bytes to path through a temporary file renamed over it.
bool writeFileAtomically(const std::string& path, const std::string& bytes);

} // namespace brontal::live
