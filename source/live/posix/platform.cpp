#include "platform.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace brontal::live {

namespace fs = std::filesystem;

namespace {

void (*quitFunction)() = nullptr;

void onSignal(int)
{
	quitFunction();
}

std::string home()
{
	const char* value = std::getenv("HOME");
	return value ? value : "";
}

} // namespace

std::string configFolderPath(std::string& why)
{
	const char* xdg = std::getenv("XDG_CONFIG_HOME");
	if (xdg && *xdg)
		return (fs::path(xdg) / "brontal").string();
	if (!home().empty())
		return (fs::path(home()) / ".config" / "brontal").string();
	why = "neither XDG_CONFIG_HOME nor HOME is set";
	return {};
}

const char* configFolderSpelling()
{
	return "$XDG_CONFIG_HOME/brontal";
}

std::string userPresetRoot()
{
	return home().empty() ? std::string() : (fs::path(home()) / ".vst3" / "presets").string();
}

std::vector<std::string> sharedPresetRoots()
{
	return {"/usr/share/vst3/presets"};
}

std::vector<std::string> bundleCandidates()
{
	std::vector<std::string> candidates{BRONTAL_DEFAULT_BUNDLE};
	if (!home().empty())
		candidates.push_back((fs::path(home()) / ".vst3" / "brontal1.vst3").string());
	candidates.push_back("/usr/lib/vst3/brontal1.vst3");
	candidates.push_back("/usr/local/lib/vst3/brontal1.vst3");
	return candidates;
}

void installQuitHandler(void (*onQuit)())
{
	quitFunction = onQuit;
	struct sigaction action = {};
	action.sa_handler = onSignal;
	for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
		sigaction(signalNumber, &action, nullptr);
}

} // namespace brontal::live
