#pragma once
#include "cview.h"

#include <functional>
#include <string>
#include <vector>

namespace brontal::gui {

struct CMenuItem
{
	std::string sText;
	bool bChecked = false;
	// A disabled item is a heading: shown, never chosen.
	bool bEnabled = true;
};

// A list of choices drawn over the frame (CFrame::popup). It takes the next
// press wherever it lands: on an item it closes and calls back with the
// item's index; anywhere else it only closes. A list taller than the frame
// runs on in further columns.
class CPopupMenu : public CView
{
public:
	static constexpr int kRowHeight = 18;
	static constexpr int kPadding = 6;

	// bounds: where the menu must stay (the frame); anchor: its wished top left.
	CPopupMenu(const CRect& bounds, CPoint anchor, std::vector<CMenuItem> items, std::function<void(int)> onChoose);

	// The item under `where`, or -1.
	int itemAt(CPoint where) const;
	// Calls back with an item from itemAt (the frame has dropped the menu by
	// then); -1 calls nothing.
	void choose(int iItem) const;

	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseMoved(CPoint where, uint32_t buttons) override;

private:
	CRect itemRect(int iItem) const;

	std::vector<CMenuItem> m_aItems;
	std::function<void(int)> m_chosen;
	int m_iRows = 1;
	int m_iColumnWidth = 0;
	int m_iHover = -1;
};

} // namespace brontal::gui
