#pragma once

// UTF-8, the text of everything above the platform, to and from the UTF-16
// of the Windows API.

#include <windows.h>

#include <string>
#include <string_view>

namespace brontal::win32 {

inline std::wstring wide(std::string_view text)
{
	const int iCount = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
	std::wstring result(std::size_t(iCount > 0 ? iCount : 0), L'\0');
	if (iCount > 0)
		MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), iCount);
	return result;
}

inline std::string narrow(std::wstring_view text)
{
	const int iCount = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
	std::string result(std::size_t(iCount > 0 ? iCount : 0), '\0');
	if (iCount > 0)
		WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), iCount, nullptr, nullptr);
	return result;
}

// A system string that may be missing.
inline std::string narrow(const wchar_t* text)
{
	return text ? narrow(std::wstring_view(text)) : std::string();
}

} // namespace brontal::win32
