#include "win32window.h"

#include "widgets/cview.h"
#include "win32text.h"

#include <shellapi.h>
#include <windowsx.h>

#include <string>
#include <vector>

namespace brontal::win32 {

using gui::CPoint;
using gui::CRect;

namespace {

uint32_t modifierState(WPARAM wParam)
{
	uint32_t buttons = 0;
	if (wParam & MK_SHIFT)
		buttons |= gui::kShift;
	if (wParam & MK_CONTROL)
		buttons |= gui::kControl;
	return buttons;
}

CPoint pointOf(LPARAM lParam)
{
	return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

} // namespace

Win32Window::Win32Window(HWND hParent, const CRect& size, gui::IPlatformFrameCallback& callback)
: m_callback(callback),
  m_window(*this, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, hParent, size.left, size.top, size.getWidth(),
           size.getHeight())
{
	if (handle())
		DragAcceptFiles(handle(), TRUE);
}

// The files of a drop from the shell as UTF-8 paths; the drop is released.
static std::vector<std::string> droppedFiles(HDROP hDrop)
{
	std::vector<std::string> aPaths;
	const UINT uCount = DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
	for (UINT i = 0; i < uCount; ++i)
	{
		std::wstring wsPath(DragQueryFileW(hDrop, i, nullptr, 0) + 1, L'\0');
		DragQueryFileW(hDrop, i, wsPath.data(), UINT(wsPath.size()));
		wsPath.pop_back();
		aPaths.push_back(win32::narrow(std::wstring_view(wsPath)));
	}
	DragFinish(hDrop);
	return aPaths;
}

void Win32Window::paint(HDC hdc, const gui::CBitmap& image, const CRect& area)
{
	const CRect part = area.intersect(CRect::fromSize(0, 0, image.getWidth(), image.getHeight()));
	if (part.isEmpty())
		return;
	// The rows of the part as a top-down 32-bit DIB: our 0x00RRGGBB words
	// are its blue, green, red, unused bytes.
	BITMAPINFO info{};
	info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
	info.bmiHeader.biWidth = image.getWidth();
	info.bmiHeader.biHeight = -part.getHeight();
	info.bmiHeader.biPlanes = 1;
	info.bmiHeader.biBitCount = 32;
	info.bmiHeader.biCompression = BI_RGB;
	StretchDIBits(hdc, part.left, part.top, part.getWidth(), part.getHeight(), part.left, 0, part.getWidth(),
	              part.getHeight(), image.row(part.top), &info, DIB_RGB_COLORS, SRCCOPY);
}

void Win32Window::present(const gui::CBitmap& image, const CRect& area)
{
	if (m_hPaintDC)
	{
		paint(m_hPaintDC, image, area);
		return;
	}
	HWND hWnd = handle();
	if (!hWnd)
		return;
	HDC hdc = GetDC(hWnd);
	paint(hdc, image, area);
	ReleaseDC(hWnd, hdc);
}

void Win32Window::flush()
{
	GdiFlush();
}

void Win32Window::mouseDown(LPARAM lParam, WPARAM wParam, uint32_t button)
{
	// Keep the gesture when the pointer leaves the window mid-drag.
	SetCapture(handle());
	m_bButtonDown = true;
	m_callback.platformOnMouseDown(pointOf(lParam), button | modifierState(wParam), uint32_t(GetMessageTime()));
}

void Win32Window::mouseUp(LPARAM lParam, WPARAM wParam, uint32_t button)
{
	const bool bWasDragging = m_bButtonDown;
	m_bButtonDown = false;
	if (GetCapture() == handle())
		ReleaseCapture();
	if (bWasDragging)
		m_callback.platformOnMouseUp(pointOf(lParam), button | modifierState(wParam));
}

// Another window took the mouse (a dialog, a host shortcut): the gesture
// ends where nothing is, so it completes its edit but clicks nothing.
void Win32Window::endDragOnCaptureLoss()
{
	if (!m_bButtonDown)
		return;
	m_bButtonDown = false;
	m_callback.platformOnMouseUp({-1, -1}, 0);
}

bool Win32Window::handleMessage(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
	switch (uMessage)
	{
		case WM_PAINT:
		{
			// Changes still pending go to the screen first: the paint's DC
			// is clipped to the exposed area and would lose the rest.
			m_callback.platformOnIdle();
			PAINTSTRUCT paintStruct;
			m_hPaintDC = BeginPaint(hWnd, &paintStruct);
			const RECT& r = paintStruct.rcPaint;
			if (m_hPaintDC)
				m_callback.platformOnExposed({int(r.left), int(r.top), int(r.right), int(r.bottom)});
			m_hPaintDC = nullptr;
			EndPaint(hWnd, &paintStruct);
			result = 0;
			return true;
		}
		case WM_PRINTCLIENT:
		{
			// PrintWindow and friends: everything, into the DC they give.
			m_callback.platformOnIdle();
			RECT client;
			GetClientRect(hWnd, &client);
			m_hPaintDC = reinterpret_cast<HDC>(wParam);
			m_callback.platformOnExposed({0, 0, int(client.right), int(client.bottom)});
			m_hPaintDC = nullptr;
			result = 0;
			return true;
		}
		case WM_DROPFILES:
			m_callback.platformOnDrop(droppedFiles(reinterpret_cast<HDROP>(wParam)));
			break;
		case WM_ERASEBKGND:
			// Every pixel comes from the frame's image: nothing to erase, no flicker.
			result = 1;
			return true;
		case WM_LBUTTONDOWN:
		case WM_RBUTTONDOWN:
			mouseDown(lParam, wParam, uMessage == WM_LBUTTONDOWN ? gui::kLButton : gui::kRButton);
			break;
		case WM_LBUTTONUP:
		case WM_RBUTTONUP:
			mouseUp(lParam, wParam, uMessage == WM_LBUTTONUP ? gui::kLButton : gui::kRButton);
			break;
		case WM_MOUSEMOVE:
			m_callback.platformOnMouseMoved(pointOf(lParam),
			                                ((wParam & MK_LBUTTON) ? uint32_t(gui::kLButton) : 0u) | modifierState(wParam));
			break;
		case WM_CAPTURECHANGED:
			if (reinterpret_cast<HWND>(lParam) != hWnd)
				endDragOnCaptureLoss();
			result = 0;
			return true;
		case WM_MOUSEWHEEL:
		{
			// Screen coordinates; one call per whole notch, as on Linux.
			POINT where{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
			ScreenToClient(hWnd, &where);
			m_iWheelRemainder += GET_WHEEL_DELTA_WPARAM(wParam);
			const int iNotches = m_iWheelRemainder / WHEEL_DELTA;
			m_iWheelRemainder -= iNotches * WHEEL_DELTA;
			const uint32_t buttons = modifierState(GET_KEYSTATE_WPARAM(wParam));
			for (int i = 0; i < (iNotches < 0 ? -iNotches : iNotches); ++i)
				m_callback.platformOnMouseWheel({int(where.x), int(where.y)}, iNotches > 0 ? 1.f : -1.f, buttons);
			break;
		}
		default:
			return false;
	}
	// An input message has been handled: show what it changed at once.
	m_callback.platformOnIdle();
	result = 0;
	return true;
}

} // namespace brontal::win32
