#include "cframe.h"

#include <cstdlib>

namespace brontal::gui {

CFrame::CFrame(const CRect& size) : m_size(size), m_offscreen(size.getWidth(), size.getHeight())
{
	invalid();
}

// Views go before the window, which may still report to the frame while
// it closes.
CFrame::~CFrame()
{
	m_pWindow.reset();
	m_aViews.clear();
}

bool CFrame::open(void* pParent, Steinberg::FUnknown* pHostContext)
{
	if (m_pWindow)
		return false;
	m_pWindow = createPlatformWindow(pParent, pHostContext, m_size, *this);
	if (!m_pWindow)
		return false;
	// Paint now rather than at the first expose, so the host shows a
	// complete editor as soon as attaching returns.
	invalid();
	idle();
	return true;
}

void CFrame::setBackgroundColor(const CColor& color)
{
	m_backgroundColor = color;
	invalid();
}

void CFrame::setBackground(SharedBitmap pBitmap)
{
	m_pBackground = std::move(pBitmap);
	invalid();
}

void CFrame::invalidRect(const CRect& rect)
{
	CRect area = rect.intersect(m_size);
	if (area.isEmpty())
		return;
	// Merge with every overlapping rectangle, which may then overlap others.
	for (std::size_t i = 0; i < m_aDamage.size();)
	{
		if (m_aDamage[i].overlaps(area))
		{
			area = area.unite(m_aDamage[i]);
			m_aDamage.erase(m_aDamage.begin() + std::ptrdiff_t(i));
			i = 0;
		}
		else
			++i;
	}
	m_aDamage.push_back(area);
	if (m_aDamage.size() > kMaxDamageRects)
	{
		CRect all;
		for (const CRect& r : m_aDamage)
			all = all.unite(r);
		m_aDamage.assign(1, all);
	}
}

void CFrame::render(const CRect& area)
{
	CDrawContext context(m_offscreen, area);
	context.fillRect(area, m_backgroundColor);
	if (m_pBackground)
		context.drawBitmap(*m_pBackground, m_size);
	for (const auto& pView : m_aViews)
		if (pView->getViewSize().overlaps(area))
		{
			pView->draw(context);
			if (pView->isHighlighted())
				drawOutline(context, pView->getViewSize());
		}
	if (m_pPopup && m_pPopup->getViewSize().overlaps(area))
		m_pPopup->draw(context);
}

void CFrame::popup(std::unique_ptr<CPopupMenu> pMenu)
{
	closePopup();
	m_pPopup = std::move(pMenu);
	m_pPopup->attached(this);
	m_pPopup->invalid();
	m_pMouseView = nullptr;
}

void CFrame::closePopup()
{
	if (m_pPopup)
		invalidRect(m_pPopup->getViewSize());
	m_pPopup.reset();
}

void CFrame::drawOutline(CDrawContext& context, const CRect& rect)
{
	const int w = kOutlineWidth;
	context.fillRect({rect.left, rect.top, rect.right, rect.top + w}, kOutlineColor);
	context.fillRect({rect.left, rect.bottom - w, rect.right, rect.bottom}, kOutlineColor);
	context.fillRect({rect.left, rect.top + w, rect.left + w, rect.bottom - w}, kOutlineColor);
	context.fillRect({rect.right - w, rect.top + w, rect.right, rect.bottom - w}, kOutlineColor);
}

void CFrame::idle()
{
	if (m_aDamage.empty())
		return;
	const std::vector<CRect> aDamage = std::move(m_aDamage);
	m_aDamage.clear();
	for (const CRect& area : aDamage)
		render(area);
	if (!m_pWindow)
		return;
	for (const CRect& area : aDamage)
		m_pWindow->present(m_offscreen, area);
	m_pWindow->flush();
}

void CFrame::platformOnExposed(const CRect& area)
{
	idle();
	if (!m_pWindow)
		return;
	m_pWindow->present(m_offscreen, area.intersect(m_size));
	m_pWindow->flush();
}

void CFrame::platformOnDrop(const std::vector<std::string>& aPaths)
{
	// A dialog of the editor is open: the panel takes nothing, files included.
	if (m_bMouseEnabled && m_dropHandler && !aPaths.empty())
		m_dropHandler(aPaths);
}

void CFrame::setMouseEnabled(bool bEnabled)
{
	m_bMouseEnabled = bEnabled;
	m_pMouseView = nullptr;
}

CView* CFrame::viewAt(CPoint where) const
{
	for (auto it = m_aViews.rbegin(); it != m_aViews.rend(); ++it)
		if ((*it)->getViewSize().pointInside(where))
			return it->get();
	return nullptr;
}

void CFrame::platformOnMouseDown(CPoint where, uint32_t buttons, uint32_t timeMs)
{
	if (!m_bMouseEnabled)
		return;
	const bool bRight = (buttons & kRButton) && !(buttons & kLButton);
	if (m_pPopup)
	{
		// Closed before the choice is made, so the choice may open another.
		const std::unique_ptr<CPopupMenu> pMenu = std::move(m_pPopup);
		invalidRect(pMenu->getViewSize());
		m_bHadClick = false;
		// A right press beside the menu is meant for what lies there (a
		// second right-click on the control that opened it): the menu only
		// closes on the way.
		if (!bRight || pMenu->getViewSize().pointInside(where))
		{
			pMenu->choose(pMenu->itemAt(where));
			return;
		}
	}
	CView* pView = viewAt(where);
	const bool bDouble = m_bHadClick && pView == m_pLastClickView && timeMs - m_uLastClickTime <= kDoubleClickTime &&
	                     std::abs(where.x - m_lastClickPos.x) <= kDoubleClickDistance &&
	                     std::abs(where.y - m_lastClickPos.y) <= kDoubleClickDistance;
	// A third press starts a new pair rather than making a second double.
	m_bHadClick = !bDouble;
	m_uLastClickTime = timeMs;
	m_lastClickPos = where;
	m_pLastClickView = pView;
	if (!pView)
		return;
	if (bDouble)
		buttons |= kDoubleClick;
	if (bRight)
	{
		if (auto* pControl = dynamic_cast<CControl*>(pView))
			pControl->contextClicked();
		return;
	}
	if (pView->onMouseDown(where, buttons) == CMouseEventResult::kMouseEventHandled)
		m_pMouseView = pView;
}

void CFrame::platformOnMouseMoved(CPoint where, uint32_t buttons)
{
	// A press that turned into a drag is no first half of a double-click.
	if (std::abs(where.x - m_lastClickPos.x) > kDoubleClickDistance ||
	    std::abs(where.y - m_lastClickPos.y) > kDoubleClickDistance)
		m_bHadClick = false;
	if (m_bMouseEnabled && m_pPopup)
		m_pPopup->onMouseMoved(where, buttons);
	else if (m_bMouseEnabled && m_pMouseView)
		m_pMouseView->onMouseMoved(where, buttons);
}

void CFrame::platformOnMouseUp(CPoint where, uint32_t buttons)
{
	if (!m_bMouseEnabled || !m_pMouseView)
		return;
	CView* pView = m_pMouseView;
	m_pMouseView = nullptr;
	pView->onMouseUp(where, buttons);
}

void CFrame::platformOnMouseWheel(CPoint where, float fDistance, uint32_t buttons)
{
	// A wheel turn during a drag would fight the drag's own gesture.
	if (!m_bMouseEnabled || m_pMouseView || m_pPopup)
		return;
	if (CView* pView = viewAt(where))
		pView->onWheel(where, fDistance, buttons);
}

} // namespace brontal::gui
