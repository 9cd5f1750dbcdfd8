#include "livewindow.h"

#include <windows.h>

#include "platform/win32/win32text.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace brontal::live {

namespace {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kClassName[] = L"BrontalLiveWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// A top-level window of a fixed size: the editor is attached to it, the
// strip is a child window below the editor. The editor's timers are its
// own (SetTimer on this thread), so serving messages runs them.
class Win32LiveWindow : public LiveWindow, public IPlugFrame
{
public:
	~Win32LiveWindow() override { close(); }

	bool open(IPlugView& editor, int stripHeight, const std::string& title, std::string& why) override
	{
		const HINSTANCE instance = GetModuleHandleW(nullptr);
		WNDCLASSEXW windowClass = {};
		windowClass.cbSize = sizeof windowClass;
		windowClass.lpfnWndProc = onMessage;
		windowClass.hInstance = instance;
		windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
		windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
		windowClass.lpszClassName = kClassName;
		RegisterClassExW(&windowClass); // already registered by an earlier window: fine

		ViewRect size{0, 0, 1024, 768};
		editor.getSize(&size);
		const int width = std::max(size.getWidth(), 1), height = std::max(size.getHeight(), 1);
		RECT outer{0, 0, width, height + stripHeight};
		AdjustWindowRect(&outer, kStyle, FALSE);
		window = CreateWindowExW(0, kClassName, win32::wide(title).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
		                         outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, this);
		if (!window)
		{
			why = "cannot create a window";
			return false;
		}
		strip = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, height, width, std::max(stripHeight, 1),
		                        window, nullptr, instance, nullptr);
		overlay = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, width, height + stripHeight,
		                          window, nullptr, instance, nullptr);
		ShowWindow(window, SW_SHOWNORMAL);

		view = &editor;
		view->setFrame(this);
		if (view->attached(window, kPlatformTypeHWND) != kResultOk)
		{
			why = "the editor refuses the window";
			view->setFrame(nullptr);
			view = nullptr;
			close();
			return false;
		}
		UpdateWindow(window);
		return true;
	}

	void* stripParent() override { return strip; }
	void* overlayParent() override { return overlay; }

	void showOverlay(gui::CBitmap* beneath) override
	{
		if (!window)
			return;
		if (!beneath)
		{
			ShowWindow(overlay, SW_HIDE);
			return;
		}
		// What the screen shows of the client area, the children's included.
		RECT client{};
		GetClientRect(window, &client);
		POINT origin{0, 0};
		ClientToScreen(window, &origin);
		const int width = client.right, height = client.bottom;
		*beneath = gui::CBitmap(width, height);
		BITMAPINFO info = {};
		info.bmiHeader.biSize = sizeof info.bmiHeader;
		info.bmiHeader.biWidth = width;
		info.bmiHeader.biHeight = -height; // top-down rows
		info.bmiHeader.biPlanes = 1;
		info.bmiHeader.biBitCount = 32;
		info.bmiHeader.biCompression = BI_RGB;
		const HDC screen = GetDC(nullptr);
		void* bits = nullptr;
		const HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
		const HDC memory = CreateCompatibleDC(screen);
		if (dib && memory)
		{
			const HGDIOBJ previous = SelectObject(memory, dib);
			BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
			GdiFlush();
			const auto* pixels = static_cast<const std::uint32_t*>(bits);
			for (int y = 0; y < height; ++y)
				for (int x = 0; x < width; ++x)
					beneath->row(y)[x] = pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
			SelectObject(memory, previous);
		}
		if (memory)
			DeleteDC(memory);
		if (dib)
			DeleteObject(dib);
		ReleaseDC(nullptr, screen);
		SetWindowPos(overlay, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
	}
	FUnknown* hostContext() override { return static_cast<IPlugFrame*>(this); }

	void setTitle(const std::string& title) override
	{
		if (window)
			SetWindowTextW(window, win32::wide(title).c_str());
	}

	bool serve(int milliseconds) override
	{
		const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
		while (!closed)
		{
			MSG message;
			while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
			{
				TranslateMessage(&message);
				DispatchMessageW(&message);
			}
			const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
			if (left <= 0 || closed)
				break;
			MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
		}
		return !closed;
	}

	void close() override
	{
		if (view)
		{
			view->removed();
			view->setFrame(nullptr);
			view = nullptr;
		}
		if (window)
			DestroyWindow(window);
		window = nullptr;
		strip = nullptr;
		overlay = nullptr;
	}

	// IPlugFrame: the panel has one size.
	tresult PLUGIN_API resizeView(IPlugView* resized, ViewRect* newSize) override
	{
		return resized && newSize ? resized->onSize(newSize) : kInvalidArgument;
	}

	tresult PLUGIN_API queryInterface(const TUID queriedIid, void** obj) override
	{
		QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IPlugFrame)
		QUERY_INTERFACE(queriedIid, obj, IPlugFrame::iid, IPlugFrame)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef() override { return 1; }
	uint32 PLUGIN_API release() override { return 1; }

private:
	static LRESULT CALLBACK onMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
	{
		if (message == WM_NCCREATE)
			SetWindowLongPtrW(hwnd, GWLP_USERDATA,
			                  reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
		auto* self = reinterpret_cast<Win32LiveWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
		// Closing asks the application to quit; it saves, then destroys us.
		if (message == WM_CLOSE && self)
		{
			self->closed = true;
			return 0;
		}
		return DefWindowProcW(hwnd, message, wParam, lParam);
	}

	HWND window = nullptr;
	HWND strip = nullptr;
	HWND overlay = nullptr;
	IPlugView* view = nullptr;
	bool closed = false;
};

} // namespace

std::unique_ptr<LiveWindow> createLiveWindow()
{
	return std::make_unique<Win32LiveWindow>();
}

} // namespace brontal::live
