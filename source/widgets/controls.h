#pragma once
#include "cview.h"

namespace brontal::gui {

// Two-image switch; a press flips it (off only at exactly 0, like the
// processor's switches) and redraws before the listener hears of it.
class COnOffButton : public CControl
{
public:
	COnOffButton(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBitmap);

	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseDown(CPoint where, uint32_t buttons) override;
};

// Knob drawn from a vertical strip of sub-images. Dragging up raises the
// value by one full range per kDragRange pixels, ten times finer with
// Shift; a double-click or a Ctrl-click returns it to its default.
class CAnimKnob : public CControl
{
public:
	static constexpr float kDragRange = 200.f;
	static constexpr float kFineFactor = 10.f;

	CAnimKnob(const CRect& size, CControlListener* pListener, int32_t iTag, int iSubPixmaps, SharedBitmap pBitmap);

	int getCurrentFrame() const;
	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseDown(CPoint where, uint32_t buttons) override;
	CMouseEventResult onMouseMoved(CPoint where, uint32_t buttons) override;
	CMouseEventResult onMouseUp(CPoint where, uint32_t buttons) override;
	// One notch moves one sub-image; with Shift ten times finer.
	bool onWheel(CPoint where, float fDistance, uint32_t buttons) override;

private:
	void anchor(CPoint where, uint32_t buttons);

	int m_iSubPixmaps;
	bool m_bDragging = false;
	bool m_bFine = false;
	int m_iAnchorY = 0;
	float m_fAnchorValue = 0.f;
};

// Horizontal segment meter: the on image over the lit segments, the off
// image over the rest. The shown level follows a rise at once and falls by
// at most kDecreaseStep per redraw.
class CVuMeter : public CControl
{
public:
	static constexpr float kDecreaseStep = 0.1f;

	CVuMeter(const CRect& size, SharedBitmap pOnBitmap, SharedBitmap pOffBitmap, int iNbLed);

	void setValue(float fValue) override;
	float getDisplayedValue() const { return m_fDisplayed; }
	int getLitSegments() const;
	void draw(CDrawContext& context) override;

private:
	SharedBitmap m_pOnBitmap;
	int m_iNbLed;
	float m_fDisplayed = 0.f;
};

// Shows the sub-image nearest to its value; takes no input.
class CMovieBitmap : public CControl
{
public:
	CMovieBitmap(const CRect& size, CControlListener* pListener, int32_t iTag, int iSubPixmaps, SharedBitmap pBitmap);

	int getCurrentFrame() const;
	void draw(CDrawContext& context) override;

private:
	int m_iSubPixmaps;
};

// Momentary button: on a release inside it reports 1 then 0, on a release
// outside only 0; nothing is reported while the button is held.
class CKickButton : public CControl
{
public:
	CKickButton(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBitmap);

	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseDown(CPoint where, uint32_t buttons) override;
	CMouseEventResult onMouseUp(CPoint where, uint32_t buttons) override;

private:
	bool m_bPressed = false;
};

} // namespace brontal::gui
