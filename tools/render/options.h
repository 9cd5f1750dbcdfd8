#pragma once

// Command line of brontal-render.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brontal::host {

// A command line that cannot be accepted; the message is one line.
class UsageError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

struct ParamSetting
{
	std::string nameOrId; // a title (any case) or a decimal id
	double value = 0.0;   // normalised, 0..1
};

struct Options
{
	std::string input;  // one file: INPUT OUTPUT
	std::string output;
	std::vector<std::string> inputs; // many files: INPUT... -o DIR
	std::string outputDir;
	int jobs = 1;
	std::string plugin; // empty: the default bundle
	int blockSize = 512;
	double tempo = 120.0;
	std::vector<ParamSetting> settings;
	std::string preset;
	std::string stateIn;
	std::string stateOut;
	std::string ir; // a cabinet impulse response (WAV) in place of the built-in cabinet
	bool irNormalise = true;
	bool irTrim = true;
	bool bypass = false;
	// Switch the tuner on and print its readings as they change.
	bool tuner = false;
	bool listParams = false;
	bool help = false;
};

inline constexpr int kMaxBlockSize = 8192;
inline constexpr int kMaxJobs = 64;

// Throws UsageError for anything that is not exactly the documented syntax.
Options parseOptions(const std::vector<std::string>& args);

const char* usageText();

// Text for a one-line message: messages quote the user's arguments and file
// names, and a newline or an escape sequence in one must not reach the
// terminal as such, so control characters are written as \xHH.
std::string escapeControls(const std::string& text);

} // namespace brontal::host
