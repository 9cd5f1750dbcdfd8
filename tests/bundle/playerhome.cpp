#include "playerhome.h"

#include <cstdlib>

namespace bundletest {

std::filesystem::path playerHome()
{
	static const std::filesystem::path home = [] {
		char szTemplate[] = "/tmp/brontal-player-XXXXXX";
		const char* szMade = mkdtemp(szTemplate);
		std::filesystem::path path = szMade ? szMade : "/tmp/brontal-player";
		setenv("XDG_CONFIG_HOME", path.c_str(), 1);
		setenv("HOME", path.c_str(), 1);
		return path;
	}();
	return home;
}

// Before main, before any instance reads them.
const std::filesystem::path kHome = playerHome();

} // namespace bundletest
