#pragma once
#include "cbitmap.h"
#include "cgeometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Steinberg {
class FUnknown;
}

// Everything the widget layer needs from the windowing system. A back end
// implements these and the two factory functions; nothing else in the
// layer knows which system it runs on.
namespace brontal::gui {

// What a platform window reports back to its frame.
class IPlatformFrameCallback
{
public:
	virtual ~IPlatformFrameCallback() = default;
	// buttons: CButtonState bits; timeMs: the event's timestamp, used only
	// to tell double-clicks apart.
	virtual void platformOnMouseDown(CPoint where, uint32_t buttons, uint32_t timeMs) = 0;
	virtual void platformOnMouseMoved(CPoint where, uint32_t buttons) = 0;
	virtual void platformOnMouseUp(CPoint where, uint32_t buttons) = 0;
	// Wheel notches: positive away from the user.
	virtual void platformOnMouseWheel(CPoint where, float fDistance, uint32_t buttons) = 0;
	// Part of the window must be shown again.
	virtual void platformOnExposed(const CRect& area) = 0;
	// A batch of events has been handled: a good moment to paint.
	virtual void platformOnIdle() = 0;
	// Files dropped on the window: UTF-8 paths.
	virtual void platformOnDrop(const std::vector<std::string>& aPaths) = 0;
};

class IPlatformWindow
{
public:
	virtual ~IPlatformWindow() = default;
	// Copies `area` of `image` (which has the window's size) to the screen.
	virtual void present(const CBitmap& image, const CRect& area) = 0;
	// Returns once everything presented so far is on the screen.
	virtual void flush() = 0;
};

// A periodic callback on the user-interface thread; stops when destroyed.
class IPlatformTimer
{
public:
	virtual ~IPlatformTimer() = default;
};

// A chooser for one file to open, beside the window it was asked from; it
// never holds up the user-interface thread, which asks it again on a timer.
class IPlatformFileDialog
{
public:
	enum class Answer
	{
		Waiting,
		Chosen,
		Cancelled,
		// No dialog could be shown; sAnswer says what to do instead.
		Failed,
	};
	virtual ~IPlatformFileDialog() = default;
	// Chosen: sAnswer is the file's UTF-8 path.
	virtual Answer poll(std::string& sAnswer) = 0;
};

// szFilterName: what the files are ("WAV files"); szExtension: theirs,
// without the dot, matched in any case.
std::unique_ptr<IPlatformFileDialog> openFileDialog(IPlatformWindow* pOwner, const char* szTitle,
                                                    const char* szFilterName, const char* szExtension);

// The VST 3 platform type of the parent windows this back end embeds in
// ("X11EmbedWindowID", "HWND").
const char* platformWindowType();

// pParent: the host's native parent window; pHostContext: the host object
// that can supply the platform's run loop (on Linux the IPlugFrame).
// Both answer null when the host offers no way to run the window.
std::unique_ptr<IPlatformWindow> createPlatformWindow(void* pParent, Steinberg::FUnknown* pHostContext,
                                                      const CRect& size, IPlatformFrameCallback& callback);
std::unique_ptr<IPlatformTimer> createPlatformTimer(Steinberg::FUnknown* pHostContext, uint32_t uPeriodMs,
                                                    std::function<void()> callback);

} // namespace brontal::gui
