#include "testhost.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

using namespace Steinberg;

namespace brontal::wintest {

namespace {

constexpr const wchar_t* kTopClass = L"BrontalTestHost";
constexpr const wchar_t* kContainerClass = L"BrontalTestContainer";
constexpr const wchar_t* kTasksClass = L"BrontalTestTasks";
constexpr UINT kMsgTask = WM_APP + 7;

LRESULT CALLBACK tasksProc(HWND hWnd, UINT uMessage, WPARAM wParam, LPARAM lParam)
{
	if (uMessage != kMsgTask)
		return DefWindowProcW(hWnd, uMessage, wParam, lParam);
	std::unique_ptr<std::function<void()>> pTask(reinterpret_cast<std::function<void()>*>(lParam));
	(*pTask)();
	return 0;
}

void registerClasses()
{
	static bool bDone = false;
	if (bDone)
		return;
	bDone = true;
	WNDCLASSEXW windowClass{};
	windowClass.cbSize = sizeof(windowClass);
	windowClass.lpfnWndProc = DefWindowProcW;
	windowClass.hInstance = GetModuleHandleW(nullptr);
	windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
	windowClass.hbrBackground = CreateSolidBrush(RGB(40, 40, 40));
	windowClass.lpszClassName = kTopClass;
	RegisterClassExW(&windowClass);
	// Magenta shows wherever the editor fails to paint.
	windowClass.hbrBackground = CreateSolidBrush(RGB(255, 0, 255));
	windowClass.lpszClassName = kContainerClass;
	RegisterClassExW(&windowClass);
	windowClass.lpfnWndProc = tasksProc;
	windowClass.hbrBackground = nullptr;
	windowClass.lpszClassName = kTasksClass;
	RegisterClassExW(&windowClass);
}

void sendMouse(DWORD uFlags, LONG iData = 0)
{
	INPUT input{};
	input.type = INPUT_MOUSE;
	input.mi.dwFlags = uFlags;
	input.mi.mouseData = DWORD(iData);
	SendInput(1, &input, sizeof(input));
}

} // namespace

TestHost::TestHost()
{
	registerClasses();
	m_hTop = CreateWindowExW(0, kTopClass, L"Brontal test host", WS_POPUP | WS_CLIPCHILDREN, kHostX, kHostY,
	                         kHostWidth, kHostHeight, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
	m_hContainer = CreateWindowExW(0, kContainerClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, kHostWidth,
	                               kHostHeight, m_hTop, nullptr, GetModuleHandleW(nullptr), nullptr);
	m_hTasks = CreateWindowExW(0, kTasksClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
	                           nullptr);
	ShowWindow(m_hTop, SW_SHOW);
	SetForegroundWindow(m_hTop);
	UpdateWindow(m_hTop);
	settle();
}

TestHost::~TestHost()
{
	DestroyWindow(m_hTasks);
	DestroyWindow(m_hTop);
	settle(0);
}

tresult PLUGIN_API TestHost::resizeView(IPlugView* view, ViewRect* newSize)
{
	if (!view || !newSize)
		return kInvalidArgument;
	++m_iResizes;
	m_lastResize = *newSize;
	return view->onSize(newSize);
}

tresult PLUGIN_API TestHost::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IPlugFrame)
	QUERY_INTERFACE(queriedIid, obj, IPlugFrame::iid, IPlugFrame)
	*obj = nullptr;
	return kNoInterface;
}

void TestHost::settle(int quietMs)
{
	for (;;)
	{
		MSG msg;
		bool bAny = false;
		while (PeekMessageW(&msg, nullptr, 0, WM_TIMER - 1, PM_REMOVE) ||
		       PeekMessageW(&msg, nullptr, WM_TIMER + 1, 0xffffffff, PM_REMOVE))
		{
			TranslateMessage(&msg);
			DispatchMessageW(&msg);
			bAny = true;
		}
		if (!bAny && MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(quietMs), QS_ALLINPUT & ~QS_TIMER) ==
		                 WAIT_TIMEOUT)
			return;
	}
}

void TestHost::tick()
{
	const DWORD uStart = GetTickCount();
	MSG msg;
	while (!PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
	{
		if (GetTickCount() - uStart > 2000)
			return;
		Sleep(5);
	}
	DispatchMessageW(&msg);
	settle();
}

void TestHost::tickAll()
{
	// All are due after a period; each fires again only a period after it
	// was taken, later than this loop runs.
	Sleep(60);
	MSG msg;
	while (PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
		DispatchMessageW(&msg);
	settle();
}

POINT TestHost::toScreen(int x, int y) const
{
	POINT point{x, y};
	ClientToScreen(m_hContainer, &point);
	return point;
}

// The cursor goes exactly there; a zero move then reports it as input.
void TestHost::moveTo(int x, int y)
{
	const POINT point = toScreen(x, y);
	SetCursorPos(point.x, point.y);
	sendMouse(MOUSEEVENTF_MOVE);
	settle();
}

void TestHost::post(std::function<void()> task) const
{
	PostMessageW(m_hTasks, kMsgTask, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(task))));
}

void TestHost::runBeside(const std::function<void()>& script)
{
	std::atomic<bool> bDone{false};
	std::thread thread([&] {
		script();
		bDone = true;
	});
	while (!bDone)
		settle(10);
	thread.join();
	settle();
}

void TestHost::mouseDown()
{
	sendMouse(MOUSEEVENTF_LEFTDOWN);
	settle();
}

void TestHost::mouseUp()
{
	sendMouse(MOUSEEVENTF_LEFTUP);
	settle();
}

void TestHost::click(int x, int y)
{
	moveTo(x, y);
	mouseDown();
	mouseUp();
}

void TestHost::doubleClick(int x, int y)
{
	moveTo(x, y);
	for (int i = 0; i < 2; ++i)
	{
		sendMouse(MOUSEEVENTF_LEFTDOWN);
		sendMouse(MOUSEEVENTF_LEFTUP);
	}
	settle();
}

void TestHost::key(WORD uVirtualKey, bool bDown)
{
	INPUT input{};
	input.type = INPUT_KEYBOARD;
	input.ki.wVk = uVirtualKey;
	input.ki.wScan = WORD(MapVirtualKeyW(uVirtualKey, MAPVK_VK_TO_VSC));
	input.ki.dwFlags = bDown ? 0 : KEYEVENTF_KEYUP;
	SendInput(1, &input, sizeof(input));
	settle();
}

gui::CBitmap TestHost::capture(HWND hWnd, bool bWholeWindow)
{
	RECT area;
	if (bWholeWindow)
	{
		GetWindowRect(hWnd, &area);
		OffsetRect(&area, -area.left, -area.top);
	}
	else
		GetClientRect(hWnd, &area);
	const int iWidth = int(area.right);
	const int iHeight = int(area.bottom);
	gui::CBitmap shot(iWidth, iHeight);
	BITMAPINFO info{};
	info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
	info.bmiHeader.biWidth = iWidth;
	info.bmiHeader.biHeight = -iHeight;
	info.bmiHeader.biPlanes = 1;
	info.bmiHeader.biBitCount = 32;
	info.bmiHeader.biCompression = BI_RGB;
	HDC hSource = bWholeWindow ? GetWindowDC(hWnd) : GetDC(hWnd);
	HDC hMemory = CreateCompatibleDC(hSource);
	void* pBits = nullptr;
	HBITMAP hDib = CreateDIBSection(hMemory, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
	HGDIOBJ hOld = SelectObject(hMemory, hDib);
	BitBlt(hMemory, 0, 0, iWidth, iHeight, hSource, 0, 0, SRCCOPY);
	GdiFlush();
	const auto* pPixels = static_cast<const uint32_t*>(pBits);
	for (int y = 0; y < iHeight; ++y)
		for (int x = 0; x < iWidth; ++x)
			shot.row(y)[x] = pPixels[std::size_t(y) * iWidth + x] & 0xffffff;
	SelectObject(hMemory, hOld);
	DeleteObject(hDib);
	DeleteDC(hMemory);
	ReleaseDC(hWnd, hSource);
	return shot;
}

std::string windowText(HWND hWnd)
{
	char szText[512] = {};
	GetWindowTextA(hWnd, szText, sizeof(szText));
	return szText;
}

std::string className(HWND hWnd)
{
	char szName[128] = {};
	GetClassNameA(hWnd, szName, sizeof(szName));
	return szName;
}

RECT windowRect(HWND hWnd)
{
	RECT rect{};
	GetWindowRect(hWnd, &rect);
	return rect;
}

} // namespace brontal::wintest
