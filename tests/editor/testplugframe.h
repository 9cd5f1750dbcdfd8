#pragma once
#include "pluginterfaces/gui/iplugview.h"

#include <vector>

namespace brontal::editortest {

// The host side of an editor: IPlugFrame with the Linux run loop. Nothing
// runs by itself: the test fires the timers and pumps the descriptors, so
// every tick happens exactly when the test says.
class TestPlugFrame : public Steinberg::IPlugFrame, public Steinberg::Linux::IRunLoop
{
public:
	~TestPlugFrame();

	Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

	Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
	                                                   Steinberg::Linux::FileDescriptor fd) override;
	Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
	Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
	                                            Steinberg::Linux::TimerInterval milliseconds) override;
	Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }

	// Calls every registered timer once.
	void fireTimers();
	// Serves the registered descriptors until none has been ready for quietMs.
	void pump(int quietMs = 100);

	std::size_t handlerCount() const { return m_aHandlers.size(); }
	std::vector<Steinberg::Linux::TimerInterval> timerIntervals() const;
	int resizeCount() const { return m_iResizes; }
	const Steinberg::ViewRect& lastResize() const { return m_lastResize; }

private:
	struct Handler
	{
		Steinberg::Linux::IEventHandler* pHandler;
		Steinberg::Linux::FileDescriptor fd;
	};
	struct Timer
	{
		Steinberg::Linux::ITimerHandler* pHandler;
		Steinberg::Linux::TimerInterval interval;
	};
	std::vector<Handler> m_aHandlers;
	std::vector<Timer> m_aTimers;
	int m_iResizes = 0;
	Steinberg::ViewRect m_lastResize;
};

} // namespace brontal::editortest
