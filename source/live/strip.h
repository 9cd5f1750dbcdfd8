#pragma once

// The application's own thin strip below the plug-in's panel, drawn with
// the widget layer in the panel's bottom-band style: device, input channel,
// rate and period, latency, DSP load, dropouts, input and output level, the
// preset (click its arrows for the previous or next one), a button that
// saves the sound as a preset of the user's own, and a settings button.

#include "widgets/cframe.h"
#include "widgets/ctext.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Steinberg {
class FUnknown;
}

namespace brontal::live {

struct StripFigures
{
	std::string device, input, format, latency, load, dropouts, levels, preset;
};

class Strip
{
public:
	static constexpr int kWidth = 1024;
	static constexpr int kHeight = 28;

	// onPreset(-1 or +1): the arrows; onSave, onSettings: the buttons.
	Strip(std::function<void(int)> onPreset, std::function<void()> onSave, std::function<void()> onSettings);
	~Strip();

	// Opens in a native parent window of kWidth x kHeight, whose host
	// context supplies the run loop.
	bool open(void* parent, Steinberg::FUnknown* hostContext);
	void show(const StripFigures& figures);
	const gui::CBitmap& image() const { return frame.getOffscreen(); }

private:
	gui::CFrame frame;
	std::vector<gui::CTextLabel*> values;
};

} // namespace brontal::live
