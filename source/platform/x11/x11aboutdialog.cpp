// The About box on Linux: a transient X window on the editor's connection.
#include "aboutdialog.h"

#include "brontalart.h"
#include "platform/x11/aboutlayout.h"
#include "x11image.h"
#include "x11window.h"

#include <X11/Xatom.h>
#include <X11/Xft/Xft.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <png.h>

#include <string>
#include <vector>

namespace brontal {

namespace {

using gui::CRect;
using x11::kAboutHeight;
using x11::kAboutIconRect;
using x11::kAboutInfoRect;
using x11::kAboutOkRect;
using x11::kAboutWidth;

constexpr unsigned long kBackground = 0xf0f0f0;

XftFont* openFont(Display* pDisplay, int iPixels)
{
	return XftFontOpenName(pDisplay, DefaultScreen(pDisplay), x11::aboutFontPattern(iPixels).c_str());
}

x11::AboutTextExtent measureText(Display* pDisplay, XftFont* pFont, const std::string& text)
{
	XGlyphInfo extents{};
	XftTextExtentsUtf8(pDisplay, pFont, reinterpret_cast<const FcChar8*>(text.data()), int(text.size()), &extents);
	// The ink starts x pixels left of the pen and is width wide; the pen moves on by xOff.
	return {std::min(0, -extents.x), std::max(int(extents.xOff), extents.width - extents.x), pFont->ascent,
	        pFont->descent};
}

// 0xAARRGGBB pixels, top-down; empty when the file does not decode.
struct ArgbImage
{
	int iWidth = 0;
	int iHeight = 0;
	std::vector<uint32_t> aPixels;
};

ArgbImage decodePng(const Blob& blob)
{
	ArgbImage result;
	png_image image{};
	image.version = PNG_IMAGE_VERSION;
	if (!blob.data || !png_image_begin_read_from_memory(&image, blob.data, blob.size))
		return result;
	image.format = PNG_FORMAT_BGRA;
	std::vector<uint32_t> aPixels(std::size_t(image.width) * image.height);
	// BGRA bytes are 0xAARRGGBB words on a little-endian host, the layout
	// of both _NET_WM_ICON and our pixel buffers.
	if (!png_image_finish_read(&image, nullptr, aPixels.data(), 0, nullptr))
	{
		png_image_free(&image);
		return result;
	}
	result.iWidth = int(image.width);
	result.iHeight = int(image.height);
	result.aPixels = std::move(aPixels);
	return result;
}

// The icon blended over the dialog's background.
gui::CBitmap iconOnBackground(const ArgbImage& icon)
{
	gui::CBitmap bitmap(icon.iWidth, icon.iHeight);
	for (int y = 0; y < icon.iHeight; ++y)
		for (int x = 0; x < icon.iWidth; ++x)
		{
			const uint32_t uArgb = icon.aPixels[std::size_t(y) * icon.iWidth + x];
			const uint32_t uAlpha = uArgb >> 24;
			uint32_t uPixel = 0;
			for (int iShift = 0; iShift <= 16; iShift += 8)
			{
				const uint32_t uFore = (uArgb >> iShift) & 0xff;
				const uint32_t uBack = (kBackground >> iShift) & 0xff;
				uPixel |= ((uFore * uAlpha + uBack * (255 - uAlpha) + 127) / 255) << iShift;
			}
			bitmap.row(y)[x] = uPixel;
		}
	return bitmap;
}

class X11AboutDialog : public AboutDialog, public x11::IEventTarget
{
public:
	X11AboutDialog(std::shared_ptr<x11::Connection> pConnection, Window owner, std::function<void()> onClosed);
	~X11AboutDialog() override { destroy(); }

	bool isOpen() const override { return m_window != 0; }
	void handleEvent(XEvent& event) override;

private:
	Window findOwnerTopLevel(Window window) const;
	void setProperties(Window transientFor);
	void openFonts();
	void draw();
	void drawText(XftFont* pFont, int x, int iBaseline, const std::string& text);
	void destroy();
	void closeByUser();

	std::shared_ptr<x11::Connection> m_pConnection;
	Display* m_pDisplay;
	std::function<void()> m_onClosed;
	Window m_window = 0;
	Visual* m_pVisual = nullptr;
	Colormap m_colormap = 0;
	int m_iDepth = 0;
	GC m_gc = nullptr;
	XftDraw* m_pDraw = nullptr;
	// The captions' font, and each text group with the font it fits at.
	XftFont* m_pFont = nullptr;
	std::vector<std::pair<x11::AboutTextGroup, XftFont*>> m_aGroups;
	XftColor m_text{};
	XftColor m_face{};
	XftColor m_white{};
	XftColor m_border{};
	XftColor m_accent{};
	ArgbImage m_icon;
	bool m_bOkPressed = false;
};

X11AboutDialog::X11AboutDialog(std::shared_ptr<x11::Connection> pConnection, Window owner,
                               std::function<void()> onClosed)
: m_pConnection(std::move(pConnection)), m_pDisplay(m_pConnection->display()), m_onClosed(std::move(onClosed))
{
	const int iScreen = DefaultScreen(m_pDisplay);
	const Window root = RootWindow(m_pDisplay, iScreen);
	m_pVisual = DefaultVisual(m_pDisplay, iScreen);
	m_colormap = DefaultColormap(m_pDisplay, iScreen);
	m_iDepth = DefaultDepth(m_pDisplay, iScreen);

	const Window transientFor = findOwnerTopLevel(owner);
	XWindowAttributes ownerAttributes;
	XGetWindowAttributes(m_pDisplay, transientFor, &ownerAttributes);
	int iOwnerX = 0;
	int iOwnerY = 0;
	Window child;
	XTranslateCoordinates(m_pDisplay, transientFor, root, 0, 0, &iOwnerX, &iOwnerY, &child);
	const gui::CPoint where = centreOnOwner(CRect::fromSize(iOwnerX, iOwnerY, ownerAttributes.width,
	                                                        ownerAttributes.height),
	                                        kAboutWidth, kAboutHeight);

	const auto allocColor = [this](XftColor& color, unsigned long uRgb) {
		XRenderColor render{};
		render.red = uint16_t(((uRgb >> 16) & 0xff) * 0x101);
		render.green = uint16_t(((uRgb >> 8) & 0xff) * 0x101);
		render.blue = uint16_t((uRgb & 0xff) * 0x101);
		render.alpha = 0xffff;
		XftColorAllocValue(m_pDisplay, m_pVisual, m_colormap, &render, &color);
	};
	allocColor(m_text, 0x000000);
	allocColor(m_face, kBackground);
	allocColor(m_white, 0xffffff);
	allocColor(m_border, 0x7a7a7a);
	allocColor(m_accent, 0x0078d7);

	XSetWindowAttributes attributes{};
	attributes.background_pixel = m_face.pixel;
	attributes.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
	m_window = XCreateWindow(m_pDisplay, root, where.x, where.y, kAboutWidth, kAboutHeight, 0, m_iDepth,
	                         InputOutput, m_pVisual, CWBackPixel | CWEventMask, &attributes);
	m_icon = decodePng(art::icon32());
	setProperties(transientFor);
	m_gc = XCreateGC(m_pDisplay, m_window, 0, nullptr);
	m_pDraw = XftDrawCreate(m_pDisplay, m_window, m_pVisual, m_colormap);
	openFonts();
	m_pConnection->addTarget(m_window, this);
	XMapRaised(m_pDisplay, m_window);
	XFlush(m_pDisplay);
}

// The host window that holds the editor: the ancestor a window manager
// marked as a client (WM_STATE), else the child of the root.
Window X11AboutDialog::findOwnerTopLevel(Window window) const
{
	const Atom wmState = m_pConnection->atom("WM_STATE");
	Window topLevel = window;
	Window client = 0;
	for (;;)
	{
		Window root = 0;
		Window parent = 0;
		Window* pChildren = nullptr;
		unsigned int uChildren = 0;
		if (!XQueryTree(m_pDisplay, window, &root, &parent, &pChildren, &uChildren))
			break;
		if (pChildren)
			XFree(pChildren);
		Atom type = None;
		int iFormat = 0;
		unsigned long uItems = 0;
		unsigned long uAfter = 0;
		unsigned char* pData = nullptr;
		if (!client && XGetWindowProperty(m_pDisplay, window, wmState, 0, 0, False, AnyPropertyType, &type,
		                                  &iFormat, &uItems, &uAfter, &pData) == Success &&
		    type != None)
			client = window;
		if (pData)
			XFree(pData);
		if (parent == root || parent == 0)
		{
			topLevel = window;
			break;
		}
		window = parent;
	}
	return client ? client : topLevel;
}

void X11AboutDialog::setProperties(Window transientFor)
{
	const Atom utf8 = m_pConnection->atom("UTF8_STRING");
	XStoreName(m_pDisplay, m_window, kAboutTitle);
	XChangeProperty(m_pDisplay, m_window, m_pConnection->atom("_NET_WM_NAME"), utf8, 8, PropModeReplace,
	                reinterpret_cast<const unsigned char*>(kAboutTitle), int(std::char_traits<char>::length(kAboutTitle)));
	XSetTransientForHint(m_pDisplay, m_window, transientFor);

	const Atom dialogType = m_pConnection->atom("_NET_WM_WINDOW_TYPE_DIALOG");
	XChangeProperty(m_pDisplay, m_window, m_pConnection->atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
	                reinterpret_cast<const unsigned char*>(&dialogType), 1);
	const Atom modal = m_pConnection->atom("_NET_WM_STATE_MODAL");
	XChangeProperty(m_pDisplay, m_window, m_pConnection->atom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
	                reinterpret_cast<const unsigned char*>(&modal), 1);
	Atom deleteWindow = m_pConnection->atom("WM_DELETE_WINDOW");
	XSetWMProtocols(m_pDisplay, m_window, &deleteWindow, 1);

	// Fixed size, and the position we chose rather than one a manager picks.
	XSizeHints* pHints = XAllocSizeHints();
	pHints->flags = USPosition | PPosition | PMinSize | PMaxSize;
	pHints->min_width = pHints->max_width = kAboutWidth;
	pHints->min_height = pHints->max_height = kAboutHeight;
	XSetWMNormalHints(m_pDisplay, m_window, pHints);
	XFree(pHints);

	XClassHint classHint{const_cast<char*>("brontal"), const_cast<char*>("Brontal")};
	XSetClassHint(m_pDisplay, m_window, &classHint);

	if (!m_icon.aPixels.empty())
	{
		// _NET_WM_ICON: width, height, then ARGB pixels, each in a long.
		std::vector<unsigned long> aIcon{static_cast<unsigned long>(m_icon.iWidth),
		                                 static_cast<unsigned long>(m_icon.iHeight)};
		for (uint32_t uPixel : m_icon.aPixels)
			aIcon.push_back(uPixel);
		XChangeProperty(m_pDisplay, m_window, m_pConnection->atom("_NET_WM_ICON"), XA_CARDINAL, 32,
		                PropModeReplace, reinterpret_cast<const unsigned char*>(aIcon.data()), int(aIcon.size()));
	}
}

// Each group at the largest size that keeps all its lines inside their
// bounds with the fonts this machine has.
void X11AboutDialog::openFonts()
{
	// Xft keeps closed fonts for reuse until the display closes and frees
	// them only after the render extension has forgotten the display there;
	// the render library then keeps stale data for that address, and the
	// next connection opened at the same address sends garbage requests.
	// So closed fonts go at once, while the connection is whole.
	if (FcPattern* pDefaults = FcPatternCreate())
	{
		FcPatternAddInteger(pDefaults, XFT_MAX_UNREF_FONTS, 0);
		XftDefaultSet(m_pDisplay, pDefaults);
	}
	m_pFont = openFont(m_pDisplay, x11::kAboutTextPixels);
	const x11::AboutMeasure measure = [this](int iPixels, const std::string& text) {
		XftFont* pFont = openFont(m_pDisplay, iPixels);
		if (!pFont)
			return x11::AboutTextExtent{0, 0, 0, 0};
		const x11::AboutTextExtent extent = measureText(m_pDisplay, pFont, text);
		XftFontClose(m_pDisplay, pFont);
		return extent;
	};
	for (x11::AboutTextGroup& group : x11::aboutTextGroups())
	{
		const int iPixels = x11::fitAboutGroup(group, measure);
		m_aGroups.emplace_back(std::move(group), openFont(m_pDisplay, iPixels));
	}
}

void X11AboutDialog::drawText(XftFont* pFont, int x, int iBaseline, const std::string& text)
{
	if (!pFont)
		return;
	XftDrawStringUtf8(m_pDraw, &m_text, pFont, x, iBaseline, reinterpret_cast<const FcChar8*>(text.data()),
	                  int(text.size()));
}

void X11AboutDialog::draw()
{
	XftDrawRect(m_pDraw, &m_face, 0, 0, kAboutWidth, kAboutHeight);
	if (!m_icon.aPixels.empty())
		x11::putImage(m_pDisplay, m_window, m_gc, m_pVisual, m_iDepth, iconOnBackground(m_icon),
		              CRect::fromSize(0, 0, m_icon.iWidth, m_icon.iHeight), {kAboutIconRect.left, kAboutIconRect.top});

	// The information box: a bordered white field.
	XftDrawRect(m_pDraw, &m_border, kAboutInfoRect.left, kAboutInfoRect.top, unsigned(kAboutInfoRect.getWidth()),
	            unsigned(kAboutInfoRect.getHeight()));
	XftDrawRect(m_pDraw, &m_white, kAboutInfoRect.left + 1, kAboutInfoRect.top + 1,
	            unsigned(kAboutInfoRect.getWidth() - 2), unsigned(kAboutInfoRect.getHeight() - 2));

	// Even a font too wide at the smallest size never draws past its group's bounds.
	for (const auto& [group, pFont] : m_aGroups)
	{
		if (!pFont)
			continue;
		const CRect& bounds = group.bounds;
		XRectangle clip{short(bounds.left), short(bounds.top), ushort(bounds.getWidth()), ushort(bounds.getHeight())};
		XftDrawSetClipRectangles(m_pDraw, 0, 0, &clip, 1);
		for (const x11::AboutLine& line : group.lines)
			drawText(pFont, line.x, line.iTop + pFont->ascent, line.text);
	}
	XftDrawSetClip(m_pDraw, nullptr);

	// OK, the default button: accent border, face, centred caption.
	const int iBorder = x11::kAboutOkBorder;
	XftDrawRect(m_pDraw, &m_accent, kAboutOkRect.left, kAboutOkRect.top, unsigned(kAboutOkRect.getWidth()),
	            unsigned(kAboutOkRect.getHeight()));
	XftDrawRect(m_pDraw, &m_face, kAboutOkRect.left + iBorder, kAboutOkRect.top + iBorder,
	            unsigned(kAboutOkRect.getWidth() - 2 * iBorder), unsigned(kAboutOkRect.getHeight() - 2 * iBorder));
	if (m_pFont)
	{
		XGlyphInfo extents{};
		XftTextExtentsUtf8(m_pDisplay, m_pFont, reinterpret_cast<const FcChar8*>("OK"), 2, &extents);
		drawText(m_pFont, kAboutOkRect.left + (kAboutOkRect.getWidth() - extents.xOff) / 2,
		         kAboutOkRect.top + (kAboutOkRect.getHeight() + m_pFont->ascent - m_pFont->descent) / 2, "OK");
	}
	XFlush(m_pDisplay);
}

void X11AboutDialog::handleEvent(XEvent& event)
{
	switch (event.type)
	{
		case Expose:
			if (event.xexpose.count == 0)
				draw();
			break;
		case MapNotify:
			// Escape must reach us even where no window manager gives focus.
			XSetInputFocus(m_pDisplay, m_window, RevertToParent, CurrentTime);
			break;
		case KeyPress:
		{
			const KeySym key = XLookupKeysym(&event.xkey, 0);
			if (key == XK_Escape || key == XK_Return || key == XK_KP_Enter)
				closeByUser();
			break;
		}
		case ButtonPress:
			m_bOkPressed = event.xbutton.button == Button1 &&
			               kAboutOkRect.pointInside({event.xbutton.x, event.xbutton.y});
			break;
		case ButtonRelease:
			if (event.xbutton.button == Button1 && m_bOkPressed &&
			    kAboutOkRect.pointInside({event.xbutton.x, event.xbutton.y}))
				closeByUser();
			m_bOkPressed = false;
			break;
		case ClientMessage:
			if (event.xclient.message_type == m_pConnection->atom("WM_PROTOCOLS") &&
			    Atom(event.xclient.data.l[0]) == m_pConnection->atom("WM_DELETE_WINDOW"))
				closeByUser();
			break;
		default:
			break;
	}
}

void X11AboutDialog::destroy()
{
	if (!m_window)
		return;
	m_pConnection->removeTarget(m_window);
	if (m_pFont)
		XftFontClose(m_pDisplay, m_pFont);
	for (const auto& group : m_aGroups)
		if (group.second)
			XftFontClose(m_pDisplay, group.second);
	m_aGroups.clear();
	XftDrawDestroy(m_pDraw);
	for (XftColor* pColor : {&m_text, &m_face, &m_white, &m_border, &m_accent})
		XftColorFree(m_pDisplay, m_pVisual, m_colormap, pColor);
	XFreeGC(m_pDisplay, m_gc);
	XDestroyWindow(m_pDisplay, m_window);
	XFlush(m_pDisplay);
	m_window = 0;
	m_pFont = nullptr;
	m_pDraw = nullptr;
	m_gc = nullptr;
}

void X11AboutDialog::closeByUser()
{
	destroy();
	if (m_onClosed)
		m_onClosed();
}

} // namespace

std::unique_ptr<AboutDialog> AboutDialog::open(gui::IPlatformWindow& owner, std::function<void()> onClosed)
{
	auto* pWindow = dynamic_cast<x11::X11Window*>(&owner);
	if (!pWindow)
		return nullptr;
	return std::make_unique<X11AboutDialog>(pWindow->connection(), pWindow->window(), std::move(onClosed));
}

} // namespace brontal
