#include "livewindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace brontal::live {

namespace {

using namespace Steinberg;
using Clock = std::chrono::steady_clock;

// A top-level X11 window that is the editor's frame and run loop: the
// editor registers its connection's descriptor and its timers here, and
// serve() runs them between the application's own work.
class X11LiveWindow : public LiveWindow, public IPlugFrame, public Linux::IRunLoop
{
public:
	~X11LiveWindow() override { close(); }

	bool open(IPlugView& editor, int stripHeight, const std::string& title, std::string& why) override
	{
		display = XOpenDisplay(nullptr);
		if (!display)
		{
			why = "cannot open the X display (DISPLAY is " + std::string(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "not set") + ")";
			return false;
		}
		ViewRect size{0, 0, 1024, 768};
		editor.getSize(&size);
		const int width = std::max(size.getWidth(), 1), height = std::max(size.getHeight(), 1);
		const int screen = DefaultScreen(display);
		window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height + stripHeight, 0,
		                             BlackPixel(display, screen), BlackPixel(display, screen));
		strip = XCreateSimpleWindow(display, window, 0, height, width, std::max(stripHeight, 1), 0,
		                            BlackPixel(display, screen), BlackPixel(display, screen));
		overlay = XCreateSimpleWindow(display, window, 0, 0, width, height + stripHeight, 0,
		                              BlackPixel(display, screen), BlackPixel(display, screen));
		XSizeHints hints{};
		hints.flags = PMinSize | PMaxSize;
		hints.min_width = hints.max_width = width;
		hints.min_height = hints.max_height = height + stripHeight;
		XSetWMNormalHints(display, window, &hints);
		XClassHint classHint{const_cast<char*>("brontal-live"), const_cast<char*>("Brontal Live")};
		XSetClassHint(display, window, &classHint);
		deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
		XSetWMProtocols(display, window, &deleteAtom, 1);
		setTitle(title);
		XMapWindow(display, strip);
		XMapWindow(display, window);
		XFlush(display);

		view = &editor;
		view->setFrame(this);
		if (view->attached(reinterpret_cast<void*>(window), kPlatformTypeX11EmbedWindowID) != kResultOk)
		{
			why = "the editor refuses the window";
			view->setFrame(nullptr);
			view = nullptr;
			close();
			return false;
		}
		return true;
	}

	void* stripParent() override { return reinterpret_cast<void*>(strip); }
	void* overlayParent() override { return reinterpret_cast<void*>(overlay); }

	void showOverlay(gui::CBitmap* beneath) override
	{
		if (!display)
			return;
		if (!beneath)
		{
			XUnmapWindow(display, overlay);
			XFlush(display);
			return;
		}
		XWindowAttributes size{};
		XGetWindowAttributes(display, window, &size);
		*beneath = gui::CBitmap(size.width, size.height);
		// The window's image holds its children's (the editor's, the strip's).
		// Part of it off the screen is an error, not a reason to quit: then
		// the menu opens over black.
		XSync(display, False);
		const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
		XImage* pixels = XGetImage(display, window, 0, 0, size.width, size.height, AllPlanes, ZPixmap);
		XSync(display, False);
		XSetErrorHandler(previous);
		if (pixels)
		{
			for (int y = 0; y < size.height; ++y)
				for (int x = 0; x < size.width; ++x)
					beneath->row(y)[x] = static_cast<std::uint32_t>(XGetPixel(pixels, x, y)) & 0xFFFFFF;
			XDestroyImage(pixels);
		}
		XMapRaised(display, overlay);
		XFlush(display);
	}
	FUnknown* hostContext() override { return static_cast<IPlugFrame*>(this); }

	void setTitle(const std::string& title) override
	{
		if (!display)
			return;
		XStoreName(display, window, title.c_str());
		const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
		XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
		                reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
		XFlush(display);
	}

	bool serve(int milliseconds) override
	{
		const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
		while (!closed)
		{
			readOurEvents();
			const auto now = Clock::now();
			fireDueTimers(now);
			if (now >= end || closed)
				break;
			auto wait = end - now;
			for (const Timer& timer : timers)
				wait = std::min(wait, std::max(timer.due - now, Clock::duration::zero()));
			std::vector<pollfd> fds{{ConnectionNumber(display), POLLIN, 0}};
			for (const Handler& handler : handlers)
				fds.push_back({handler.fd, POLLIN, 0});
			const int timeout = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count());
			if (poll(fds.data(), fds.size(), std::max(timeout, 0)) > 0)
			{
				const std::vector<Handler> ready = handlers;
				for (std::size_t i = 1; i < fds.size(); ++i)
					if ((fds[i].revents & POLLIN) && registered(ready[i - 1].handler))
						ready[i - 1].handler->onFDIsSet(ready[i - 1].fd);
			}
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
		for (const Handler& handler : handlers)
			handler.handler->release();
		handlers.clear();
		for (const Timer& timer : timers)
			timer.handler->release();
		timers.clear();
		if (display)
		{
			XDestroyWindow(display, window);
			XCloseDisplay(display);
			display = nullptr;
		}
	}

	// IPlugFrame: the panel has one size.
	tresult PLUGIN_API resizeView(IPlugView* resized, ViewRect* newSize) override
	{
		return resized && newSize ? resized->onSize(newSize) : kInvalidArgument;
	}

	// IRunLoop: references held while registered, as hosts do.
	tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) override
	{
		if (!handler)
			return kInvalidArgument;
		handler->addRef();
		handlers.push_back({handler, fd});
		return kResultOk;
	}
	tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override
	{
		const auto it = std::find_if(handlers.begin(), handlers.end(), [&](const Handler& h) { return h.handler == handler; });
		if (it == handlers.end())
			return kInvalidArgument;
		it->handler->release();
		handlers.erase(it);
		return kResultOk;
	}
	tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval interval) override
	{
		if (!handler || interval == 0)
			return kInvalidArgument;
		handler->addRef();
		const auto period = std::chrono::milliseconds(interval);
		timers.push_back({handler, period, Clock::now() + period});
		return kResultOk;
	}
	tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override
	{
		const auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.handler == handler; });
		if (it == timers.end())
			return kInvalidArgument;
		it->handler->release();
		timers.erase(it);
		return kResultOk;
	}

	tresult PLUGIN_API queryInterface(const TUID queriedIid, void** obj) override
	{
		QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IPlugFrame)
		QUERY_INTERFACE(queriedIid, obj, IPlugFrame::iid, IPlugFrame)
		QUERY_INTERFACE(queriedIid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
		*obj = nullptr;
		return kNoInterface;
	}
	uint32 PLUGIN_API addRef() override { return 1; }
	uint32 PLUGIN_API release() override { return 1; }

private:
	struct Handler
	{
		Linux::IEventHandler* handler;
		Linux::FileDescriptor fd;
	};
	struct Timer
	{
		Linux::ITimerHandler* handler;
		Clock::duration period;
		Clock::time_point due;
	};

	bool registered(Linux::IEventHandler* handler) const
	{
		return std::any_of(handlers.begin(), handlers.end(), [&](const Handler& h) { return h.handler == handler; });
	}

	void readOurEvents()
	{
		while (XPending(display))
		{
			XEvent event;
			XNextEvent(display, &event);
			if (event.type == ClientMessage && static_cast<Atom>(event.xclient.data.l[0]) == deleteAtom)
				closed = true;
		}
	}

	// A timer may unregister itself or another while it runs.
	void fireDueTimers(Clock::time_point now)
	{
		std::vector<Linux::ITimerHandler*> due;
		for (Timer& timer : timers)
			if (timer.due <= now)
			{
				due.push_back(timer.handler);
				timer.due = std::max(timer.due + timer.period, now);
			}
		for (Linux::ITimerHandler* handler : due)
			if (std::any_of(timers.begin(), timers.end(), [&](const Timer& t) { return t.handler == handler; }))
				handler->onTimer();
	}

	Display* display = nullptr;
	Window window = 0;
	Window strip = 0;
	Window overlay = 0;
	Atom deleteAtom = 0;
	IPlugView* view = nullptr;
	std::vector<Handler> handlers;
	std::vector<Timer> timers;
	bool closed = false;
};

} // namespace

std::unique_ptr<LiveWindow> createLiveWindow()
{
	return std::make_unique<X11LiveWindow>();
}

} // namespace brontal::live
