#include "strip.h"

#include "livestripart.h"

namespace brontal::live {

namespace {

using gui::CBitmap;
using gui::CPoint;
using gui::CRect;

// The cells of resource/live/stripfont.bmp (tools/gen_live_font.py).
constexpr int kCellWidth = 7;
constexpr int kCellHeight = 14;
constexpr char kFirst = 32, kLast = 126;
constexpr int kLabelInk = 0, kValueInk = 1;
constexpr int kTextTop = (Strip::kHeight - kCellHeight) / 2;
constexpr gui::CColor kBackground{20, 21, 26};
constexpr gui::CColor kRule{61, 85, 121};

const CBitmap& font()
{
	static const CBitmap atlas = CBitmap::fromBmp(liveart::stripfont().data, liveart::stripfont().size);
	return atlas;
}

} // namespace

// One run of text in one ink, cut to its width; a click calls back with
// the side of the field it landed on (-1 left half, +1 right half).
class StripField : public gui::CView
{
public:
	StripField(int x, int chars, int ink, std::string initial, std::function<void(int)> onClick = {})
	    : CView(CRect::fromSize(x, kTextTop, chars * kCellWidth, kCellHeight)), capacity(chars), row(ink),
	      text(std::move(initial)), clicked(std::move(onClick))
	{
	}

	void setText(const std::string& value)
	{
		if (value != text)
		{
			text = value;
			invalid();
		}
	}

	void draw(gui::CDrawContext& context) override
	{
		const CRect& size = getViewSize();
		context.fillRect(size, kBackground);
		for (int i = 0; i < capacity && i < static_cast<int>(text.size()); ++i)
		{
			const char c = text[i] >= kFirst && text[i] <= kLast ? text[i] : '?';
			context.drawBitmap(font(), CRect::fromSize(size.left + i * kCellWidth, size.top, kCellWidth, kCellHeight),
			                   CPoint{(c - kFirst) * kCellWidth, row * kCellHeight});
		}
	}

	gui::CMouseEventResult onMouseDown(CPoint where, uint32_t) override
	{
		if (!clicked)
			return gui::CMouseEventResult::kMouseEventNotHandled;
		const CRect& size = getViewSize();
		clicked(where.x < size.left + size.getWidth() / 2 ? -1 : 1);
		return gui::CMouseEventResult::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
	}

private:
	int capacity;
	int row;
	std::string text;
	std::function<void(int)> clicked;
};

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
	for (const Layout& field : fields)
	{
		const int labelChars = static_cast<int>(std::string(field.label).size());
		frame.addView(std::make_unique<StripField>(x, labelChars, kLabelInk, field.label));
		x += (labelChars + 1) * kCellWidth;
		const bool isPreset = std::string(field.label) == "PRESET";
		values.push_back(frame.addView(std::make_unique<StripField>(
		    x, field.chars, kValueInk, "", isPreset ? onPreset : std::function<void(int)>{})));
		x += (field.chars + 1) * kCellWidth;
	}
	frame.addView(std::make_unique<StripField>(x, 6, kLabelInk, "[SAVE]", [onSave](int) { onSave(); }));
	const int settingsChars = 10;
	frame.addView(std::make_unique<StripField>(kWidth - 8 - settingsChars * kCellWidth, settingsChars, kLabelInk,
	                                           "[SETTINGS]", [onSettings](int) { onSettings(); }));
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
