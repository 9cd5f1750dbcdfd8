#pragma once
#include "cgeometry.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brontal::gui {

// An opaque image held as top-down rows of 0x00RRGGBB pixels.
class CBitmap
{
public:
	CBitmap(int iWidth, int iHeight);

	// Decodes an uncompressed 24-bit Windows bitmap file (either row order).
	// A malformed file gives an empty bitmap rather than an exception: the
	// editor's images are compiled in and cannot go missing at run time.
	static CBitmap fromBmp(const unsigned char* pData, std::size_t uSize);
	// The same from a packed DIB (the file without its 14-byte header), as
	// Windows keeps an RT_BITMAP resource.
	static CBitmap fromDib(const unsigned char* pData, std::size_t uSize);

	int getWidth() const { return m_iWidth; }
	int getHeight() const { return m_iHeight; }
	bool isEmpty() const { return m_aPixels.empty(); }
	uint32_t pixel(int x, int y) const { return m_aPixels[std::size_t(y) * m_iWidth + x]; }
	uint32_t* row(int y) { return m_aPixels.data() + std::size_t(y) * m_iWidth; }
	const uint32_t* row(int y) const { return m_aPixels.data() + std::size_t(y) * m_iWidth; }

private:
	// pInfo: the info header; the pixels start uPixelOffset bytes after it.
	static CBitmap decode(const unsigned char* pInfo, std::size_t uSize, std::size_t uPixelOffset);

	int m_iWidth;
	int m_iHeight;
	std::vector<uint32_t> m_aPixels;
};

// Draws into a bitmap, clipped to a rectangle. Controls draw through this
// and never touch a window, so the widget layer runs without a display.
class CDrawContext
{
public:
	CDrawContext(CBitmap& target, const CRect& clip);

	void fillRect(const CRect& rect, const CColor& color);
	// Copies the part of `source` starting at `offset` into `dest`.
	void drawBitmap(const CBitmap& source, const CRect& dest, CPoint offset = {});
	// Paints `ink` into `dest` through a mask: the red channel of the part of
	// `mask` starting at `offset` says how much of the ink covers each pixel.
	void paintMask(const CBitmap& mask, const CRect& dest, CPoint offset, const CColor& ink);

private:
	// The part of dest that source (placed at dest's corner less offset)
	// covers within the clip, and where it starts in source.
	CRect sourceArea(const CBitmap& source, const CRect& dest, CPoint offset, CPoint& start) const;

	CBitmap& m_target;
	CRect m_clip;
};

} // namespace brontal::gui
