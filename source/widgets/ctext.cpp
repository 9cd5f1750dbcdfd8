#include "ctext.h"

#include "widgetfont.h"

#include <algorithm>

namespace brontal::gui {

namespace {

constexpr char kFirst = 32, kLast = 126;

bool startsCharacter(char c)
{
	return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

} // namespace

const CFont& CFont::standard()
{
	static const CFont font(CBitmap::fromBmp(widgetfont::mono11().data, widgetfont::mono11().size));
	return font;
}

int CFont::lengthOf(const std::string& text)
{
	return static_cast<int>(std::count_if(text.begin(), text.end(), startsCharacter));
}

void CFont::draw(CDrawContext& context, CPoint origin, const std::string& text, const CColor& ink,
                 int iMaxWidth) const
{
	const int iCells = std::max(0, iMaxWidth / kCellWidth);
	const int iLength = lengthOf(text);
	const bool bCut = iLength > iCells;
	const int iShown = bCut ? std::max(0, iCells - 2) : iLength;
	const auto cell = [&](int i, char c) {
		const char glyph = c >= kFirst && c <= kLast ? c : '?';
		context.paintMask(m_atlas, CRect::fromSize(origin.x + i * kCellWidth, origin.y, kCellWidth, kCellHeight),
		                  CPoint{(glyph - kFirst) * kCellWidth, 0}, ink);
	};
	int i = 0;
	for (const char c : text)
	{
		if (!startsCharacter(c))
			continue;
		if (i == iShown)
			break;
		cell(i++, c);
	}
	if (bCut)
		for (; i < iCells; ++i)
			cell(i, '.');
}

CTextLabel::CTextLabel(const CRect& size, const Style& style, std::string text, std::function<void(int)> onClick)
    : CView(size), m_style(style), m_text(std::move(text)), m_clicked(std::move(onClick))
{
}

void CTextLabel::setText(const std::string& text)
{
	if (text != m_text)
	{
		m_text = text;
		invalid();
	}
}

void CTextLabel::setInk(const CColor& ink)
{
	if (ink.toPixel() != m_style.ink.toPixel())
	{
		m_style.ink = ink;
		invalid();
	}
}

void CTextLabel::draw(CDrawContext& context)
{
	const CRect& size = getViewSize();
	if (m_style.bFilled)
		context.fillRect(size, m_style.background);
	const int iWidth = std::min(size.getWidth(), CFont::lengthOf(m_text) * CFont::kCellWidth);
	const int x = m_style.align == Align::Centre ? size.left + (size.getWidth() - iWidth) / 2 : size.left;
	const int y = size.top + (size.getHeight() - CFont::kCellHeight) / 2;
	CFont::standard().draw(context, {x, y}, m_text, m_style.ink, size.getWidth());
}

CMouseEventResult CTextLabel::onMouseDown(CPoint where, uint32_t buttons)
{
	if (!m_clicked || !(buttons & kLButton))
		return CMouseEventResult::kMouseEventNotHandled;
	const CRect& size = getViewSize();
	m_clicked(where.x < size.left + size.getWidth() / 2 ? -1 : 1);
	return CMouseEventResult::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

} // namespace brontal::gui
