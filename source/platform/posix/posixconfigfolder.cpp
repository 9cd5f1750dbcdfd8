#include "configfolder.h"

#include <cstdlib>

namespace brontal {
namespace {
std::filesystem::path Home()
{
	const char* szHome = std::getenv("HOME");
	return szHome && szHome[0] == '/' ? std::filesystem::path(szHome) : std::filesystem::path();
}
} // namespace

std::filesystem::path UserConfigFolder()
{
	// A relative XDG_CONFIG_HOME is invalid by the XDG rules and is ignored.
	const char* szConfig = std::getenv("XDG_CONFIG_HOME");
	if (szConfig && szConfig[0] == '/')
		return std::filesystem::path(szConfig) / "brontal";
	const std::filesystem::path home = Home();
	return home.empty() ? home : home / ".config" / "brontal";
}

std::filesystem::path UserPresetRoot()
{
	const std::filesystem::path home = Home();
	return home.empty() ? home : home / ".vst3" / "presets";
}

} // namespace brontal
