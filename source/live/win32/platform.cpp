#include "platform.h"

#include "sdkgap/moduleentry.h"

#include <windows.h>
#include <shlobj.h>

#include <filesystem>

namespace brontal::live {

namespace fs = std::filesystem;

namespace {

void (*quitFunction)() = nullptr;

BOOL WINAPI onConsoleEvent(DWORD)
{
	quitFunction();
	return TRUE;
}

fs::path knownFolder(REFKNOWNFOLDERID id)
{
	PWSTR path = nullptr;
	fs::path folder;
	if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
		folder = path;
	CoTaskMemFree(path);
	return folder;
}

} // namespace

std::string configFolderPath(std::string& why)
{
	const fs::path roaming = knownFolder(FOLDERID_RoamingAppData);
	if (roaming.empty())
	{
		why = "Windows names no application data folder (%APPDATA%)";
		return {};
	}
	return (roaming / "Brontal").string();
}

const char* configFolderSpelling()
{
	return "%APPDATA%\\Brontal";
}

std::string userPresetRoot()
{
	const fs::path documents = knownFolder(FOLDERID_Documents);
	return documents.empty() ? std::string() : (documents / "VST3 Presets").string();
}

std::vector<std::string> sharedPresetRoots()
{
	const fs::path data = knownFolder(FOLDERID_ProgramData);
	if (data.empty())
		return {};
	return {(data / "VST3 Presets").string()};
}

std::vector<std::string> bundleCandidates()
{
	// Beside the program first: it is built and shipped in the bundle's folder.
	wchar_t self[MAX_PATH];
	std::vector<std::string> candidates;
	const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
	if (length > 0 && length < MAX_PATH)
		candidates.push_back((fs::path(self).parent_path() / "brontal1.vst3").string());
	const fs::path common = knownFolder(FOLDERID_ProgramFilesCommon);
	if (!common.empty())
		candidates.push_back((common / "VST3" / "brontal1.vst3").string());
	return candidates;
}

void installQuitHandler(void (*onQuit)())
{
	quitFunction = onQuit;
	SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

} // namespace brontal::live

// The widget layer registers its window class for the module it lives in:
// here that is the program itself.
void* brontal::moduleHandle()
{
	return GetModuleHandleW(nullptr);
}
