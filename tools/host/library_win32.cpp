#include "host/library.h"

#include "host/module.h"

#include <windows.h>

namespace brontal::host {

const char* const kBundleArchitecture = "x86_64-win";

std::string bundleBinaryName(const std::string& bundleStem)
{
	return bundleStem + ".vst3";
}

namespace {

std::wstring widen(const std::string& text)
{
	const int iLength = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
	std::wstring wide(std::size_t(iLength), L'\0');
	MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), iLength);
	return wide;
}

std::string lastErrorText()
{
	const DWORD uError = GetLastError();
	char szText[256] = {};
	const DWORD uLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, uError,
	                                     0, szText, sizeof(szText), nullptr);
	std::string text(szText, uLength);
	while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
		text.pop_back();
	return "error " + std::to_string(uError) + (text.empty() ? "" : " (" + text + ")");
}

} // namespace

std::unique_ptr<Library> Library::open(const std::string& path)
{
	HMODULE hModule = LoadLibraryW(widen(path).c_str());
	if (!hModule)
		throw HostError("cannot load " + path + ": " + lastErrorText());
	return std::unique_ptr<Library>(new Library(hModule));
}

Library::~Library()
{
	FreeLibrary(static_cast<HMODULE>(handle));
}

void* Library::symbol(const char* name) const
{
	return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

// Windows hosts call InitDll and ExitDll when a module exports them.
bool Library::enter() const
{
	auto init = function<bool (*)()>("InitDll");
	return !init || init();
}

bool Library::exit() const
{
	auto exitDll = function<bool (*)()>("ExitDll");
	return !exitDll || exitDll();
}

} // namespace brontal::host
