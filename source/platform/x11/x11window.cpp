#include "x11window.h"

#include "widgets/cview.h"
#include "x11image.h"

#include <X11/Xatom.h>

#include <array>
#include <string>
#include <vector>

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

constexpr long kXdndVersion = 5;
constexpr const char* kUriList = "text/uri-list";

int hexDigit(char c)
{
	return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The local files of a text/uri-list: file:// URIs (of no host or this
// one's "localhost"), percent-decoded; comments and other URIs left out.
std::vector<std::string> localFiles(const std::string& sList)
{
	std::vector<std::string> aPaths;
	std::size_t uStart = 0;
	while (uStart < sList.size())
	{
		std::size_t uEnd = sList.find('\n', uStart);
		if (uEnd == std::string::npos)
			uEnd = sList.size();
		std::string sLine = sList.substr(uStart, uEnd - uStart);
		uStart = uEnd + 1;
		if (!sLine.empty() && sLine.back() == '\r')
			sLine.pop_back();
		for (const char* szPrefix : {"file://localhost/", "file:///"})
		{
			const std::string sPrefix = szPrefix;
			if (sLine.compare(0, sPrefix.size(), sPrefix) != 0)
				continue;
			std::string sPath = "/";
			for (std::size_t i = sPrefix.size(); i < sLine.size(); ++i)
			{
				const int iHigh = i + 2 < sLine.size() ? hexDigit(sLine[i + 1]) : -1;
				const int iLow = i + 2 < sLine.size() ? hexDigit(sLine[i + 2]) : -1;
				if (sLine[i] == '%' && iHigh >= 0 && iLow >= 0)
				{
					sPath += char(iHigh * 16 + iLow);
					i += 2;
				}
				else
					sPath += sLine[i];
			}
			aPaths.push_back(sPath);
			break;
		}
	}
	return aPaths;
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
	// Files may be dropped here.
	const long lVersion = kXdndVersion;
	XChangeProperty(pDisplay, m_window, m_pConnection->atom("XdndAware"), XA_ATOM, 32, PropModeReplace,
	                reinterpret_cast<const unsigned char*>(&lVersion), 1);
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
		case ClientMessage:
			dndClientMessage(event.xclient);
			break;
		case SelectionNotify:
			dndSelection(event.xselection);
			break;
		default:
			break;
	}
}

void X11Window::dndReply(const char* szMessage, const std::array<long, 4>& alData)
{
	if (!m_dndSource)
		return;
	XEvent reply{};
	reply.xclient.type = ClientMessage;
	reply.xclient.window = m_dndSource;
	reply.xclient.message_type = m_pConnection->atom(szMessage);
	reply.xclient.format = 32;
	reply.xclient.data.l[0] = long(m_window);
	for (std::size_t i = 0; i < alData.size(); ++i)
		reply.xclient.data.l[i + 1] = alData[i];
	XSendEvent(m_pConnection->display(), m_dndSource, False, NoEventMask, &reply);
	XFlush(m_pConnection->display());
}

void X11Window::dndClientMessage(const XClientMessageEvent& message)
{
	const Atom type = message.message_type;
	Display* pDisplay = m_pConnection->display();
	const Atom uriList = m_pConnection->atom(kUriList);
	if (type == m_pConnection->atom("XdndEnter"))
	{
		m_dndSource = Window(message.data.l[0]);
		m_bDndOffersFiles = false;
		// Up to three types in the message, or all of them in the source's XdndTypeList.
		std::vector<Atom> aTypes{Atom(message.data.l[2]), Atom(message.data.l[3]), Atom(message.data.l[4])};
		Atom actual = 0;
		int iFormat = 0;
		unsigned long uItems = 0, uAfter = 0;
		unsigned char* pData = nullptr;
		if ((message.data.l[1] & 1) &&
		    XGetWindowProperty(pDisplay, m_dndSource, m_pConnection->atom("XdndTypeList"), 0, 256, False, XA_ATOM,
		                       &actual, &iFormat, &uItems, &uAfter, &pData) == Success &&
		    pData && iFormat == 32)
			aTypes.assign(reinterpret_cast<const Atom*>(pData), reinterpret_cast<const Atom*>(pData) + uItems);
		if (pData)
			XFree(pData);
		for (Atom offered : aTypes)
			m_bDndOffersFiles = m_bDndOffersFiles || offered == uriList;
	}
	else if (type == m_pConnection->atom("XdndPosition") && Window(message.data.l[0]) == m_dndSource)
		// Accepted or not, an empty rectangle (so every move is reported), the action.
		dndReply("XdndStatus",
		         {m_bDndOffersFiles ? 1 : 0, 0, 0, m_bDndOffersFiles ? long(m_pConnection->atom("XdndActionCopy")) : 0});
	else if (type == m_pConnection->atom("XdndLeave"))
		m_dndSource = 0;
	else if (type == m_pConnection->atom("XdndDrop") && Window(message.data.l[0]) == m_dndSource)
	{
		if (!m_bDndOffersFiles)
		{
			dndReply("XdndFinished", {0, 0, 0, 0});
			m_dndSource = 0;
			return;
		}
		XConvertSelection(pDisplay, m_pConnection->atom("XdndSelection"), uriList,
		                  m_pConnection->atom("BRONTAL_DROP"), m_window, Time(message.data.l[2]));
		XFlush(pDisplay);
	}
}

void X11Window::dndSelection(const XSelectionEvent& selection)
{
	if (selection.selection != m_pConnection->atom("XdndSelection") || !m_dndSource)
		return;
	std::string sList;
	if (selection.property != 0)
	{
		Atom actual = 0;
		int iFormat = 0;
		unsigned long uItems = 0, uAfter = 0;
		unsigned char* pData = nullptr;
		if (XGetWindowProperty(m_pConnection->display(), m_window, selection.property, 0, 1 << 20, True,
		                       AnyPropertyType, &actual, &iFormat, &uItems, &uAfter, &pData) == Success &&
		    pData && iFormat == 8)
			sList.assign(reinterpret_cast<const char*>(pData), uItems);
		if (pData)
			XFree(pData);
	}
	const std::vector<std::string> aPaths = localFiles(sList);
	// Taken or not, and the action done.
	dndReply("XdndFinished",
	         {aPaths.empty() ? 0 : 1, aPaths.empty() ? 0 : long(m_pConnection->atom("XdndActionCopy")), 0, 0});
	m_dndSource = 0;
	if (!aPaths.empty())
		m_callback.platformOnDrop(aPaths);
}

} // namespace brontal::x11
