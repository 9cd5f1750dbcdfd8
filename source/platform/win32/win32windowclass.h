#pragma once
#include <windows.h>

namespace brontal::win32 {

// Receives the messages of a MessageWindow.
class IMessageTarget
{
public:
	virtual ~IMessageTarget() = default;
	// True when handled, with the answer in result. The target may destroy
	// itself and its window while handling; nothing touches either after.
	virtual bool handleMessage(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
};

// A window of the module's own class whose messages go to a target. The
// class is registered with the first such window and unregistered after the
// last: Windows keeps a DLL's classes after the DLL is unloaded, and a
// stale one would call into freed code.
class MessageWindow
{
public:
	// hParent: HWND_MESSAGE for a window that only receives messages.
	MessageWindow(IMessageTarget& target, DWORD uStyle, HWND hParent, int x, int y, int iWidth, int iHeight);
	// Destroys the window unless someone already did (a host destroying its
	// own window takes ours with it); the target hears nothing more.
	~MessageWindow();
	MessageWindow(const MessageWindow&) = delete;
	MessageWindow& operator=(const MessageWindow&) = delete;

	// Null when creation failed or once the window is destroyed.
	HWND handle() const { return m_hWnd; }

private:
	static LRESULT CALLBACK windowProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam);

	IMessageTarget& m_target;
	HWND m_hWnd = nullptr;
	bool m_bUsesClass = false;
};

// The module's instance handle, for its resources and its class.
HINSTANCE moduleInstance();

} // namespace brontal::win32
