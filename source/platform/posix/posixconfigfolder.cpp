#include "configfolder.h"

#include <cstdlib>

namespace brontal {

std::filesystem::path UserConfigFolder()
{
	// A relative XDG_CONFIG_HOME is invalid by the XDG rules and is ignored.
	const char* szConfig = std::getenv("XDG_CONFIG_HOME");
	if (szConfig && szConfig[0] == '/')
		return std::filesystem::path(szConfig) / "brontal";
	const char* szHome = std::getenv("HOME");
	if (szHome && szHome[0] == '/')
		return std::filesystem::path(szHome) / ".config" / "brontal";
	return {};
}

} // namespace brontal
