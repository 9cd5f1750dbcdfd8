#pragma once
#include "aboutresource.h"
#include "version.h"
#include "widgets/platform.h"

#include <functional>
#include <memory>

namespace brontal {

inline constexpr const char* kAboutTitle = BRONTAL_ABOUT_TITLE;
inline constexpr const char* kAboutVersionLine = "Brontal2 - VST Plugin version " BRONTAL_VERSION_STR;
// Six lines joined by CR LF, none after the last.
inline constexpr const char* kAboutInfoText = "This software is free and the property of Brontal Audio.\r\n"
                                              "You may not redistribute, sell or modify it.\r\n"
                                              "\r\n"
                                              "Websites :\r\n"
                                              "https://brontal.example/\r\n"
                                              "https://pedals.brontal.example/";

// Where a w x h dialog goes to be centred on its owner: integer halves
// truncated toward zero, never left of or above the screen origin.
inline gui::CPoint centreOnOwner(const gui::CRect& owner, int iWidth, int iHeight)
{
	const int x = owner.left + (owner.getWidth() - iWidth) / 2;
	const int y = owner.top + (owner.getHeight() - iHeight) / 2;
	return {x < 0 ? 0 : x, y < 0 ? 0 : y};
}

// The About box, shown for the editor's window by the platform layer. The
// editor ignores its own input from open until onClosed. How the box is
// modal is the platform's affair: on Linux it is a transient window the
// host keeps running beside; on Windows a modal dialog that disables the
// host's window, run from the message loop just after open returns.
// Escape, the OK button and the close box close it; destroying the object
// closes it too, without calling onClosed.
class AboutDialog
{
public:
	// Null when the platform window cannot own a dialog.
	static std::unique_ptr<AboutDialog> open(gui::IPlatformWindow& owner, std::function<void()> onClosed);

	virtual ~AboutDialog() = default;
	virtual bool isOpen() const = 0;
};

} // namespace brontal
