#pragma once

// The application's window: the plug-in's own editor (IPlugView) embedded,
// and the run loop the editor asks its frame for. One back end per window
// system (x11/); the application sees only this.

#include "pluginterfaces/gui/iplugview.h"
#include "widgets/cbitmap.h"

#include <memory>
#include <string>

namespace brontal::live {

class LiveWindow
{
public:
	virtual ~LiveWindow() = default;
	// Opens a window holding the view with room for a strip of
	// stripHeight pixels below it; false (with the reason in why) when there
	// is no display to open it on.
	virtual bool open(Steinberg::IPlugView& view, int stripHeight, const std::string& title, std::string& why) = 0;
	// The native window the strip goes in, and the host context whose run
	// loop serves it (the editor's frame).
	virtual void* stripParent() = 0;
	virtual Steinberg::FUnknown* hostContext() = 0;
	// A child window over the whole window, above the editor and the strip,
	// for a frame of the application's own that needs more room than the
	// strip (its menus); hidden until shown.
	virtual void* overlayParent() = 0;
	// Shows the overlay, first copying what the window shows into beneath
	// (resized to the whole window) for the frame to draw back under its
	// menu; or, without beneath, hides it.
	virtual void showOverlay(gui::CBitmap* beneath) = 0;
	virtual void setTitle(const std::string& title) = 0;
	// Serves the window and the editor's timers and descriptors for about
	// milliseconds; false once the player has closed the window.
	virtual bool serve(int milliseconds) = 0;
	// Detaches the view and closes the window.
	virtual void close() = 0;
};

std::unique_ptr<LiveWindow> createLiveWindow();

} // namespace brontal::live
