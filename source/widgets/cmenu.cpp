#include "cmenu.h"

#include "ctext.h"

#include <algorithm>

namespace brontal::gui {

namespace {

// The panel's dark screens and their blue rule.
constexpr CColor kFace{20, 21, 26};
constexpr CColor kRule{61, 85, 121};
constexpr CColor kInk{232, 236, 240};
constexpr CColor kHeading{110, 150, 205};
constexpr int kMark = 6;

CRect place(const CRect& bounds, CPoint anchor, int iWidth, int iHeight)
{
	const int x = std::clamp(anchor.x, bounds.left, std::max(bounds.left, bounds.right - iWidth));
	const int y = std::clamp(anchor.y, bounds.top, std::max(bounds.top, bounds.bottom - iHeight));
	return CRect::fromSize(x, y, iWidth, iHeight);
}

} // namespace

CPopupMenu::CPopupMenu(const CRect& bounds, CPoint anchor, std::vector<CMenuItem> items,
                       std::function<void(int)> onChoose)
    : CView({}), m_aItems(std::move(items)), m_chosen(std::move(onChoose))
{
	const int iItems = std::max<int>(1, static_cast<int>(m_aItems.size()));
	m_iRows = std::clamp((bounds.getHeight() - 2 * kPadding) / kRowHeight, 1, iItems);
	const int iColumns = (iItems + m_iRows - 1) / m_iRows;
	int iLongest = 0;
	for (const CMenuItem& item : m_aItems)
		iLongest = std::max(iLongest, CFont::lengthOf(item.sText));
	m_iColumnWidth = kMark + 2 * kPadding + iLongest * CFont::kCellWidth + kPadding;
	setViewSize(place(bounds, anchor, iColumns * m_iColumnWidth + kPadding,
	                  m_iRows * kRowHeight + 2 * kPadding));
}

CRect CPopupMenu::itemRect(int iItem) const
{
	const CRect& size = getViewSize();
	return CRect::fromSize(size.left + kPadding / 2 + (iItem / m_iRows) * m_iColumnWidth,
	                       size.top + kPadding + (iItem % m_iRows) * kRowHeight, m_iColumnWidth, kRowHeight);
}

int CPopupMenu::itemAt(CPoint where) const
{
	for (int i = 0; i < static_cast<int>(m_aItems.size()); ++i)
		if (m_aItems[i].bEnabled && itemRect(i).pointInside(where))
			return i;
	return -1;
}

void CPopupMenu::choose(int iItem) const
{
	if (m_chosen && iItem >= 0 && iItem < static_cast<int>(m_aItems.size()))
		m_chosen(iItem);
}

void CPopupMenu::draw(CDrawContext& context)
{
	const CRect& size = getViewSize();
	context.fillRect(size, kRule);
	context.fillRect({size.left + 1, size.top + 1, size.right - 1, size.bottom - 1}, kFace);
	for (int i = 0; i < static_cast<int>(m_aItems.size()); ++i)
	{
		const CMenuItem& item = m_aItems[i];
		const CRect row = itemRect(i);
		if (i == m_iHover)
			context.fillRect(row, kRule);
		const int yMid = row.top + row.getHeight() / 2;
		if (item.bChecked)
			context.fillRect(CRect::fromSize(row.left + kPadding, yMid - kMark / 2, kMark, kMark), kInk);
		CFont::standard().draw(context, {row.left + kMark + 2 * kPadding, yMid - CFont::kCellHeight / 2}, item.sText,
		                       item.bEnabled ? kInk : kHeading, row.getWidth() - kMark - 3 * kPadding);
	}
}

CMouseEventResult CPopupMenu::onMouseMoved(CPoint where, uint32_t)
{
	const int iHover = itemAt(where);
	if (iHover != m_iHover)
	{
		m_iHover = iHover;
		invalid();
	}
	return CMouseEventResult::kMouseEventHandled;
}

} // namespace brontal::gui
