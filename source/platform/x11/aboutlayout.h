#pragma once
// The X11 About box's layout: where its icon, texts and controls go, and the
// size each group of text lines is drawn at. Fonts differ from machine to
// machine, so a group that would not fit at the normal size is drawn at the
// largest smaller one that does, measured with the font itself.

#include "aboutdialog.h"
#include "widgets/cgeometry.h"

#include <functional>
#include <string>
#include <vector>

namespace brontal::x11 {

constexpr int kAboutWidth = 406;
constexpr int kAboutHeight = 336;

// Nothing drawn comes nearer the edges than the icon does on the left (the
// same on the right and at the top), or the OK button at the bottom.
constexpr gui::CRect kAboutContent{21, 21, kAboutWidth - 21, kAboutHeight - 9};
constexpr gui::CRect kAboutIconRect{21, 23, 21 + 32, 23 + 32};
// The information field: a 1-pixel border around a white field.
constexpr gui::CRect kAboutInfoRect{22, 135, 22 + 360, 135 + 162};
constexpr gui::CRect kAboutOkRect{318, 304, 318 + 64, 304 + 23};
// The OK button's face lies inside its 2-pixel accent border.
constexpr int kAboutOkBorder = 2;

constexpr int kAboutTextPixels = 11;
constexpr int kAboutSmallestPixels = 6;
std::string aboutFontPattern(int iPixels);

// One line of text: its pen position (left end) and the top of its line box;
// the baseline lies one font ascent below the top.
struct AboutLine
{
	int x;
	int iTop;
	std::string text;
};

// Lines drawn at one size, all inside their bounds.
struct AboutTextGroup
{
	std::vector<AboutLine> lines;
	gui::CRect bounds;
};

// The version and maker lines, the trademark notices, and the information
// text inside its field.
std::vector<AboutTextGroup> aboutTextGroups();

// Where a string drawn with the font of a pixel size reaches, relative to
// its pen position on the baseline: its ink or advance from iLeft to
// iRight, and the font's ascent and descent.
struct AboutTextExtent
{
	int iLeft;
	int iRight;
	int iAscent;
	int iDescent;
};
using AboutMeasure = std::function<AboutTextExtent(int iPixels, const std::string& text)>;

// The box a line occupies when drawn at that extent.
gui::CRect aboutLineBox(const AboutLine& line, const AboutTextExtent& extent);

// The largest size from kAboutTextPixels down at which every line of the
// group lies inside its bounds; kAboutSmallestPixels if none does.
int fitAboutGroup(const AboutTextGroup& group, const AboutMeasure& measure);

} // namespace brontal::x11
