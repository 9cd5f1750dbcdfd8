// The Linux back end of the widget layer's platform interface.
#include "x11window.h"

#include "pluginterfaces/gui/iplugview.h"
#include "runloophandler.h"


namespace brontal::gui {

using namespace Steinberg;

namespace {

// The host's run loop calls this; it outlives the timer if the host holds it.
class TimerHandler final : public x11::RunLoopHandler<Linux::ITimerHandler>
{
public:
	explicit TimerHandler(std::function<void()> callback) : m_callback(std::move(callback)) {}
	void detach() { m_callback = nullptr; }

	void PLUGIN_API onTimer() override
	{
		// Copied: the callback may destroy the timer that owns this handler.
		if (auto callback = m_callback)
			callback();
	}

private:
	std::function<void()> m_callback;
};

class X11Timer : public IPlatformTimer
{
public:
	X11Timer(Linux::IRunLoop* pRunLoop, uint32_t uPeriodMs, std::function<void()> callback)
	: m_pRunLoop(pRunLoop), m_pHandler(new TimerHandler(std::move(callback)))
	{
		m_pRunLoop->registerTimer(m_pHandler, uPeriodMs);
	}
	~X11Timer() override
	{
		m_pRunLoop->unregisterTimer(m_pHandler);
		m_pHandler->detach();
		m_pHandler->release();
		m_pRunLoop->release();
	}

private:
	Linux::IRunLoop* m_pRunLoop;
	TimerHandler* m_pHandler;
};

} // namespace

const char* platformWindowType()
{
	return kPlatformTypeX11EmbedWindowID;
}

std::unique_ptr<IPlatformWindow> createPlatformWindow(void* pParent, FUnknown* pHostContext, const CRect& size,
                                                      IPlatformFrameCallback& callback)
{
	if (!pParent)
		return nullptr;
	auto pConnection = x11::Connection::open(pHostContext);
	if (!pConnection)
		return nullptr;
	return std::make_unique<x11::X11Window>(std::move(pConnection), Window(reinterpret_cast<uintptr_t>(pParent)),
	                                        size, callback);
}

std::unique_ptr<IPlatformTimer> createPlatformTimer(FUnknown* pHostContext, uint32_t uPeriodMs,
                                                    std::function<void()> callback)
{
	Linux::IRunLoop* pRunLoop = nullptr;
	if (!pHostContext ||
	    pHostContext->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&pRunLoop)) != kResultOk ||
	    !pRunLoop)
		return nullptr;
	return std::make_unique<X11Timer>(pRunLoop, uPeriodMs, std::move(callback));
}

} // namespace brontal::gui
