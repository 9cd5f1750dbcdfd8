#pragma once
#include "cmenu.h"
#include "cview.h"
#include "platform.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brontal::gui {

// Top view of an editor: owns its views and an offscreen image of the
// whole window. Damaged areas are redrawn into the image at idle time and
// then shown through the platform window, so views never draw on screen.
class CFrame : public IPlatformFrameCallback
{
public:
	// Presses closer together than this (ms) and kDoubleClickDistance
	// (pixels, each axis) make a double-click.
	static constexpr uint32_t kDoubleClickTime = 400;
	static constexpr int kDoubleClickDistance = 4;

	explicit CFrame(const CRect& size);
	~CFrame() override;

	// Opens the window in the host's parent. Without it the frame still
	// draws into its offscreen image.
	bool open(void* pParent, Steinberg::FUnknown* pHostContext);
	IPlatformWindow* getPlatformWindow() const { return m_pWindow.get(); }

	const CRect& getViewSize() const { return m_size; }
	void setBackgroundColor(const CColor& color);
	void setBackground(SharedBitmap pBitmap);

	template <typename View>
	View* addView(std::unique_ptr<View> pView)
	{
		View* pRaw = pView.get();
		pRaw->attached(this);
		m_aViews.push_back(std::move(pView));
		pRaw->invalid();
		return pRaw;
	}

	// Shows a menu over every view until a press chooses from it or lands
	// elsewhere: a left press elsewhere only closes it, a right press
	// elsewhere closes it and goes on to the view there. A new menu replaces
	// the one open.
	void popup(std::unique_ptr<CPopupMenu> pMenu);
	void closePopup();
	CPopupMenu* getPopup() const { return m_pPopup.get(); }

	void invalidRect(const CRect& rect);
	void invalid() { invalidRect(m_size); }
	// Redraws what is damaged and shows it.
	void idle();
	// While disabled (a dialog of the editor is open) mouse input is ignored.
	void setMouseEnabled(bool bEnabled);
	const CBitmap& getOffscreen() const { return m_offscreen; }

	void platformOnMouseDown(CPoint where, uint32_t buttons, uint32_t timeMs) override;
	void platformOnMouseMoved(CPoint where, uint32_t buttons) override;
	void platformOnMouseUp(CPoint where, uint32_t buttons) override;
	void platformOnMouseWheel(CPoint where, float fDistance, uint32_t buttons) override;
	void platformOnExposed(const CRect& area) override;
	void platformOnIdle() override { idle(); }
	void platformOnDrop(const std::vector<std::string>& aPaths) override;
	// Who takes files dropped on the window; none by default.
	void setDropHandler(std::function<void(const std::vector<std::string>&)> handler)
	{
		m_dropHandler = std::move(handler);
	}

private:
	static constexpr std::size_t kMaxDamageRects = 8;
	// A highlighted view's outline: amber, which the panel's art never uses.
	static constexpr int kOutlineWidth = 3;
	static constexpr CColor kOutlineColor = {255, 176, 0, 255};
	static void drawOutline(CDrawContext& context, const CRect& rect);

	CView* viewAt(CPoint where) const;
	void render(const CRect& area);

	CRect m_size;
	CColor m_backgroundColor;
	SharedBitmap m_pBackground;
	std::vector<std::unique_ptr<CView>> m_aViews;
	std::unique_ptr<CPopupMenu> m_pPopup;
	CBitmap m_offscreen;
	std::vector<CRect> m_aDamage;
	std::unique_ptr<IPlatformWindow> m_pWindow;
	CView* m_pMouseView = nullptr;
	bool m_bMouseEnabled = true;
	bool m_bHadClick = false;
	uint32_t m_uLastClickTime = 0;
	CPoint m_lastClickPos;
	CView* m_pLastClickView = nullptr;
	std::function<void(const std::vector<std::string>&)> m_dropHandler;
};

} // namespace brontal::gui
