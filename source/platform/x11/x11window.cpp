#include "x11window.h"

#include "widgets/cview.h"
#include "x11image.h"

namespace brontal::x11 {

using gui::CRect;

namespace {

uint32_t buttonState(unsigned int uState, unsigned int uButton)
{
	uint32_t buttons = 0;
	if (uButton == Button1)
		buttons |= gui::kLButton;
	if (uButton == Button3)
		buttons |= gui::kRButton;
	if (uState & ShiftMask)
		buttons |= gui::kShift;
	if (uState & ControlMask)
		buttons |= gui::kControl;
	return buttons;
}

} // namespace

X11Window::X11Window(std::shared_ptr<Connection> pConnection, Window parent, const CRect& size,
                     gui::IPlatformFrameCallback& callback)
: m_pConnection(std::move(pConnection)), m_callback(callback)
{
	Display* pDisplay = m_pConnection->display();
	XWindowAttributes parentAttributes;
	XGetWindowAttributes(pDisplay, parent, &parentAttributes);
	m_pVisual = parentAttributes.visual;
	m_iDepth = parentAttributes.depth;

	XSetWindowAttributes attributes{};
	// No background: every pixel comes from our image, so nothing flickers.
	attributes.background_pixmap = None;
	attributes.bit_gravity = NorthWestGravity;
	attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
	m_window = XCreateWindow(pDisplay, parent, size.left, size.top, unsigned(size.getWidth()),
	                         unsigned(size.getHeight()), 0, CopyFromParent, InputOutput, CopyFromParent,
	                         CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
	// XEmbed hosts map the client when its info says so; others show it as we map it.
	const long aXembedInfo[2] = {0, 1};
	const Atom xembedInfo = m_pConnection->atom("_XEMBED_INFO");
	XChangeProperty(pDisplay, m_window, xembedInfo, xembedInfo, 32, PropModeReplace,
	                reinterpret_cast<const unsigned char*>(aXembedInfo), 2);
	m_gc = XCreateGC(pDisplay, m_window, 0, nullptr);
	m_pConnection->addTarget(m_window, this);
	XMapWindow(pDisplay, m_window);
	m_pConnection->sync();
}

X11Window::~X11Window()
{
	Display* pDisplay = m_pConnection->display();
	m_pConnection->removeTarget(m_window);
	XFreeGC(pDisplay, m_gc);
	XDestroyWindow(pDisplay, m_window);
	XFlush(pDisplay);
}

void X11Window::present(const gui::CBitmap& image, const CRect& area)
{
	putImage(m_pConnection->display(), m_window, m_gc, m_pVisual, m_iDepth, image, area, {area.left, area.top});
}

void X11Window::flush()
{
	m_pConnection->sync();
}

void X11Window::handleEvent(XEvent& event)
{
	switch (event.type)
	{
		case Expose:
		{
			m_exposed = m_exposed.unite(CRect::fromSize(event.xexpose.x, event.xexpose.y, event.xexpose.width,
			                                            event.xexpose.height));
			if (event.xexpose.count == 0)
			{
				const CRect area = m_exposed;
				m_exposed = {};
				m_callback.platformOnExposed(area);
			}
			break;
		}
		case ButtonPress:
			// X reports wheel notches as presses of buttons 4 (up) and 5 (down).
			if (event.xbutton.button == Button4 || event.xbutton.button == Button5)
				m_callback.platformOnMouseWheel({event.xbutton.x, event.xbutton.y},
				                                event.xbutton.button == Button4 ? 1.f : -1.f,
				                                buttonState(event.xbutton.state, 0));
			else if (event.xbutton.button == Button1 || event.xbutton.button == Button3)
				m_callback.platformOnMouseDown({event.xbutton.x, event.xbutton.y},
				                               buttonState(event.xbutton.state, event.xbutton.button),
				                               uint32_t(event.xbutton.time));
			break;
		case ButtonRelease:
			if (event.xbutton.button == Button1 || event.xbutton.button == Button3)
				m_callback.platformOnMouseUp({event.xbutton.x, event.xbutton.y},
				                             buttonState(event.xbutton.state, event.xbutton.button));
			break;
		case MotionNotify:
		{
			// Only the latest of consecutive moves matters; never skip past a release.
			Display* pDisplay = m_pConnection->display();
			XEvent next;
			while (XEventsQueued(pDisplay, QueuedAlready) > 0 && (XPeekEvent(pDisplay, &next), true) &&
			       next.type == MotionNotify && next.xmotion.window == m_window)
				XNextEvent(pDisplay, &event);
			const unsigned int uState = event.xmotion.state;
			m_callback.platformOnMouseMoved({event.xmotion.x, event.xmotion.y},
			                                buttonState(uState, (uState & Button1Mask) ? Button1 : 0));
			break;
		}
		default:
			break;
	}
}

} // namespace brontal::x11
