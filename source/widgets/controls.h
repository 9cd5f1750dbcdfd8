#pragma once
#include "cview.h"

#include <functional>
#include <string>

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

// The tuner's face: blank while the tuner is off, so whatever lies beneath
// shows; on, the face for the reference (its value, one sub-image per step,
// edited as a knob), the note's name and a needle at its cents. The face
// and glyph geometry below is the art's (tools/gen_art.py draws to it).
class CTunerDisplay : public CAnimKnob
{
public:
	// Glyph frames: C, C#, ... B, then the one for no note.
	static constexpr int kGlyphs = 13;
	static constexpr int kGlyphX = 6, kGlyphY = 8, kGlyphWidth = 84, kGlyphHeight = 60;
	// The scale: the needle's centre column at 0 cents, pixels per cent, rows.
	static constexpr int kScaleCentreX = 206;
	static constexpr int kPixelsPerCent = 2;
	static constexpr int kNeedleTop = 18;
	static constexpr int kNeedleBottom = 52;
	static constexpr int kNeedleWidth = 3;
	// Within this many cents the needle shows in tune.
	static constexpr float kInTuneCents = 3.f;
	static constexpr CColor kNeedleInTune = {80, 240, 120, 255};
	static constexpr CColor kNeedleOff = {255, 120, 40, 255};

	CTunerDisplay(const CRect& size, CControlListener* pListener, int32_t iTag, int iFaces, SharedBitmap pFaces,
	              SharedBitmap pGlyphs);

	void setTuning(bool bOn);
	bool isTuning() const { return m_bOn; }
	// The readings as normalised parameters: note / 127, (cents + 50) / 100,
	// held (0 or 1). Without a held note the glyph shows none and no needle.
	void setReading(float fNote, float fCents, float fHeld);
	// The glyph frame and the needle's centre column from the left of the
	// view (-1 for none) that the reading shows.
	int getGlyph() const;
	int getNeedleX() const;

	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseDown(CPoint where, uint32_t buttons) override;
	bool onWheel(CPoint where, float fDistance, uint32_t buttons) override;

private:
	SharedBitmap m_pGlyphs;
	bool m_bOn = false;
	float m_fNote = 0.f;
	float m_fCents = 0.5f;
	bool m_bHeld = false;
};

// The preset bar: its image (an arrow button at each end, a dark screen
// between, as tools/gen_art.py draws it) with the program's name on the
// screen. A left press on an arrow steps (-1 back, +1 on), one on the
// screen asks for the whole list (0); the owner does the rest.
class CProgramBar : public CControl
{
public:
	static constexpr int kArrowWidth = 32;
	// The name's room on the screen: all but this much at either end.
	static constexpr int kNameInset = 40;

	CProgramBar(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBitmap,
	            std::function<void(int)> onPress);

	void setName(const std::string& name);
	const std::string& getName() const { return m_name; }
	void draw(CDrawContext& context) override;
	CMouseEventResult onMouseDown(CPoint where, uint32_t buttons) override;

private:
	std::string m_name;
	std::function<void(int)> m_pressed;
};

} // namespace brontal::gui
