// Finds the plug-in's panel on an X screen (a window of any toolkit, with
// or without a frame around it: Wine's), saves the panel and the strip
// below it as a PNG and says how many of the panel's pixels differ from
// the golden default screenshot; with a menu item's text, then clicks the
// strip's [SETTINGS] and looks for that item drawn as the menus draw it.
// For the Windows build's window under Wine's Xvfb, where no X11 window of
// ours can be asked where it is.
//   live_window_grab GOLDEN.png OUT.png STRIP_HEIGHT [MENU_TEXT]
// Status 0: found, every panel pixel the golden one's (and the menu item
// shown); 1: found, some differ; 2: not on the screen; 3: no such menu item.

#include "menutext.h"
#include "pngfile.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>


#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <chrono>

using brontal::gui::CBitmap;

namespace {

CBitmap grabScreen(Display* display)
{
	const Window root = DefaultRootWindow(display);
	XWindowAttributes size{};
	XGetWindowAttributes(display, root, &size);
	CBitmap screen(size.width, size.height);
	if (XImage* pixels = XGetImage(display, root, 0, 0, size.width, size.height, AllPlanes, ZPixmap))
	{
		for (int y = 0; y < size.height; ++y)
			for (int x = 0; x < size.width; ++x)
				screen.row(y)[x] = static_cast<uint32_t>(XGetPixel(pixels, x, y)) & 0xFFFFFF;
		XDestroyImage(pixels);
	}
	return screen;
}

long differences(const CBitmap& screen, const CBitmap& golden, int left, int top)
{
	long count = 0;
	for (int y = 0; y < golden.getHeight(); ++y)
		for (int x = 0; x < golden.getWidth(); ++x)
			count += screen.pixel(left + x, top + y) != golden.pixel(x, y);
	return count;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 4 && argc != 5)
	{
		std::fprintf(stderr, "usage: live_window_grab GOLDEN.png OUT.png STRIP_HEIGHT [MENU_TEXT]\n");
		return 2;
	}
	const std::optional<CBitmap> golden = brontal::editortest::readPng(argv[1]);
	Display* display = XOpenDisplay(nullptr);
	if (!golden || !display)
	{
		std::fprintf(stderr, "no golden image or no display\n");
		return 2;
	}
	const int strip = std::atoi(argv[3]);
	const CBitmap screen = grabScreen(display);
	// The best place: where the fewest of a sparse grid of the panel's
	// pixels differ, then all of them counted there.
	int bestX = -1, bestY = -1;
	long best = -1;
	for (int top = 0; top + golden->getHeight() + strip <= screen.getHeight(); ++top)
		for (int left = 0; left + golden->getWidth() <= screen.getWidth(); ++left)
		{
			long missed = 0;
			for (int y = 5; y < golden->getHeight() && missed <= 8; y += 97)
				for (int x = 3; x < golden->getWidth() && missed <= 8; x += 89)
					missed += screen.pixel(left + x, top + y) != golden->pixel(x, y);
			if (missed <= 8 && (best < 0 || missed < best))
				best = missed, bestX = left, bestY = top;
		}
	if (best < 0)
	{
		std::printf("the panel is not on the screen\n");
		XCloseDisplay(display);
		return 2;
	}
	const long differing = differences(screen, *golden, bestX, bestY);
	CBitmap window(golden->getWidth(), golden->getHeight() + strip);
	for (int y = 0; y < window.getHeight(); ++y)
		for (int x = 0; x < window.getWidth(); ++x)
			window.row(y)[x] = screen.pixel(bestX + x, bestY + y);
	brontal::editortest::writePng(argv[2], window);
	std::printf("panel at %d,%d: %ld of %d pixels differ\n", bestX, bestY, differing,
	            golden->getWidth() * golden->getHeight());
	bool menuShown = true;
	if (argc == 5)
	{
		// [SETTINGS]: the strip's last ten cells, 8 pixels from its right.
		XTestFakeMotionEvent(display, DefaultScreen(display), bestX + golden->getWidth() - 8 - 35,
		                     bestY + golden->getHeight() + strip / 2, 0);
		XTestFakeButtonEvent(display, 1, True, 0);
		XTestFakeButtonEvent(display, 1, False, 0);
		XFlush(display);
		menuShown = false;
		for (int i = 0; i < 50 && !menuShown; ++i)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(100));
			menuShown = brontal::livetest::findMenuText(grabScreen(display), argv[4]).x >= 0;
		}
		std::printf("menu item '%s' %s\n", argv[4], menuShown ? "shown" : "not shown");
	}
	XCloseDisplay(display);
	return differing != 0 ? 1 : menuShown ? 0 : 3;
}
