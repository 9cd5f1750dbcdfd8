#pragma once
#include "widgets/platform.h"

#include <functional>
#include <memory>

namespace brontal {

constexpr int kAboutWidth = 406;
constexpr int kAboutHeight = 336;

extern const char* const kAboutTitle;
extern const char* const kAboutVersionLine;
// Six lines joined by CR LF, none after the last.
extern const char* const kAboutInfoText;

// Where a w x h dialog goes to be centred on its owner: integer halves
// truncated toward zero, never left of or above the screen origin.
gui::CPoint centreOnOwner(const gui::CRect& owner, int iWidth, int iHeight);

// The About box. It is modeless for the windowing system (the host keeps
// running); the editor ignores its own input until onClosed is called.
// Escape, Return, the OK button and the window's close box close it.
class AboutDialog
{
public:
	// Null when the platform window cannot own a dialog.
	static std::unique_ptr<AboutDialog> open(gui::IPlatformWindow& owner, std::function<void()> onClosed);

	virtual ~AboutDialog() = default;
	virtual bool isOpen() const = 0;
};

} // namespace brontal
