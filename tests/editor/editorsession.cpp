#include "editorsession.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <stdexcept>

using namespace Steinberg;

namespace brontal::editortest {

namespace {

int g_iXErrors = 0;

int countError(Display*, XErrorEvent*)
{
	++g_iXErrors;
	return 0;
}

} // namespace

int EditorSession::xErrors()
{
	return g_iXErrors;
}

EditorSession::EditorSession(Vst::IEditController* pController) : m_pController(pController)
{
	XSetErrorHandler(countError);
	m_pDisplay = XOpenDisplay(nullptr);
	if (!m_pDisplay)
		throw std::runtime_error("cannot open the test display");
	const int iScreen = DefaultScreen(m_pDisplay);
	// Magenta shows wherever the editor fails to paint.
	m_parent = XCreateSimpleWindow(m_pDisplay, RootWindow(m_pDisplay, iScreen), kParentX, kParentY, kParentWidth,
	                               kParentHeight, 0, 0, 0xff00ff);
	XStoreName(m_pDisplay, m_parent, "Brontal test host");
	XMapWindow(m_pDisplay, m_parent);
	XSync(m_pDisplay, False);
}

EditorSession::~EditorSession()
{
	releaseView();
	XDestroyWindow(m_pDisplay, m_parent);
	XCloseDisplay(m_pDisplay);
}

IPlugView* EditorSession::createView()
{
	releaseView();
	m_pView = m_pController->createView(Vst::ViewType::kEditor);
	return m_pView;
}

tresult EditorSession::attach()
{
	m_pView->setFrame(&m_frame);
	const tresult result = m_pView->attached(reinterpret_cast<void*>(m_parent), kPlatformTypeX11EmbedWindowID);
	settle();
	return result;
}

tresult EditorSession::remove()
{
	const tresult result = m_pView->removed();
	m_pView->setFrame(nullptr);
	settle();
	return result;
}

void EditorSession::releaseView()
{
	if (m_pView)
		m_pView->release();
	m_pView = nullptr;
}

void EditorSession::settle()
{
	XSync(m_pDisplay, False);
	m_frame.pump();
}

void EditorSession::tick()
{
	m_frame.fireTimers();
	settle();
}

void EditorSession::moveTo(int x, int y)
{
	XTestFakeMotionEvent(m_pDisplay, DefaultScreen(m_pDisplay), kParentX + x, kParentY + y, CurrentTime);
	settle();
}

void EditorSession::press()
{
	XTestFakeButtonEvent(m_pDisplay, 1, True, CurrentTime);
	settle();
}

void EditorSession::release()
{
	XTestFakeButtonEvent(m_pDisplay, 1, False, CurrentTime);
	settle();
}

void EditorSession::click(int x, int y)
{
	moveTo(x, y);
	press();
	release();
}

void EditorSession::rightClick(int x, int y)
{
	moveTo(x, y);
	XTestFakeButtonEvent(m_pDisplay, 3, True, CurrentTime);
	settle();
	XTestFakeButtonEvent(m_pDisplay, 3, False, CurrentTime);
	settle();
}

void EditorSession::wheel(int x, int y, int iNotches)
{
	moveTo(x, y);
	const unsigned int uButton = iNotches > 0 ? 4 : 5;
	for (int i = 0; i < std::abs(iNotches); ++i)
	{
		XTestFakeButtonEvent(m_pDisplay, uButton, True, CurrentTime);
		XTestFakeButtonEvent(m_pDisplay, uButton, False, CurrentTime);
	}
	settle();
}

void EditorSession::doubleClick(int x, int y)
{
	moveTo(x, y);
	for (int i = 0; i < 2; ++i)
	{
		XTestFakeButtonEvent(m_pDisplay, 1, True, CurrentTime);
		XTestFakeButtonEvent(m_pDisplay, 1, False, CurrentTime);
	}
	settle();
}

void EditorSession::key(const char* szKeySym, bool bDown)
{
	const KeyCode code = XKeysymToKeycode(m_pDisplay, XStringToKeysym(szKeySym));
	XTestFakeKeyEvent(m_pDisplay, code, bDown ? True : False, CurrentTime);
	settle();
}

gui::CBitmap EditorSession::screenshot()
{
	XSync(m_pDisplay, False);
	XImage* pImage = XGetImage(m_pDisplay, m_parent, 0, 0, kParentWidth, kParentHeight, AllPlanes, ZPixmap);
	if (!pImage)
		throw std::runtime_error("XGetImage failed");
	// The server runs at depth 24, whose pixels are 0xRRGGBB.
	if (pImage->red_mask != 0xff0000 || pImage->green_mask != 0xff00 || pImage->blue_mask != 0xff)
		throw std::runtime_error("unexpected visual");
	gui::CBitmap shot(kParentWidth, kParentHeight);
	for (int y = 0; y < kParentHeight; ++y)
		for (int x = 0; x < kParentWidth; ++x)
		{
			shot.row(y)[x] = uint32_t(XGetPixel(pImage, x, y) & 0xffffff);
		}
	XDestroyImage(pImage);
	return shot;
}

std::vector<Window> EditorSession::windowsTitled(const std::string& title) const
{
	std::vector<Window> aFound;
	Window root = 0;
	Window parent = 0;
	Window* pChildren = nullptr;
	unsigned int uCount = 0;
	XSync(m_pDisplay, False);
	if (!XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &parent, &pChildren, &uCount))
		return aFound;
	for (unsigned int i = 0; i < uCount; ++i)
	{
		XWindowAttributes attributes;
		char* szName = nullptr;
		if (XGetWindowAttributes(m_pDisplay, pChildren[i], &attributes) && attributes.map_state == IsViewable &&
		    XFetchName(m_pDisplay, pChildren[i], &szName) && szName)
		{
			if (title == szName)
				aFound.push_back(pChildren[i]);
		}
		if (szName)
			XFree(szName);
	}
	if (pChildren)
		XFree(pChildren);
	return aFound;
}

Window EditorSession::transientFor(Window window) const
{
	Window owner = 0;
	XGetTransientForHint(m_pDisplay, window, &owner);
	return owner;
}

std::vector<Atom> EditorSession::atomList(Window window, const char* szProperty) const
{
	std::vector<Atom> aAtoms;
	Atom type = None;
	int iFormat = 0;
	unsigned long uItems = 0;
	unsigned long uAfter = 0;
	unsigned char* pData = nullptr;
	if (XGetWindowProperty(m_pDisplay, window, XInternAtom(m_pDisplay, szProperty, False), 0, 64, False, XA_ATOM,
	                       &type, &iFormat, &uItems, &uAfter, &pData) == Success &&
	    pData && iFormat == 32)
	{
		const auto* pAtoms = reinterpret_cast<const Atom*>(pData);
		aAtoms.assign(pAtoms, pAtoms + uItems);
	}
	if (pData)
		XFree(pData);
	return aAtoms;
}

std::pair<int, int> EditorSession::screenPosition(Window window) const
{
	int x = 0;
	int y = 0;
	Window child = 0;
	XTranslateCoordinates(m_pDisplay, window, DefaultRootWindow(m_pDisplay), 0, 0, &x, &y, &child);
	return {x, y};
}

} // namespace brontal::editortest
