// The file chooser on Windows: the common Open dialog, modal over the
// editor. It runs from a message posted to a helper window, never inside a
// click (the dialog takes the mouse the click holds), and its answer waits
// in a record the dialog shares with its opener: a host may close the
// editor, destroying the opener, while the dialog is up.
#include "widgets/platform.h"
#include "win32text.h"
#include "win32window.h"

#include <commdlg.h>

#include <memory>
#include <string>

namespace brontal::gui {

namespace {

constexpr UINT kMsgRun = WM_APP + 2;

struct DialogRun
{
	bool bFinished = false;
	IPlatformFileDialog::Answer answer = IPlatformFileDialog::Answer::Cancelled;
	std::string sAnswer;
};

class Win32FileDialog final : public IPlatformFileDialog, public win32::IMessageTarget
{
public:
	Win32FileDialog(HWND hOwner, std::wstring wsTitle, std::wstring wsFilter)
	: m_hOwner(hOwner), m_wsTitle(std::move(wsTitle)), m_wsFilter(std::move(wsFilter)),
	  m_pRun(std::make_shared<DialogRun>()), m_helper(*this, 0, HWND_MESSAGE, 0, 0, 0, 0)
	{
		if (!m_helper.handle() || !PostMessageW(m_helper.handle(), kMsgRun, 0, 0))
			fail(*m_pRun);
	}

	Answer poll(std::string& sAnswer) override
	{
		if (!m_pRun->bFinished)
			return Answer::Waiting;
		sAnswer = m_pRun->sAnswer;
		return m_pRun->answer;
	}

	bool handleMessage(HWND, UINT uMessage, WPARAM, LPARAM, LRESULT& result) override
	{
		if (uMessage != kMsgRun)
			return false;
		result = 0;
		// Only locals from here on.
		const std::shared_ptr<DialogRun> pRun = m_pRun;
		const std::wstring wsTitle = m_wsTitle, wsFilter = m_wsFilter;
		wchar_t wszFile[32768] = {};
		OPENFILENAMEW open{};
		open.lStructSize = sizeof open;
		open.hwndOwner = IsWindow(m_hOwner) ? m_hOwner : nullptr;
		open.lpstrFilter = wsFilter.c_str();
		open.lpstrFile = wszFile;
		open.nMaxFile = DWORD(std::size(wszFile));
		open.lpstrTitle = wsTitle.c_str();
		open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
		if (GetOpenFileNameW(&open))
		{
			pRun->sAnswer = win32::narrow(wszFile);
			pRun->answer = Answer::Chosen;
			pRun->bFinished = true;
		}
		else if (CommDlgExtendedError() == 0)
			pRun->bFinished = true;
		else
			fail(*pRun);
		return true;
	}

private:
	static void fail(DialogRun& run)
	{
		run.sAnswer = "The file dialog could not open: drop a WAV file on the panel instead";
		run.answer = Answer::Failed;
		run.bFinished = true;
	}

	HWND m_hOwner;
	std::wstring m_wsTitle;
	std::wstring m_wsFilter;
	std::shared_ptr<DialogRun> m_pRun;
	win32::MessageWindow m_helper;
};

} // namespace

std::unique_ptr<IPlatformFileDialog> openFileDialog(IPlatformWindow* pOwner, const char* szTitle,
                                                    const char* szFilterName, const char* szExtension)
{
	auto* pWindow = dynamic_cast<win32::Win32Window*>(pOwner);
	// Names and patterns, each ended by a NUL, the list by another; the
	// system matches the pattern in any case.
	std::wstring wsFilter = win32::wide(szFilterName);
	wsFilter += L'\0';
	wsFilter += L"*." + win32::wide(szExtension);
	wsFilter += L'\0';
	return std::make_unique<Win32FileDialog>(pWindow ? pWindow->handle() : nullptr, win32::wide(szTitle), wsFilter);
}

} // namespace brontal::gui
