// The Windows back end of the widget layer's platform interface.
#include "win32window.h"

#include "pluginterfaces/gui/iplugview.h"

namespace brontal::gui {

namespace {

// SetTimer on a message-only window of our own: it ticks on the thread that
// made it, the user-interface thread, through whatever message loop runs
// there (the host's, or a dialog's).
class Win32Timer : public IPlatformTimer, public win32::IMessageTarget
{
public:
	Win32Timer(uint32_t uPeriodMs, std::function<void()> callback)
	: m_callback(std::move(callback)), m_window(*this, 0, HWND_MESSAGE, 0, 0, 0, 0)
	{
		if (m_window.handle())
			SetTimer(m_window.handle(), kTimerId, uPeriodMs, nullptr);
	}
	~Win32Timer() override
	{
		if (m_window.handle())
			KillTimer(m_window.handle(), kTimerId);
	}

	bool isRunning() const { return m_window.handle() != nullptr; }

	bool handleMessage(HWND, UINT uMessage, WPARAM wParam, LPARAM, LRESULT& result) override
	{
		if (uMessage != WM_TIMER || wParam != kTimerId)
			return false;
		// Copied: the callback may destroy this timer.
		if (auto callback = m_callback)
			callback();
		result = 0;
		return true;
	}

private:
	static constexpr UINT_PTR kTimerId = 1;

	std::function<void()> m_callback;
	win32::MessageWindow m_window;
};

} // namespace

const char* platformWindowType()
{
	return Steinberg::kPlatformTypeHWND;
}

std::unique_ptr<IPlatformWindow> createPlatformWindow(void* pParent, Steinberg::FUnknown*, const CRect& size,
                                                      IPlatformFrameCallback& callback)
{
	HWND hParent = static_cast<HWND>(pParent);
	if (!hParent || !IsWindow(hParent))
		return nullptr;
	auto pWindow = std::make_unique<win32::Win32Window>(hParent, size, callback);
	if (!pWindow->handle())
		return nullptr;
	return pWindow;
}

std::unique_ptr<IPlatformTimer> createPlatformTimer(Steinberg::FUnknown*, uint32_t uPeriodMs,
                                                    std::function<void()> callback)
{
	auto pTimer = std::make_unique<Win32Timer>(uPeriodMs, std::move(callback));
	if (!pTimer->isRunning())
		return nullptr;
	return pTimer;
}

} // namespace brontal::gui
