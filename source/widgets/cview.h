#pragma once
#include "cbitmap.h"
#include "cgeometry.h"

#include <cstdint>
#include <memory>

namespace brontal::gui {

class CFrame;
class CControl;

// Mouse buttons and keyboard modifiers of one mouse event.
enum CButtonState : uint32_t
{
	kLButton = 1 << 0,
	kRButton = 1 << 1,
	kShift = 1 << 2,
	kControl = 1 << 3,
	kDoubleClick = 1 << 4,
};

enum class CMouseEventResult
{
	kMouseEventNotHandled,
	kMouseEventHandled,
	// The press did all the work; no move or release follows to this view.
	kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

class CControlListener
{
public:
	virtual ~CControlListener() = default;
	virtual void valueChanged(CControl* pControl) = 0;
	// Bracket a mouse gesture, so hosts can record it as one automation edit.
	virtual void controlBeginEdit(CControl* pControl) {}
	virtual void controlEndEdit(CControl* pControl) {}
	// A right-click on the control: a question for its owner, never an edit.
	virtual void controlContextClicked(CControl* pControl) {}
};

using SharedBitmap = std::shared_ptr<const CBitmap>;

class CView
{
public:
	explicit CView(const CRect& size) : m_size(size) {}
	virtual ~CView() = default;
	CView(const CView&) = delete;
	CView& operator=(const CView&) = delete;

	const CRect& getViewSize() const { return m_size; }
	bool hitTest(CPoint where) const { return m_size.hitTest(where); }

	virtual void draw(CDrawContext& context) = 0;
	virtual CMouseEventResult onMouseDown(CPoint where, uint32_t buttons)
	{
		return CMouseEventResult::kMouseEventNotHandled;
	}
	virtual CMouseEventResult onMouseMoved(CPoint where, uint32_t buttons)
	{
		return CMouseEventResult::kMouseEventNotHandled;
	}
	virtual CMouseEventResult onMouseUp(CPoint where, uint32_t buttons)
	{
		return CMouseEventResult::kMouseEventNotHandled;
	}
	virtual bool onWheel(CPoint where, float fDistance, uint32_t buttons) { return false; }

	// Asks the frame to redraw this view at its next paint.
	void invalid();
	void attached(CFrame* pFrame) { m_pFrame = pFrame; }
	// An outline the frame draws over the view, to show it waits for
	// something (a MIDI controller to learn).
	void setHighlighted(bool bHighlighted);
	bool isHighlighted() const { return m_bHighlighted; }

protected:
	// For a view that works out its own size; before it is attached.
	void setViewSize(const CRect& size) { m_size = size; }

private:
	CRect m_size;
	CFrame* m_pFrame = nullptr;
	bool m_bHighlighted = false;
};

// A view with a tag, a normalised value and a listener told of user changes.
class CControl : public CView
{
public:
	CControl(const CRect& size, CControlListener* pListener, int32_t iTag, SharedBitmap pBackground);

	int32_t getTag() const { return m_iTag; }
	float getValue() const { return m_fValue; }
	// Clamps to [0, 1] and redraws on change; never tells the listener.
	virtual void setValue(float fValue);
	float getDefaultValue() const { return m_fDefaultValue; }
	void setDefaultValue(float fValue) { m_fDefaultValue = fValue; }
	void contextClicked();

protected:
	void beginEdit();
	void endEdit();
	void valueChanged();
	const CBitmap& background() const { return *m_pBackground; }

	float m_fValue = 0.f;

private:
	CControlListener* m_pListener;
	int32_t m_iTag;
	SharedBitmap m_pBackground;
	float m_fDefaultValue = 0.f;
};

} // namespace brontal::gui
