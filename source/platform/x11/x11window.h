#pragma once
#include "widgets/platform.h"
#include "x11connection.h"

#include <array>


namespace brontal::x11 {

// The editor's child window inside the host's parent window.
class X11Window : public gui::IPlatformWindow, public IEventTarget
{
public:
	X11Window(std::shared_ptr<Connection> pConnection, Window parent, const gui::CRect& size,
	          gui::IPlatformFrameCallback& callback);
	~X11Window() override;

	const std::shared_ptr<Connection>& connection() const { return m_pConnection; }
	Window window() const { return m_window; }

	void present(const gui::CBitmap& image, const gui::CRect& area) override;
	void flush() override;

	void handleEvent(XEvent& event) override;
	void afterEvents() override { m_callback.platformOnIdle(); }

private:
	// Drag and drop (XDND): a source offers text/uri-list, we fetch it on the drop.
	void dndClientMessage(const XClientMessageEvent& message);
	void dndSelection(const XSelectionEvent& selection);
	void dndReply(const char* szMessage, const std::array<long, 4>& alData);

	std::shared_ptr<Connection> m_pConnection;
	gui::IPlatformFrameCallback& m_callback;
	Window m_window = 0;
	GC m_gc = nullptr;
	Visual* m_pVisual = nullptr;
	int m_iDepth = 0;
	gui::CRect m_exposed;
	Window m_dndSource = 0;
	bool m_bDndOffersFiles = false;
};

} // namespace brontal::x11
