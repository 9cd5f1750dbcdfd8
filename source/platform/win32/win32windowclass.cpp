#include "win32windowclass.h"

#include "sdkgap/moduleentry.h"

#include <mutex>

namespace brontal::win32 {

namespace {

constexpr const wchar_t* kClassName = L"BrontalWindow";

std::mutex g_classMutex;
int g_iClassUsers = 0;

bool useClass(WNDPROC pProc)
{
	std::lock_guard<std::mutex> lock(g_classMutex);
	if (g_iClassUsers == 0)
	{
		WNDCLASSEXW windowClass{};
		windowClass.cbSize = sizeof(windowClass);
		windowClass.lpfnWndProc = pProc;
		windowClass.hInstance = moduleInstance();
		windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
		windowClass.lpszClassName = kClassName;
		if (!RegisterClassExW(&windowClass))
			return false;
	}
	++g_iClassUsers;
	return true;
}

void releaseClass()
{
	std::lock_guard<std::mutex> lock(g_classMutex);
	if (g_iClassUsers > 0 && --g_iClassUsers == 0)
		UnregisterClassW(kClassName, moduleInstance());
}

} // namespace

HINSTANCE moduleInstance()
{
	return static_cast<HINSTANCE>(brontal::moduleHandle());
}

MessageWindow::MessageWindow(IMessageTarget& target, DWORD uStyle, HWND hParent, int x, int y, int iWidth,
                             int iHeight)
: m_target(target)
{
	m_bUsesClass = useClass(windowProc);
	if (!m_bUsesClass)
		return;
	// WM_NCCREATE stores this object and the handle before anything else arrives.
	CreateWindowExW(0, kClassName, L"", uStyle, x, y, iWidth, iHeight, hParent, nullptr, moduleInstance(), this);
}

MessageWindow::~MessageWindow()
{
	// The target is going: the window's last messages are not for it.
	if (m_hWnd)
	{
		SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
		DestroyWindow(m_hWnd);
	}
	if (m_bUsesClass)
		releaseClass();
}

LRESULT CALLBACK MessageWindow::windowProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
	if (uMessage == WM_NCCREATE)
	{
		auto* pWindow = static_cast<MessageWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
		pWindow->m_hWnd = hWnd;
		SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWindow));
	}
	auto* pWindow = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
	if (!pWindow)
		return DefWindowProcW(hWnd, uMessage, wParam, lParam);
	if (uMessage == WM_NCDESTROY)
	{
		SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
		pWindow->m_hWnd = nullptr;
	}
	LRESULT result = 0;
	if (pWindow->m_target.handleMessage(hWnd, uMessage, wParam, lParam, result))
		return result;
	return DefWindowProcW(hWnd, uMessage, wParam, lParam);
}

} // namespace brontal::win32
