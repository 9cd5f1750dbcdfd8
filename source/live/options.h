#pragma once

// The command line of brontal-live: the same choices as the settings, for
// this run and (saved at exit) the next.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brontal::live {

// A command line that cannot be accepted; the message is one line.
class UsageError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

struct Options
{
	std::optional<std::string> backend;
	std::optional<std::string> device;
	std::optional<std::vector<int>> inputs;  // from 0
	std::optional<std::vector<int>> outputs; // from 0
	std::optional<int> sampleRate;
	std::optional<int> period;
	std::optional<std::string> midiPort;
	std::string preset; // a file, or the name of a factory or user preset
	std::string state;  // a component state file
	std::string plugin; // the bundle; empty: found as the render tool finds it
	int seconds = 0;    // audio time to play, then quit; 0: until asked
	bool noGui = false;
	bool listDevices = false;
	bool help = false;
};

// Numbers must be whole decimal numbers (range checks come later, as for the
// settings file); anything else is a UsageError.
Options parseOptions(const std::vector<std::string>& args);

const char* usageText();

} // namespace brontal::live
