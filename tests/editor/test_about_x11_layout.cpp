// The X11 About box's layout check: every text line and control lies inside
// the box with its margins, measured with the fonts the box draws with on
// this machine, and nothing is drawn in the margins of the open box.
#include "editorfixture.h"

#include "platform/x11/aboutlayout.h"

#include <X11/Xft/Xft.h>
#include <X11/Xutil.h>

#include <cstring>
#include <memory>

using namespace brontal;
using namespace brontal::editortest;
using gui::CRect;

namespace {

// The box is 406 x 336; nothing comes nearer than 21 pixels to its sides and
// top, or 9 pixels to its bottom.
constexpr CRect kContent{21, 21, 406 - 21, 336 - 9};

bool inside(const CRect& inner, const CRect& outer)
{
	return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
	       inner.bottom <= outer.bottom;
}

std::string describe(const CRect& r)
{
	return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" + std::to_string(r.right) + ", " +
	       std::to_string(r.bottom) + ")";
}

struct DisplayCloser
{
	void operator()(Display* pDisplay) const { XCloseDisplay(pDisplay); }
};

class FontCloser
{
public:
	explicit FontCloser(Display* pDisplay) : m_pDisplay(pDisplay) {}
	void operator()(XftFont* pFont) const { XftFontClose(m_pDisplay, pFont); }

private:
	Display* m_pDisplay;
};
using XftFontPtr = std::unique_ptr<XftFont, FontCloser>;

XftFontPtr openFont(Display* pDisplay, int iPixels)
{
	return XftFontPtr(XftFontOpenName(pDisplay, DefaultScreen(pDisplay), x11::aboutFontPattern(iPixels).c_str()),
	               FontCloser(pDisplay));
}

// Where a string drawn with its pen at (x, baseline) puts ink and advance,
// from the glyph metrics Xft reports, the font's ascent and descent above
// and below the baseline.
CRect drawnBox(Display* pDisplay, XftFont* pFont, int x, int iBaseline, const std::string& text)
{
	XGlyphInfo glyphs{};
	XftTextExtentsUtf8(pDisplay, pFont, reinterpret_cast<const FcChar8*>(text.data()), int(text.size()), &glyphs);
	const int iInkLeft = x - glyphs.x;
	const int iInkRight = iInkLeft + glyphs.width;
	return {std::min(x, iInkLeft), iBaseline - pFont->ascent, std::max(iInkRight, x + glyphs.xOff),
	        iBaseline + pFont->descent};
}

class AboutBoxX11Layout : public EditorFixture
{
};

} // namespace

TEST_F(AboutBoxX11Layout, EveryLineAndControlFitsInsideTheBoxWithTheFontsItDrawsWith)
{
	std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
	ASSERT_TRUE(display);
	Display* pDisplay = display.get();
	// Fonts freed as they are closed, as the box has them: none is left for
	// Xft to free after the render extension has let go of this display.
	FcPattern* pDefaults = FcPatternCreate();
	FcPatternAddInteger(pDefaults, XFT_MAX_UNREF_FONTS, 0);
	XftDefaultSet(pDisplay, pDefaults);

	for (const CRect& control : {x11::kAboutIconRect, x11::kAboutInfoRect, x11::kAboutOkRect})
		EXPECT_TRUE(inside(control, kContent)) << describe(control);
	const CRect infoField{x11::kAboutInfoRect.left + 1, x11::kAboutInfoRect.top + 1, x11::kAboutInfoRect.right - 1,
	                      x11::kAboutInfoRect.bottom - 1};

	const auto groups = x11::aboutTextGroups();
	ASSERT_EQ(groups.size(), 3u);
	std::vector<CRect> taken = {x11::kAboutIconRect, x11::kAboutInfoRect, x11::kAboutOkRect};
	for (std::size_t g = 0; g < groups.size(); ++g)
	{
		// The size the box picks for the group with the fonts of this machine.
		const int iPixels = x11::fitAboutGroup(groups[g], [&](int iSize, const std::string& text) {
			XftFontPtr font = openFont(pDisplay, iSize);
			const CRect box = drawnBox(pDisplay, font.get(), 0, font->ascent, text);
			return x11::AboutTextExtent{box.left, box.right, font->ascent, font->descent};
		});
		// The heading and the information text fit at the normal size; the
		// notices may be smaller print, but stay legible.
		if (g == 1)
			EXPECT_GE(iPixels, 8);
		else
			EXPECT_EQ(iPixels, 11) << "group " << g;

		XftFontPtr font = openFont(pDisplay, iPixels);
		ASSERT_TRUE(font);
		for (const x11::AboutLine& line : groups[g].lines)
		{
			const CRect box = drawnBox(pDisplay, font.get(), line.x, line.iTop + font->ascent, line.text);
			SCOPED_TRACE(line.text + " at " + std::to_string(iPixels) + " px: " + describe(box));
			EXPECT_TRUE(inside(box, kContent));
			if (g == 2)
				EXPECT_TRUE(inside(box, infoField));
			else
			{
				for (const CRect& other : taken)
					EXPECT_FALSE(box.overlaps(other)) << describe(other);
				taken.push_back(box);
			}
		}
	}

	// The OK caption, centred at the normal size, inside the button's face.
	XftFontPtr font = openFont(pDisplay, x11::kAboutTextPixels);
	const CRect& ok = x11::kAboutOkRect;
	XGlyphInfo glyphs{};
	XftTextExtentsUtf8(pDisplay, font.get(), reinterpret_cast<const FcChar8*>("OK"), 2, &glyphs);
	const CRect caption = drawnBox(pDisplay, font.get(), ok.left + (ok.getWidth() - glyphs.xOff) / 2,
	                               ok.top + (ok.getHeight() + font->ascent - font->descent) / 2, "OK");
	const int iBorder = x11::kAboutOkBorder;
	EXPECT_TRUE(inside(caption, {ok.left + iBorder, ok.top + iBorder, ok.right - iBorder, ok.bottom - iBorder}))
	    << describe(caption);
}

// What the open box shows: its margins hold nothing but the background, and
// every text line left ink where it belongs.
TEST_F(AboutBoxX11Layout, TheOpenBoxDrawsNothingInItsMargins)
{
	openEditor();
	session->click(990, 12);
	const auto dialogs = session->windowsTitled("About Brontal2");
	ASSERT_EQ(dialogs.size(), 1u);
	session->settle();
	XImage* pImage = XGetImage(session->display(), dialogs[0], 0, 0, 406, 336, AllPlanes, ZPixmap);
	ASSERT_NE(pImage, nullptr);
	const auto pixel = [&](int x, int y) { return static_cast<uint32_t>(XGetPixel(pImage, x, y) & 0xffffff); };

	int iMarked = 0;
	for (int y = 0; y < 336; ++y)
		for (int x = 0; x < 406; ++x)
			if (!kContent.pointInside({x, y}) && pixel(x, y) != 0xf0f0f0 && iMarked++ < 5)
				ADD_FAILURE() << "pixel " << std::hex << pixel(x, y) << std::dec << " at " << x << ", " << y;
	EXPECT_EQ(iMarked, 0) << "pixels drawn in the margins";

	// Dark ink in each heading and notice line's band.
	const auto groups = x11::aboutTextGroups();
	for (std::size_t g = 0; g < 2; ++g)
		for (const x11::AboutLine& line : groups[g].lines)
		{
			int iDark = 0;
			for (int y = line.iTop; y < line.iTop + 14; ++y)
				for (int x = line.x; x < kContent.right; ++x)
					iDark += (pixel(x, y) & 0xff) < 0x60;
			EXPECT_GT(iDark, 20) << line.text;
		}
	XDestroyImage(pImage);
	session->key("Escape", true);
	session->key("Escape", false);
}

// Opening the box, closing it and the editor, again and again in one
// process: each editor's connection may be opened where the last one was,
// and must start clean whatever the box's fonts left behind.
TEST_F(AboutBoxX11Layout, BoxAndEditorOpenAndCloseAgainWithoutXErrors)
{
	const int iErrorsBefore = EditorSession::xErrors();
	for (int iRound = 0; iRound < 12; ++iRound)
	{
		SCOPED_TRACE(iRound);
		openEditor();
		session->click(990, 12);
		ASSERT_EQ(session->windowsTitled("About Brontal2").size(), 1u);
		session->key("Escape", true);
		session->key("Escape", false);
		ASSERT_TRUE(session->windowsTitled("About Brontal2").empty());
		ASSERT_EQ(session->remove(), Steinberg::kResultOk);
		session->releaseView();
		ASSERT_EQ(EditorSession::xErrors(), iErrorsBefore) << "X errors";
	}
}
