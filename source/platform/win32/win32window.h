#pragma once
#include "widgets/platform.h"
#include "win32windowclass.h"

namespace brontal::win32 {

// The editor's child window inside the host's parent window.
class Win32Window : public gui::IPlatformWindow, public IMessageTarget
{
public:
	Win32Window(HWND hParent, const gui::CRect& size, gui::IPlatformFrameCallback& callback);

	// Null when the window could not be made, or the host destroyed it.
	HWND handle() const { return m_window.handle(); }

	void present(const gui::CBitmap& image, const gui::CRect& area) override;
	void flush() override;

	bool handleMessage(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
	void paint(HDC hdc, const gui::CBitmap& image, const gui::CRect& area);
	void mouseDown(LPARAM lParam, WPARAM wParam, uint32_t button);
	void mouseUp(LPARAM lParam, WPARAM wParam, uint32_t button);
	void endDragOnCaptureLoss();

	gui::IPlatformFrameCallback& m_callback;
	// The DC of the paint in progress, which present draws into.
	HDC m_hPaintDC = nullptr;
	bool m_bButtonDown = false;
	// Wheel movement short of a whole notch, for fine-grained wheels.
	int m_iWheelRemainder = 0;
	// Last: created once everything it may report to is ready.
	MessageWindow m_window;
};

} // namespace brontal::win32
