#pragma once
#include "widgets/cbitmap.h"

#include <X11/Xlib.h>

namespace brontal::x11 {

// Copies `area` of `image` to `dest` in the drawable, whatever the pixel
// layout of its visual.
void putImage(Display* pDisplay, Drawable drawable, GC gc, Visual* pVisual, int iDepth, const gui::CBitmap& image,
              const gui::CRect& area, gui::CPoint dest);

} // namespace brontal::x11
