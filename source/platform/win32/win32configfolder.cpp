#include "configfolder.h"

#include <cstdlib>

namespace brontal {

std::filesystem::path UserConfigFolder()
{
	// Wide, so that a user name outside the code page still finds its folder.
	const wchar_t* wszAppData = _wgetenv(L"APPDATA");
	if (wszAppData && wszAppData[0])
		return std::filesystem::path(wszAppData) / L"Brontal";
	return {};
}

} // namespace brontal
