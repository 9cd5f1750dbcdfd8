#include "menus.h"

#include <memory>

namespace brontal::live {

Menus::Menus(LiveWindow& owner, int width, int height) : window(owner), frame(gui::CRect::fromSize(0, 0, width, height))
{
}

bool Menus::open(Steinberg::FUnknown* hostContext)
{
	return frame.open(window.overlayParent(), hostContext);
}

void Menus::show(std::vector<gui::CMenuItem> items, std::function<void(int)> onChoose)
{
	if (!shown)
	{
		auto beneath = std::make_shared<gui::CBitmap>(frame.getViewSize().getWidth(), frame.getViewSize().getHeight());
		window.showOverlay(beneath.get());
		frame.setBackground(std::move(beneath));
		shown = true;
	}
	const gui::CRect& size = frame.getViewSize();
	frame.popup(std::make_unique<gui::CPopupMenu>(size, gui::CPoint{size.right, size.bottom}, std::move(items),
	                                              std::move(onChoose)));
	frame.idle();
}

void Menus::tidy()
{
	if (shown && !frame.getPopup())
	{
		window.showOverlay(nullptr);
		shown = false;
	}
	frame.idle();
}

} // namespace brontal::live
