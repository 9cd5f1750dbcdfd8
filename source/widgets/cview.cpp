#include "cview.h"

#include "cframe.h"

#include <algorithm>
#include <cmath>

namespace brontal::gui {

void CView::setHighlighted(bool bHighlighted)
{
	if (bHighlighted == m_bHighlighted)
		return;
	m_bHighlighted = bHighlighted;
	invalid();
}

void CControl::contextClicked()
{
	if (m_pListener)
		m_pListener->controlContextClicked(this);
}

void CView::invalid()
{
	if (m_pFrame)
		m_pFrame->invalidRect(m_size);
}

CControl::CControl(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBackground)
: CView(size), m_pListener(pListener), m_iTag(iTag), m_pBackground(std::move(pBackground))
{
}

void CControl::setValue(float fValue)
{
	// NaN counts as on for the processor's switches, so show it as the maximum.
	const float fClamped = std::isnan(fValue) ? 1.f : std::clamp(fValue, 0.f, 1.f);
	if (fClamped == m_fValue)
		return;
	m_fValue = fClamped;
	invalid();
}

void CControl::beginEdit()
{
	if (m_pListener)
		m_pListener->controlBeginEdit(this);
}

void CControl::endEdit()
{
	if (m_pListener)
		m_pListener->controlEndEdit(this);
}

void CControl::valueChanged()
{
	if (m_pListener)
		m_pListener->valueChanged(this);
}

} // namespace brontal::gui
