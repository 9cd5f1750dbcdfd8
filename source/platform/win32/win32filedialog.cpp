// The file chooser on Windows: the common Open dialog, modal over the
// editor. It runs from the first poll, a timer tick, never inside a click
// (the dialog takes the mouse the click holds).
#include "widgets/platform.h"
#include "win32window.h"

#include <commdlg.h>

#include <string>

namespace brontal::gui {

namespace {

std::wstring wide(const std::string& sText)
{
	const int iLength = MultiByteToWideChar(CP_UTF8, 0, sText.data(), int(sText.size()), nullptr, 0);
	std::wstring wsText(std::size_t(iLength), L'\0');
	MultiByteToWideChar(CP_UTF8, 0, sText.data(), int(sText.size()), wsText.data(), iLength);
	return wsText;
}

std::string narrow(const wchar_t* wszText)
{
	const int iLength = WideCharToMultiByte(CP_UTF8, 0, wszText, -1, nullptr, 0, nullptr, nullptr);
	std::string sText(std::size_t(iLength > 0 ? iLength - 1 : 0), '\0');
	WideCharToMultiByte(CP_UTF8, 0, wszText, -1, sText.data(), iLength, nullptr, nullptr);
	return sText;
}

class Win32FileDialog final : public IPlatformFileDialog
{
public:
	Win32FileDialog(HWND hOwner, std::wstring wsTitle, std::wstring wsFilter)
	: m_hOwner(hOwner), m_wsTitle(std::move(wsTitle)), m_wsFilter(std::move(wsFilter))
	{
	}

	Answer poll(std::string& sAnswer) override
	{
		// A tick while the dialog is up comes through its message loop.
		if (m_bAsked)
			return Answer::Waiting;
		m_bAsked = true;
		wchar_t wszFile[32768] = {};
		OPENFILENAMEW open{};
		open.lStructSize = sizeof open;
		open.hwndOwner = m_hOwner;
		open.lpstrFilter = m_wsFilter.c_str();
		open.lpstrFile = wszFile;
		open.nMaxFile = DWORD(std::size(wszFile));
		open.lpstrTitle = m_wsTitle.c_str();
		open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
		if (GetOpenFileNameW(&open))
		{
			sAnswer = narrow(wszFile);
			return Answer::Chosen;
		}
		if (CommDlgExtendedError() == 0)
			return Answer::Cancelled;
		sAnswer = "The file dialog could not open: drop a WAV file on the panel instead";
		return Answer::Failed;
	}

private:
	HWND m_hOwner;
	std::wstring m_wsTitle;
	std::wstring m_wsFilter;
	bool m_bAsked = false;
};

} // namespace

std::unique_ptr<IPlatformFileDialog> openFileDialog(IPlatformWindow* pOwner, const char* szTitle,
                                                    const char* szFilterName, const char* szExtension)
{
	auto* pWindow = dynamic_cast<win32::Win32Window*>(pOwner);
	// Names and patterns, each ended by a NUL, the list by another; the
	// system matches the pattern in any case.
	std::wstring wsFilter = wide(szFilterName);
	wsFilter += L'\0';
	wsFilter += L"*." + wide(szExtension);
	wsFilter += L'\0';
	return std::make_unique<Win32FileDialog>(pWindow ? pWindow->handle() : nullptr, wide(szTitle), wsFilter);
}

} // namespace brontal::gui
