#pragma once
#include <algorithm>
#include <cstdint>

namespace brontal::gui {

struct CPoint
{
	int x = 0;
	int y = 0;
};

// Pixel rectangle; right and bottom lie one past the last pixel.
struct CRect
{
	int left = 0;
	int top = 0;
	int right = 0;
	int bottom = 0;

	static CRect fromSize(int x, int y, int width, int height) { return {x, y, x + width, y + height}; }

	int getWidth() const { return right - left; }
	int getHeight() const { return bottom - top; }
	bool isEmpty() const { return right <= left || bottom <= top; }

	// Edges included, so a host asking about the corner pixel of the
	// outline still finds the control.
	bool hitTest(CPoint p) const { return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom; }
	bool pointInside(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }

	CRect intersect(const CRect& o) const
	{
		return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
	}
	CRect unite(const CRect& o) const
	{
		if (isEmpty())
			return o;
		if (o.isEmpty())
			return *this;
		return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right), std::max(bottom, o.bottom)};
	}
	bool overlaps(const CRect& o) const { return !intersect(o).isEmpty(); }
	bool operator==(const CRect& o) const
	{
		return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
	}
};

struct CColor
{
	uint8_t red = 0;
	uint8_t green = 0;
	uint8_t blue = 0;
	uint8_t alpha = 255;

	// The 0x00RRGGBB layout of every pixel buffer in this layer.
	uint32_t toPixel() const { return (uint32_t(red) << 16) | (uint32_t(green) << 8) | blue; }
};

} // namespace brontal::gui
