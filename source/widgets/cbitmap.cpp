#include "cbitmap.h"

#include <algorithm>
#include <cstring>

namespace brontal::gui {

namespace {

uint32_t readLE(const unsigned char* p, int iBytes)
{
	uint32_t uValue = 0;
	for (int i = iBytes - 1; i >= 0; --i)
		uValue = (uValue << 8) | p[i];
	return uValue;
}

} // namespace

CBitmap::CBitmap(int iWidth, int iHeight)
: m_iWidth(std::max(iWidth, 0)), m_iHeight(std::max(iHeight, 0)), m_aPixels(std::size_t(m_iWidth) * m_iHeight, 0)
{
}

CBitmap CBitmap::fromBmp(const unsigned char* pData, std::size_t uSize)
{
	constexpr std::size_t kFileHeader = 14;
	if (!pData || uSize < kFileHeader || pData[0] != 'B' || pData[1] != 'M')
		return CBitmap(0, 0);
	const std::size_t uPixelOffset = readLE(pData + 10, 4);
	if (uPixelOffset < kFileHeader)
		return CBitmap(0, 0);
	return decode(pData + kFileHeader, uSize - kFileHeader, uPixelOffset - kFileHeader);
}

CBitmap CBitmap::fromDib(const unsigned char* pData, std::size_t uSize)
{
	constexpr std::size_t kMinInfoHeader = 40;
	if (!pData || uSize < kMinInfoHeader)
		return CBitmap(0, 0);
	// Pixels follow the header and the colour table, which a 24-bit image
	// only has when it names how many entries it uses.
	const std::size_t uPixelOffset = std::size_t(readLE(pData, 4)) + std::size_t(readLE(pData + 32, 4)) * 4;
	return decode(pData, uSize, uPixelOffset);
}

CBitmap CBitmap::decode(const unsigned char* pInfo, std::size_t uSize, std::size_t uPixelOffset)
{
	constexpr std::size_t kMinInfoHeader = 40;
	if (uSize < kMinInfoHeader || readLE(pInfo, 4) < kMinInfoHeader)
		return CBitmap(0, 0);
	const int32_t iWidth = int32_t(readLE(pInfo + 4, 4));
	const int32_t iRawHeight = int32_t(readLE(pInfo + 8, 4));
	const uint32_t uBitCount = readLE(pInfo + 14, 2);
	const uint32_t uCompression = readLE(pInfo + 16, 4);
	if (iWidth <= 0 || iRawHeight == 0 || iRawHeight == INT32_MIN || uBitCount != 24 || uCompression != 0)
		return CBitmap(0, 0);
	// A negative height marks top-down rows; the usual positive one bottom-up.
	const bool bTopDown = iRawHeight < 0;
	const int iHeight = bTopDown ? -iRawHeight : iRawHeight;
	const std::size_t uStride = (std::size_t(iWidth) * 3 + 3) & ~std::size_t(3);
	if (uPixelOffset > uSize || uStride * iHeight > uSize - uPixelOffset)
		return CBitmap(0, 0);

	CBitmap bitmap(iWidth, iHeight);
	for (int y = 0; y < iHeight; ++y)
	{
		const unsigned char* pSrc = pInfo + uPixelOffset + uStride * (bTopDown ? y : iHeight - 1 - y);
		uint32_t* pDst = bitmap.row(y);
		for (int x = 0; x < iWidth; ++x, pSrc += 3)
			pDst[x] = (uint32_t(pSrc[2]) << 16) | (uint32_t(pSrc[1]) << 8) | pSrc[0];
	}
	return bitmap;
}

CDrawContext::CDrawContext(CBitmap& target, const CRect& clip)
: m_target(target), m_clip(clip.intersect(CRect::fromSize(0, 0, target.getWidth(), target.getHeight())))
{
}

void CDrawContext::fillRect(const CRect& rect, const CColor& color)
{
	const CRect area = rect.intersect(m_clip);
	if (area.isEmpty())
		return;
	const uint32_t uPixel = color.toPixel();
	for (int y = area.top; y < area.bottom; ++y)
		std::fill(m_target.row(y) + area.left, m_target.row(y) + area.right, uPixel);
}

CRect CDrawContext::sourceArea(const CBitmap& source, const CRect& dest, CPoint offset, CPoint& start) const
{
	const CRect area = dest.intersect(CRect::fromSize(dest.left - offset.x, dest.top - offset.y, source.getWidth(),
	                                                  source.getHeight()))
	                       .intersect(m_clip);
	start = {area.left - dest.left + offset.x, area.top - dest.top + offset.y};
	return area;
}

void CDrawContext::drawBitmap(const CBitmap& source, const CRect& dest, CPoint offset)
{
	CPoint start;
	const CRect area = sourceArea(source, dest, offset, start);
	if (area.isEmpty())
		return;
	const std::size_t uBytes = std::size_t(area.getWidth()) * sizeof(uint32_t);
	for (int y = 0; y < area.getHeight(); ++y)
		std::memcpy(m_target.row(area.top + y) + area.left, source.row(start.y + y) + start.x, uBytes);
}

void CDrawContext::paintMask(const CBitmap& mask, const CRect& dest, CPoint offset, const CColor& ink)
{
	CPoint start;
	const CRect area = sourceArea(mask, dest, offset, start);
	if (area.isEmpty())
		return;
	const auto mix = [](uint32_t below, uint32_t above, uint32_t cover, int shift) {
		const uint32_t b = (below >> shift) & 0xFF, a = (above >> shift) & 0xFF;
		return ((b * (255 - cover) + a * cover + 127) / 255) << shift;
	};
	const uint32_t uInk = ink.toPixel();
	for (int y = 0; y < area.getHeight(); ++y)
	{
		uint32_t* pOut = m_target.row(area.top + y) + area.left;
		const uint32_t* pMask = mask.row(start.y + y) + start.x;
		for (int x = 0; x < area.getWidth(); ++x)
		{
			const uint32_t cover = (pMask[x] >> 16) & 0xFF;
			if (cover != 0)
				pOut[x] = mix(pOut[x], uInk, cover, 16) | mix(pOut[x], uInk, cover, 8) | mix(pOut[x], uInk, cover, 0);
		}
	}
}

} // namespace brontal::gui
