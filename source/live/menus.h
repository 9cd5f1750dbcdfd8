#pragma once

// Menus over the whole window: the strip is too low for a list, so a menu
// opens in a frame of the application's own on the window's overlay, drawn
// over a copy of what the window showed, and the overlay hides again once
// the menu is chosen from or dismissed.

#include "livewindow.h"

#include "widgets/cframe.h"
#include "widgets/cmenu.h"

#include <functional>
#include <vector>

namespace brontal::live {

class Menus
{
public:
	// width x height: the whole window's.
	Menus(LiveWindow& window, int width, int height);

	bool open(Steinberg::FUnknown* hostContext);
	// Opens a menu in the window's bottom right corner (below the settings
	// button); onChoose hears the item's index and may open another.
	void show(std::vector<gui::CMenuItem> items, std::function<void(int)> onChoose);
	// Hides the overlay once no menu is left open; call after serving the
	// window.
	void tidy();

private:
	LiveWindow& window;
	gui::CFrame frame;
	bool shown = false;
};

} // namespace brontal::live
