#include "x11image.h"

#include <X11/Xutil.h>

#include <cstdlib>

namespace brontal::x11 {

namespace {

struct Channel
{
	int iShift = 0;
	int iBits = 0;
};

Channel channelOf(unsigned long uMask)
{
	Channel channel;
	while (uMask && !(uMask & 1))
	{
		uMask >>= 1;
		++channel.iShift;
	}
	while (uMask & 1)
	{
		uMask >>= 1;
		++channel.iBits;
	}
	return channel;
}

bool hostIsLittleEndian()
{
	const uint16_t uProbe = 1;
	return *reinterpret_cast<const unsigned char*>(&uProbe) == 1;
}

// The common 24-bit true-colour layout stores our 0x00RRGGBB words as they are.
bool storesPixelsDirectly(Visual* pVisual, int iDepth)
{
	return pVisual->c_class == TrueColor && (iDepth == 24 || iDepth == 32) && pVisual->red_mask == 0xff0000 &&
	       pVisual->green_mask == 0xff00 && pVisual->blue_mask == 0xff;
}

} // namespace

void putImage(Display* pDisplay, Drawable drawable, GC gc, Visual* pVisual, int iDepth, const gui::CBitmap& image,
              const gui::CRect& area, gui::CPoint dest)
{
	const gui::CRect part = area.intersect(gui::CRect::fromSize(0, 0, image.getWidth(), image.getHeight()));
	if (part.isEmpty())
		return;
	const int iOffsetX = dest.x - area.left;
	const int iOffsetY = dest.y - area.top;
	if (storesPixelsDirectly(pVisual, iDepth))
	{
		// Borrow the pixels for the request; XPutImage only reads them.
		XImage* pImage = XCreateImage(pDisplay, pVisual, unsigned(iDepth), ZPixmap, 0,
		                              reinterpret_cast<char*>(const_cast<uint32_t*>(image.row(0))),
		                              unsigned(image.getWidth()), unsigned(image.getHeight()), 32,
		                              image.getWidth() * 4);
		if (!pImage)
			return;
		const bool bUsable =
		    pImage->bits_per_pixel == 32 && (pImage->byte_order == LSBFirst) == hostIsLittleEndian();
		if (bUsable)
			XPutImage(pDisplay, drawable, gc, pImage, part.left, part.top, part.left + iOffsetX,
			          part.top + iOffsetY, unsigned(part.getWidth()), unsigned(part.getHeight()));
		pImage->data = nullptr;
		XDestroyImage(pImage);
		if (bUsable)
			return;
	}
	// Any other layout: convert pixel by pixel through the channel masks.
	XImage* pImage = XCreateImage(pDisplay, pVisual, unsigned(iDepth), ZPixmap, 0, nullptr,
	                              unsigned(part.getWidth()), unsigned(part.getHeight()), 32, 0);
	if (!pImage)
		return;
	pImage->data = static_cast<char*>(std::malloc(std::size_t(pImage->bytes_per_line) * part.getHeight()));
	const Channel aChannels[3] = {channelOf(pVisual->red_mask), channelOf(pVisual->green_mask),
	                              channelOf(pVisual->blue_mask)};
	for (int y = 0; y < part.getHeight(); ++y)
	{
		const uint32_t* pRow = image.row(part.top + y) + part.left;
		for (int x = 0; x < part.getWidth(); ++x)
		{
			unsigned long uPixel = 0;
			for (int c = 0; c < 3; ++c)
			{
				const unsigned long uValue = (pRow[x] >> (16 - 8 * c)) & 0xff;
				const int iBits = aChannels[c].iBits;
				uPixel |= (iBits >= 8 ? uValue << (iBits - 8) : uValue >> (8 - iBits)) << aChannels[c].iShift;
			}
			XPutPixel(pImage, x, y, uPixel);
		}
	}
	XPutImage(pDisplay, drawable, gc, pImage, 0, 0, part.left + iOffsetX, part.top + iOffsetY,
	          unsigned(part.getWidth()), unsigned(part.getHeight()));
	XDestroyImage(pImage);
}

} // namespace brontal::x11
