#include "strip.h"

#include "widgets/ctext.h"

namespace brontal::live {

namespace {

using gui::CFont;
using gui::CRect;
using gui::CTextLabel;

constexpr gui::CColor kBackground{20, 21, 26};
constexpr gui::CColor kRule{61, 85, 121};
// The labels in the panel's bottom-band blue, the values near white.
constexpr CTextLabel::Style kLabel{{110, 150, 205}, false, {}, CTextLabel::Align::Left};
constexpr CTextLabel::Style kValue{{232, 236, 240}, false, {}, CTextLabel::Align::Left};

std::unique_ptr<CTextLabel> field(int x, int chars, const CTextLabel::Style& style, std::string text,
                                  std::function<void(int)> onClick = {})
{
	return std::make_unique<CTextLabel>(
	    CRect::fromSize(x, (Strip::kHeight - CFont::kCellHeight) / 2, chars * CFont::kCellWidth, CFont::kCellHeight),
	    style, std::move(text), std::move(onClick));
}

} // namespace

namespace {

// The strip's rule along its top edge, as the panel's bands have.
class Rule : public gui::CView
{
public:
	Rule() : CView(CRect::fromSize(0, 0, Strip::kWidth, 1)) {}
	void draw(gui::CDrawContext& context) override { context.fillRect(getViewSize(), kRule); }
};

} // namespace

Strip::Strip(std::function<void(int)> onPreset, std::function<void()> onSave, std::function<void()> onSettings)
    : frame(CRect::fromSize(0, 0, kWidth, kHeight))
{
	frame.setBackgroundColor(kBackground);
	frame.addView(std::make_unique<Rule>());
	// Label, then its value's width in characters, left to right.
	struct Layout
	{
		const char* label;
		int chars;
	};
	const Layout fields[] = {{"DEV", 16}, {"IN", 3}, {"RATE", 12}, {"LAT", 8}, {"DSP", 4},
	                         {"DROP", 5}, {"LEVEL", 12}, {"PRESET", 20}};
	int x = 8;
	for (const Layout& entry : fields)
	{
		const int labelChars = static_cast<int>(std::string(entry.label).size());
		frame.addView(field(x, labelChars, kLabel, entry.label));
		x += (labelChars + 1) * CFont::kCellWidth;
		const bool isPreset = std::string(entry.label) == "PRESET";
		values.push_back(frame.addView(
		    field(x, entry.chars, kValue, "", isPreset ? onPreset : std::function<void(int)>{})));
		x += (entry.chars + 1) * CFont::kCellWidth;
	}
	frame.addView(field(x, 6, kLabel, "[SAVE]", [onSave](int) { onSave(); }));
	const int settingsChars = 10;
	frame.addView(field(kWidth - 8 - settingsChars * CFont::kCellWidth, settingsChars, kLabel, "[SETTINGS]",
	                    [onSettings](int) { onSettings(); }));
}

Strip::~Strip() = default;

bool Strip::open(void* parent, Steinberg::FUnknown* hostContext)
{
	return frame.open(parent, hostContext);
}

void Strip::show(const StripFigures& figures)
{
	const std::string* texts[] = {&figures.device, &figures.input,    &figures.format, &figures.latency,
	                              &figures.load,   &figures.dropouts, &figures.levels, &figures.preset};
	for (std::size_t i = 0; i < values.size(); ++i)
		values[i]->setText(*texts[i]);
	frame.idle();
}

} // namespace brontal::live
