#pragma once
// A Windows host's side of the editor: a top-level window holding a child
// window that the editor attaches to, the IPlugFrame, real input through
// SendInput, and captures of any window by its own handle.
#include "widgets/cbitmap.h"

#include "pluginterfaces/gui/iplugview.h"

#include <windows.h>

#include <functional>
#include <string>

namespace brontal::wintest {

// The host's top-level window on the screen; its client area is all of it.
constexpr int kHostX = 100;
constexpr int kHostY = 100;
constexpr int kHostWidth = 1024;
constexpr int kHostHeight = 768;

class TestHost : public Steinberg::IPlugFrame
{
public:
	TestHost();
	~TestHost();
	TestHost(const TestHost&) = delete;
	TestHost& operator=(const TestHost&) = delete;

	HWND topLevel() const { return m_hTop; }
	// The window the editor is attached to.
	HWND container() const { return m_hContainer; }
	// The editor's own window, once attached.
	HWND editorWindow() const { return GetWindow(m_hContainer, GW_CHILD); }

	Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;
	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }
	int resizeCount() const { return m_iResizes; }
	const Steinberg::ViewRect& lastResize() const { return m_lastResize; }

	// Handles every message of this thread except timer ticks until none
	// has arrived for quietMs.
	static void settle(int quietMs = 60);
	// Waits for the next timer tick of this thread, handles exactly it,
	// then settles.
	static void tick();
	// Lets every timer of this thread (50 ms or shorter) tick exactly once,
	// then settles.
	static void tickAll();

	// Real input at client coordinates of the container (the editor's).
	void moveTo(int x, int y);
	void click(int x, int y);
	void doubleClick(int x, int y);
	static void mouseDown();
	static void mouseUp();
	static void key(WORD uVirtualKey, bool bDown);
	// Screen coordinates of a container point.
	POINT toScreen(int x, int y) const;

	// Runs a task on this (the user-interface) thread from any thread, in
	// whatever message loop runs there: a modal dialog's included.
	void post(std::function<void()> task) const;
	// Runs the script on a second thread while this thread handles its
	// messages, until the script returns. Scripts that wait for a modal
	// dialog of this thread need that.
	static void runBeside(const std::function<void()>& script);

	// A window's pixels (0x00RRGGBB) read from its own DC: the client area,
	// or the whole window with its frame (which under Wine without a window
	// manager nobody draws).
	static gui::CBitmap capture(HWND hWnd, bool bWholeWindow = false);

private:
	HWND m_hTop = nullptr;
	HWND m_hContainer = nullptr;
	HWND m_hTasks = nullptr;
	int m_iResizes = 0;
	Steinberg::ViewRect m_lastResize;
};

// Text and rectangle of a window, as tests read them.
std::string windowText(HWND hWnd);
std::string className(HWND hWnd);
RECT windowRect(HWND hWnd);

} // namespace brontal::wintest
