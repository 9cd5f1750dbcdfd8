#pragma once
#include <X11/Xlib.h>

#include <map>
#include <memory>

namespace Steinberg {
class FUnknown;
namespace Linux {
class IRunLoop;
}
} // namespace Steinberg

namespace brontal::x11 {

// A window's share of the connection's event stream.
class IEventTarget
{
public:
	virtual ~IEventTarget() = default;
	virtual void handleEvent(XEvent& event) = 0;
	// All pending events have been handled.
	virtual void afterEvents() {}
};

// One X connection of our own, its file descriptor watched by the host's
// run loop; events are drained there and routed to windows by id.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
	// Null without a display, or when the host offers no Linux::IRunLoop.
	static std::shared_ptr<Connection> open(Steinberg::FUnknown* pHostContext);
	~Connection();
	Connection(const Connection&) = delete;
	Connection& operator=(const Connection&) = delete;

	Display* display() const { return m_pDisplay; }
	Steinberg::Linux::IRunLoop* runLoop() const { return m_pRunLoop; }
	Atom atom(const char* szName) const { return XInternAtom(m_pDisplay, szName, False); }

	void addTarget(Window window, IEventTarget* pTarget) { m_targets[window] = pTarget; }
	void removeTarget(Window window) { m_targets.erase(window); }

	// Handles every event queued or waiting on the socket, then tells the
	// targets. Calls made while it runs return at once.
	void dispatchPending();
	// Waits until the server has handled all requests so far. Events read
	// meanwhile are handled at once, since the socket no longer signals them.
	void sync();

private:
	class FdHandler;

	Connection(Display* pDisplay, Steinberg::Linux::IRunLoop* pRunLoop);

	Display* m_pDisplay;
	Steinberg::Linux::IRunLoop* m_pRunLoop;
	FdHandler* m_pHandler;
	std::map<Window, IEventTarget*> m_targets;
	bool m_bDispatching = false;
};

} // namespace brontal::x11
