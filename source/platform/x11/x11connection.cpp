#include "x11connection.h"

#include "pluginterfaces/gui/iplugview.h"
#include "runloophandler.h"

#include <algorithm>
#include <vector>

namespace brontal::x11 {

using namespace Steinberg;

// The object the host's run loop holds; reference counted because the
// host may keep it a little longer than the connection lives.
class Connection::FdHandler final : public RunLoopHandler<Linux::IEventHandler>
{
public:
	explicit FdHandler(Connection* pOwner) : m_pOwner(pOwner) {}
	void detach() { m_pOwner = nullptr; }

	void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override
	{
		if (m_pOwner)
			m_pOwner->dispatchPending();
	}

private:
	Connection* m_pOwner;
};

std::shared_ptr<Connection> Connection::open(FUnknown* pHostContext)
{
	if (!pHostContext)
		return nullptr;
	Linux::IRunLoop* pRunLoop = nullptr;
	if (pHostContext->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&pRunLoop)) != kResultOk ||
	    !pRunLoop)
		return nullptr;
	Display* pDisplay = XOpenDisplay(nullptr);
	if (!pDisplay)
	{
		pRunLoop->release();
		return nullptr;
	}
	return std::shared_ptr<Connection>(new Connection(pDisplay, pRunLoop));
}

Connection::Connection(Display* pDisplay, Linux::IRunLoop* pRunLoop)
: m_pDisplay(pDisplay), m_pRunLoop(pRunLoop), m_pHandler(new FdHandler(this))
{
	m_pRunLoop->registerEventHandler(m_pHandler, ConnectionNumber(m_pDisplay));
}

Connection::~Connection()
{
	m_pRunLoop->unregisterEventHandler(m_pHandler);
	m_pHandler->detach();
	m_pHandler->release();
	m_pRunLoop->release();
	XCloseDisplay(m_pDisplay);
}

void Connection::dispatchPending()
{
	if (m_bDispatching)
		return;
	// A handler may close the editor, and with it the last other owner.
	const auto keepAlive = shared_from_this();
	m_bDispatching = true;
	// Painting in afterEvents syncs with the server, which may queue more.
	do
	{
		while (XPending(m_pDisplay) > 0)
		{
			XEvent event;
			XNextEvent(m_pDisplay, &event);
			auto it = m_targets.find(event.xany.window);
			if (it != m_targets.end())
				it->second->handleEvent(event);
		}
		// A target may remove itself while being told.
		std::vector<IEventTarget*> aTargets;
		for (const auto& entry : m_targets)
			aTargets.push_back(entry.second);
		for (IEventTarget* pTarget : aTargets)
			if (std::find_if(m_targets.begin(), m_targets.end(),
			                 [pTarget](const auto& entry) { return entry.second == pTarget; }) != m_targets.end())
				pTarget->afterEvents();
	} while (XQLength(m_pDisplay) > 0);
	m_bDispatching = false;
}

void Connection::sync()
{
	XSync(m_pDisplay, False);
	if (XQLength(m_pDisplay) > 0)
		dispatchPending();
}

} // namespace brontal::x11
