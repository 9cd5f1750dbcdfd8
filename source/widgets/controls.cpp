#include "controls.h"

#include "ctext.h"

#include <algorithm>
#include <cmath>

namespace brontal::gui {

namespace {

// Sub-image k of n depicts the value k / (n - 1); show the nearest one.
int nearestFrame(float fValue, int iFrames)
{
	if (iFrames <= 1)
		return 0;
	return std::clamp(int(std::lround(fValue * float(iFrames - 1))), 0, iFrames - 1);
}

// The ink of the panel's dark screens.
constexpr CColor kNameInk{232, 236, 240};

void drawFrame(CDrawContext& context, const CBitmap& strip, const CRect& size, int iFrame)
{
	context.drawBitmap(strip, size, {0, iFrame * size.getHeight()});
}

} // namespace

COnOffButton::COnOffButton(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBitmap)
: CControl(size, pListener, iTag, std::move(pBitmap))
{
}

void COnOffButton::draw(CDrawContext& context)
{
	drawFrame(context, background(), getViewSize(), m_fValue == 0.f ? 0 : 1);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint where, uint32_t buttons)
{
	if (!(buttons & kLButton))
		return CMouseEventResult::kMouseEventNotHandled;
	beginEdit();
	setValue(m_fValue == 0.f ? 1.f : 0.f);
	valueChanged();
	endEdit();
	return CMouseEventResult::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* pListener, int32_t iTag, int iSubPixmaps,
                     SharedBitmap pBitmap)
: CControl(size, pListener, iTag, std::move(pBitmap)), m_iSubPixmaps(iSubPixmaps)
{
}

int CAnimKnob::getCurrentFrame() const
{
	return nearestFrame(m_fValue, m_iSubPixmaps);
}

void CAnimKnob::draw(CDrawContext& context)
{
	drawFrame(context, background(), getViewSize(), getCurrentFrame());
}

void CAnimKnob::anchor(CPoint where, uint32_t buttons)
{
	m_iAnchorY = where.y;
	m_fAnchorValue = m_fValue;
	m_bFine = (buttons & kShift) != 0;
}

CMouseEventResult CAnimKnob::onMouseDown(CPoint where, uint32_t buttons)
{
	if (!(buttons & kLButton))
		return CMouseEventResult::kMouseEventNotHandled;
	if (buttons & (kControl | kDoubleClick))
	{
		beginEdit();
		setValue(getDefaultValue());
		valueChanged();
		endEdit();
		return CMouseEventResult::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	}
	anchor(where, buttons);
	m_bDragging = true;
	beginEdit();
	return CMouseEventResult::kMouseEventHandled;
}

CMouseEventResult CAnimKnob::onMouseMoved(CPoint where, uint32_t buttons)
{
	if (!m_bDragging)
		return CMouseEventResult::kMouseEventNotHandled;
	// Pressing or releasing Shift mid-drag continues from where the knob is.
	if (((buttons & kShift) != 0) != m_bFine)
		anchor(where, buttons);
	const float fRange = m_bFine ? kDragRange * kFineFactor : kDragRange;
	const float fValue = std::clamp(m_fAnchorValue + float(m_iAnchorY - where.y) / fRange, 0.f, 1.f);
	if (fValue != m_fValue)
	{
		setValue(fValue);
		valueChanged();
	}
	return CMouseEventResult::kMouseEventHandled;
}

bool CAnimKnob::onWheel(CPoint where, float fDistance, uint32_t buttons)
{
	const float fStep = 1.f / float(std::max(m_iSubPixmaps - 1, 1)) / ((buttons & kShift) ? kFineFactor : 1.f);
	const float fValue = std::clamp(m_fValue + fDistance * fStep, 0.f, 1.f);
	if (fValue != m_fValue)
	{
		beginEdit();
		setValue(fValue);
		valueChanged();
		endEdit();
	}
	return true;
}

CMouseEventResult CAnimKnob::onMouseUp(CPoint where, uint32_t buttons)
{
	if (!m_bDragging)
		return CMouseEventResult::kMouseEventNotHandled;
	m_bDragging = false;
	endEdit();
	return CMouseEventResult::kMouseEventHandled;
}

CVuMeter::CVuMeter(const CRect& size, SharedBitmap pOnBitmap, SharedBitmap pOffBitmap, int iNbLed)
: CControl(size, nullptr, 0, std::move(pOffBitmap)), m_pOnBitmap(std::move(pOnBitmap)), m_iNbLed(iNbLed)
{
}

void CVuMeter::setValue(float fValue)
{
	CControl::setValue(fValue);
	// Still falling towards an unchanged value: keep redrawing.
	if (m_fValue != m_fDisplayed)
		invalid();
}

int CVuMeter::getLitSegments() const
{
	return std::clamp(int(std::lround(m_fDisplayed * float(m_iNbLed))), 0, m_iNbLed);
}

void CVuMeter::draw(CDrawContext& context)
{
	m_fDisplayed = std::max(m_fValue, m_fDisplayed - kDecreaseStep);
	const CRect& size = getViewSize();
	const int iSplit = size.left + getLitSegments() * size.getWidth() / m_iNbLed;
	context.drawBitmap(*m_pOnBitmap, {size.left, size.top, iSplit, size.bottom});
	context.drawBitmap(background(), {iSplit, size.top, size.right, size.bottom}, {iSplit - size.left, 0});
}

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* pListener, int32_t iTag, int iSubPixmaps,
                           SharedBitmap pBitmap)
: CControl(size, pListener, iTag, std::move(pBitmap)), m_iSubPixmaps(iSubPixmaps)
{
}

int CMovieBitmap::getCurrentFrame() const
{
	return nearestFrame(m_fValue, m_iSubPixmaps);
}

void CMovieBitmap::draw(CDrawContext& context)
{
	drawFrame(context, background(), getViewSize(), getCurrentFrame());
}

CKickButton::CKickButton(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBitmap)
: CControl(size, pListener, iTag, std::move(pBitmap))
{
}

void CKickButton::draw(CDrawContext& context)
{
	drawFrame(context, background(), getViewSize(), 0);
}

CMouseEventResult CKickButton::onMouseDown(CPoint where, uint32_t buttons)
{
	if (!(buttons & kLButton))
		return CMouseEventResult::kMouseEventNotHandled;
	m_bPressed = true;
	beginEdit();
	return CMouseEventResult::kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint where, uint32_t buttons)
{
	if (!m_bPressed)
		return CMouseEventResult::kMouseEventNotHandled;
	m_bPressed = false;
	if (getViewSize().pointInside(where))
	{
		setValue(1.f);
		valueChanged();
	}
	setValue(0.f);
	valueChanged();
	endEdit();
	return CMouseEventResult::kMouseEventHandled;
}

CTunerDisplay::CTunerDisplay(const CRect& size, CControlListener* pListener, int32_t iTag, int iFaces,
                             SharedBitmap pFaces, SharedBitmap pGlyphs)
: CAnimKnob(size, pListener, iTag, iFaces, std::move(pFaces)), m_pGlyphs(std::move(pGlyphs))
{
}

void CTunerDisplay::setTuning(bool bOn)
{
	if (bOn != m_bOn)
	{
		m_bOn = bOn;
		invalid();
	}
}

void CTunerDisplay::setReading(float fNote, float fCents, float fHeld)
{
	const bool bHeld = fHeld > 0.5f;
	if (fNote != m_fNote || fCents != m_fCents || bHeld != m_bHeld)
	{
		m_fNote = fNote;
		m_fCents = fCents;
		m_bHeld = bHeld;
		if (m_bOn)
			invalid();
	}
}

int CTunerDisplay::getGlyph() const
{
	if (!m_bHeld || !(m_fNote >= 0.f && m_fNote <= 1.f))
		return kGlyphs - 1;
	return int(std::lround(m_fNote * 127.f)) % 12;
}

int CTunerDisplay::getNeedleX() const
{
	if (!m_bHeld || !(m_fCents >= 0.f && m_fCents <= 1.f))
		return -1;
	const float fCents = m_fCents * 100.f - 50.f;
	return kScaleCentreX + int(std::lround(fCents * float(kPixelsPerCent)));
}

void CTunerDisplay::draw(CDrawContext& context)
{
	if (!m_bOn)
		return;
	CAnimKnob::draw(context);
	const CRect& size = getViewSize();
	context.drawBitmap(*m_pGlyphs,
	                   CRect::fromSize(size.left + kGlyphX, size.top + kGlyphY, kGlyphWidth, kGlyphHeight),
	                   {0, getGlyph() * kGlyphHeight});
	const int x = getNeedleX();
	if (x < 0)
		return;
	const bool bInTune = std::fabs(m_fCents * 100.f - 50.f) <= kInTuneCents;
	context.fillRect(CRect::fromSize(size.left + x - kNeedleWidth / 2, size.top + kNeedleTop, kNeedleWidth,
	                                 kNeedleBottom - kNeedleTop),
	                 bInTune ? kNeedleInTune : kNeedleOff);
}

CMouseEventResult CTunerDisplay::onMouseDown(CPoint where, uint32_t buttons)
{
	// Off, the face is not there: the display beneath takes no input either.
	if (!m_bOn)
		return CMouseEventResult::kMouseEventNotHandled;
	return CAnimKnob::onMouseDown(where, buttons);
}

bool CTunerDisplay::onWheel(CPoint where, float fDistance, uint32_t buttons)
{
	return m_bOn && CAnimKnob::onWheel(where, fDistance, buttons);
}

CProgramBar::CProgramBar(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBitmap,
                         std::function<void(int)> onPress)
: CControl(size, pListener, iTag, std::move(pBitmap)), m_pressed(std::move(onPress))
{
}

void CProgramBar::setName(const std::string& name)
{
	if (name != m_name)
	{
		m_name = name;
		invalid();
	}
}

void CProgramBar::draw(CDrawContext& context)
{
	const CRect& size = getViewSize();
	drawFrame(context, background(), size, 0);
	const int iRoom = size.getWidth() - 2 * kNameInset;
	const int iWidth = std::min(iRoom, CFont::lengthOf(m_name) * CFont::kCellWidth);
	CFont::standard().draw(context,
	                       {size.left + kNameInset + (iRoom - iWidth) / 2,
	                        size.top + (size.getHeight() - CFont::kCellHeight) / 2},
	                       m_name, kNameInk, iRoom);
}

CMouseEventResult CProgramBar::onMouseDown(CPoint where, uint32_t buttons)
{
	if (!m_pressed || !(buttons & kLButton))
		return CMouseEventResult::kMouseEventNotHandled;
	const CRect& size = getViewSize();
	m_pressed(where.x < size.left + kArrowWidth ? -1 : where.x >= size.right - kArrowWidth ? 1 : 0);
	return CMouseEventResult::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

} // namespace brontal::gui
