// The About box on Windows: the module's dialog template run modally with
// DialogBoxParamW, owned by the host's window.
#include "aboutdialog.h"

#include "win32window.h"

namespace brontal {

namespace {

// Posted to our helper window to open the dialog from the message loop,
// after the editor's mouse handling has returned.
constexpr UINT kMsgRun = WM_APP + 1;

// What a running dialog shares with its opener; it outlives the opener when
// the editor closes while the dialog is up.
struct DialogRun
{
	std::function<void()> onClosed;
	HWND hDialog = nullptr;
	bool bFinished = false;
	bool bOpenerGone = false;
};

// The parent of the editor's window is the host's window holding it; when
// that is missing, the host's top-level window, never the desktop.
HWND ownerFor(HWND hFrameWindow)
{
	HWND hParent = GetParent(hFrameWindow);
	if (hParent && IsWindow(hParent))
		return hParent;
	return GetAncestor(hFrameWindow, GA_ROOT);
}

void centre(HWND hDialog)
{
	RECT dialog;
	GetWindowRect(hDialog, &dialog);
	HWND hOwner = GetParent(hDialog);
	RECT owner;
	GetWindowRect(hOwner ? hOwner : GetDesktopWindow(), &owner);
	const int iWidth = int(dialog.right - dialog.left);
	const int iHeight = int(dialog.bottom - dialog.top);
	const gui::CPoint where =
	    centreOnOwner({int(owner.left), int(owner.top), int(owner.right), int(owner.bottom)}, iWidth, iHeight);
	MoveWindow(hDialog, where.x, where.y, iWidth, iHeight, FALSE);
}

INT_PTR CALLBACK dialogProc(HWND hDialog, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
	switch (uMessage)
	{
		case WM_INITDIALOG:
			reinterpret_cast<DialogRun*>(lParam)->hDialog = hDialog;
			SendMessageA(GetDlgItem(hDialog, IDC_VERSION_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kAboutVersionLine));
			SendMessageA(GetDlgItem(hDialog, IDC_INFO_TEXT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kAboutInfoText));
			centre(hDialog);
			return TRUE;
		case WM_COMMAND:
			if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
			{
				EndDialog(hDialog, LOWORD(wParam));
				return TRUE;
			}
			return FALSE;
		default:
			return FALSE;
	}
}

class Win32AboutDialog : public AboutDialog, public win32::IMessageTarget
{
public:
	Win32AboutDialog(HWND hFrameWindow, std::function<void()> onClosed)
	: m_hFrameWindow(hFrameWindow), m_pRun(std::make_shared<DialogRun>()),
	  m_helper(*this, 0, HWND_MESSAGE, 0, 0, 0, 0)
	{
		m_pRun->onClosed = std::move(onClosed);
		if (!m_helper.handle() || !PostMessageW(m_helper.handle(), kMsgRun, 0, 0))
			m_pRun->bFinished = true;
	}

	~Win32AboutDialog() override
	{
		m_pRun->bOpenerGone = true;
		if (m_pRun->hDialog)
			EndDialog(m_pRun->hDialog, IDCANCEL);
	}

	bool isOpen() const override { return !m_pRun->bFinished; }

	bool handleMessage(HWND, UINT uMessage, WPARAM, LPARAM, LRESULT& result) override
	{
		if (uMessage != kMsgRun)
			return false;
		result = 0;
		// Only locals from here: the editor may close, destroying this
		// object, while the dialog runs.
		const std::shared_ptr<DialogRun> pRun = m_pRun;
		HWND hOwner = IsWindow(m_hFrameWindow) ? ownerFor(m_hFrameWindow) : nullptr;
		if (hOwner)
			DialogBoxParamW(win32::moduleInstance(), MAKEINTRESOURCEW(IDD_ABOUT), hOwner, dialogProc,
			                reinterpret_cast<LPARAM>(pRun.get()));
		pRun->hDialog = nullptr;
		pRun->bFinished = true;
		if (!pRun->bOpenerGone && pRun->onClosed)
			pRun->onClosed();
		return true;
	}

private:
	HWND m_hFrameWindow;
	std::shared_ptr<DialogRun> m_pRun;
	win32::MessageWindow m_helper;
};

} // namespace

std::unique_ptr<AboutDialog> AboutDialog::open(gui::IPlatformWindow& owner, std::function<void()> onClosed)
{
	auto* pWindow = dynamic_cast<win32::Win32Window*>(&owner);
	if (!pWindow || !pWindow->handle())
		return nullptr;
	auto pDialog = std::make_unique<Win32AboutDialog>(pWindow->handle(), std::move(onClosed));
	if (!pDialog->isOpen())
		return nullptr;
	return pDialog;
}

} // namespace brontal
