#include "configfolder.h"

#include <cstdlib>

namespace brontal {
namespace {
// Wide, so that a user name outside the code page still finds its folder.
std::filesystem::path Folder(const wchar_t* wszVariable)
{
	const wchar_t* wszFolder = _wgetenv(wszVariable);
	return wszFolder && wszFolder[0] ? std::filesystem::path(wszFolder) : std::filesystem::path();
}
} // namespace

std::filesystem::path UserConfigFolder()
{
	const std::filesystem::path appData = Folder(L"APPDATA");
	return appData.empty() ? appData : appData / L"Brontal";
}

std::filesystem::path UserPresetRoot()
{
	const std::filesystem::path profile = Folder(L"USERPROFILE");
	return profile.empty() ? profile : profile / L"Documents" / L"VST3 Presets";
}

} // namespace brontal
