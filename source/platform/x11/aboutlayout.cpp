#include "platform/x11/aboutlayout.h"

namespace brontal::x11 {
namespace {
constexpr const char* kFontFamily = "DejaVu Sans";
// The information text: 5 pixels in from the field's edge, 4 down, one line
// every 15 pixels.
constexpr int kInfoIndent = 5;
constexpr int kInfoTop = 4;
constexpr int kInfoLineHeight = 15;
// Text keeps this far inside the field's border.
constexpr int kInfoInset = 3;

bool inside(const gui::CRect& inner, const gui::CRect& outer)
{
	return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
	       inner.bottom <= outer.bottom;
}
} // namespace

std::string aboutFontPattern(int iPixels)
{
	return std::string(kFontFamily) + ":pixelsize=" + std::to_string(iPixels);
}

std::vector<AboutTextGroup> aboutTextGroups()
{
	// Positions from the dialog's layout in dialog units (x 1.5, y 1.625 pixels).
	std::vector<AboutTextGroup> groups;
	groups.push_back({{{70, 23, kAboutVersionLine}, {70, 41, BRONTAL_ABOUT_MAKER_LINE}},
	                  kAboutContent});
	groups.push_back({{{27, 72, BRONTAL_ABOUT_VST_LINE},
	                   {25, 88, BRONTAL_ABOUT_ASIO_LINE},
	                   {25, 104, BRONTAL_ABOUT_TRADE_NAME_LINE}},
	                  kAboutContent});

	AboutTextGroup info{{},
	                    {kAboutInfoRect.left + kInfoInset, kAboutInfoRect.top + kInfoInset,
	                     kAboutInfoRect.right - kInfoInset, kAboutInfoRect.bottom - kInfoInset}};
	const std::string text = kAboutInfoText;
	int iTop = kAboutInfoRect.top + kInfoTop;
	for (std::size_t uStart = 0; uStart <= text.size(); iTop += kInfoLineHeight)
	{
		std::size_t uEnd = text.find("\r\n", uStart);
		if (uEnd == std::string::npos)
			uEnd = text.size();
		info.lines.push_back({kAboutInfoRect.left + kInfoIndent, iTop, text.substr(uStart, uEnd - uStart)});
		uStart = uEnd + 2;
	}
	groups.push_back(std::move(info));
	return groups;
}

gui::CRect aboutLineBox(const AboutLine& line, const AboutTextExtent& extent)
{
	return {line.x + extent.iLeft, line.iTop, line.x + extent.iRight, line.iTop + extent.iAscent + extent.iDescent};
}

int fitAboutGroup(const AboutTextGroup& group, const AboutMeasure& measure)
{
	for (int iPixels = kAboutTextPixels; iPixels > kAboutSmallestPixels; --iPixels)
	{
		bool bFits = true;
		for (const AboutLine& line : group.lines)
			bFits = bFits && inside(aboutLineBox(line, measure(iPixels, line.text)), group.bounds);
		if (bFits)
			return iPixels;
	}
	return kAboutSmallestPixels;
}

} // namespace brontal::x11
