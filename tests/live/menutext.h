#pragma once

// Finding a menu item on a screenshot by the pixels the widget layer draws
// it with: the layer's typeface, near white on the menus' dark face.

#include "widgets/ctext.h"

#include <string>

namespace brontal::livetest {

// The centre of the text's first cell, or (-1, -1) where it does not show.
inline gui::CPoint findMenuText(const gui::CBitmap& shot, const std::string& text)
{
	using namespace gui;
	const int width = CFont::lengthOf(text) * CFont::kCellWidth, height = CFont::kCellHeight;
	CBitmap pattern(width, height);
	CDrawContext context(pattern, CRect::fromSize(0, 0, width, height));
	context.fillRect(CRect::fromSize(0, 0, width, height), {20, 21, 26});
	CFont::standard().draw(context, {0, 0}, text, {232, 236, 240}, width);
	for (int y = 0; y + height <= shot.getHeight(); ++y)
		for (int x = 0; x + width <= shot.getWidth(); ++x)
		{
			bool same = true;
			for (int row = 0; row < height && same; ++row)
				for (int column = 0; column < width && same; ++column)
					same = shot.pixel(x + column, y + row) == pattern.pixel(column, row);
			if (same)
				return {x + CFont::kCellWidth / 2, y + height / 2};
		}
	return {-1, -1};
}

} // namespace brontal::livetest
