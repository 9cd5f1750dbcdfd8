#include "testplugframe.h"

#include <algorithm>
#include <poll.h>

using namespace Steinberg;

namespace brontal::editortest {

TestPlugFrame::~TestPlugFrame()
{
	for (const Handler& h : m_aHandlers)
		h.pHandler->release();
	for (const Timer& t : m_aTimers)
		t.pHandler->release();
}

tresult PLUGIN_API TestPlugFrame::resizeView(IPlugView* view, ViewRect* newSize)
{
	if (!view || !newSize)
		return kInvalidArgument;
	++m_iResizes;
	m_lastResize = *newSize;
	return view->onSize(newSize);
}

// Like real hosts, keep a reference while a handler is registered.
tresult PLUGIN_API TestPlugFrame::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd)
{
	if (!handler)
		return kInvalidArgument;
	handler->addRef();
	m_aHandlers.push_back({handler, fd});
	return kResultOk;
}

tresult PLUGIN_API TestPlugFrame::unregisterEventHandler(Linux::IEventHandler* handler)
{
	const auto it = std::find_if(m_aHandlers.begin(), m_aHandlers.end(),
	                             [handler](const Handler& h) { return h.pHandler == handler; });
	if (it == m_aHandlers.end())
		return kInvalidArgument;
	it->pHandler->release();
	m_aHandlers.erase(it);
	return kResultOk;
}

tresult PLUGIN_API TestPlugFrame::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds)
{
	if (!handler || milliseconds == 0)
		return kInvalidArgument;
	handler->addRef();
	m_aTimers.push_back({handler, milliseconds});
	return kResultOk;
}

tresult PLUGIN_API TestPlugFrame::unregisterTimer(Linux::ITimerHandler* handler)
{
	const auto it = std::find_if(m_aTimers.begin(), m_aTimers.end(),
	                             [handler](const Timer& t) { return t.pHandler == handler; });
	if (it == m_aTimers.end())
		return kInvalidArgument;
	it->pHandler->release();
	m_aTimers.erase(it);
	return kResultOk;
}

tresult PLUGIN_API TestPlugFrame::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IPlugFrame)
	QUERY_INTERFACE(queriedIid, obj, IPlugFrame::iid, IPlugFrame)
	QUERY_INTERFACE(queriedIid, obj, Linux::IRunLoop::iid, Linux::IRunLoop)
	*obj = nullptr;
	return kNoInterface;
}

void TestPlugFrame::fireTimers()
{
	// A timer may unregister itself or others while it runs.
	const std::vector<Timer> aTimers = m_aTimers;
	for (const Timer& t : aTimers)
		if (std::any_of(m_aTimers.begin(), m_aTimers.end(), [&](const Timer& o) { return o.pHandler == t.pHandler; }))
			t.pHandler->onTimer();
}

void TestPlugFrame::pump(int quietMs)
{
	for (;;)
	{
		std::vector<pollfd> aFds;
		for (const Handler& h : m_aHandlers)
			aFds.push_back({h.fd, POLLIN, 0});
		if (aFds.empty() || poll(aFds.data(), aFds.size(), quietMs) <= 0)
			return;
		const std::vector<Handler> aHandlers = m_aHandlers;
		for (std::size_t i = 0; i < aFds.size(); ++i)
			if ((aFds[i].revents & POLLIN) &&
			    std::any_of(m_aHandlers.begin(), m_aHandlers.end(),
			                [&](const Handler& h) { return h.pHandler == aHandlers[i].pHandler; }))
				aHandlers[i].pHandler->onFDIsSet(aHandlers[i].fd);
	}
}

std::vector<Linux::TimerInterval> TestPlugFrame::timerIntervals() const
{
	std::vector<Linux::TimerInterval> aIntervals;
	for (const Timer& t : m_aTimers)
		aIntervals.push_back(t.interval);
	return aIntervals;
}

} // namespace brontal::editortest
