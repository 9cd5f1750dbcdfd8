// The About box on X11: a dialog window of its own, transient for the host's
// window and centred on it, opened by a release on its button, closed by
// Escape, OK, the window manager's close box or the editor going away.
// The rest of the editor's checks are shared with Windows (common/).
#include "editorfixture.h"

#include <X11/Xlib.h>

using namespace brontal;
using namespace brontal::editortest;
using namespace Steinberg;

namespace {

constexpr const char* kAboutTitle = "About Brontal2";
// The About box is 406 x 336; centred on the 1024 x 768 host window at (100, 100).
constexpr int kAboutX = 100 + (1024 - 406) / 2;
constexpr int kAboutY = 100 + (768 - 336) / 2;

class X11AboutTest : public EditorFixture
{
};

} // namespace

TEST_F(X11AboutTest, OpensOnReleaseInsideAndClosesByEscapeOkOrCloseBox)
{
	openEditor();
	// Pressed on the button, released elsewhere: nothing.
	session->moveTo(990, 12);
	session->press();
	session->moveTo(990, 120);
	session->release();
	EXPECT_TRUE(session->windowsTitled(kAboutTitle).empty());

	const auto openAbout = [&]() -> Window {
		session->click(990, 12);
		const auto aDialogs = session->windowsTitled(kAboutTitle);
		EXPECT_EQ(aDialogs.size(), 1u);
		return aDialogs.empty() ? 0 : aDialogs[0];
	};
	const Window dialog = openAbout();
	ASSERT_NE(dialog, 0u);
	EXPECT_EQ(session->screenPosition(dialog), std::make_pair(kAboutX, kAboutY));
	EXPECT_EQ(session->transientFor(dialog), session->parent());
	Display* pDisplay = session->display();
	EXPECT_EQ(session->atomList(dialog, "_NET_WM_WINDOW_TYPE"),
	          std::vector<Atom>{XInternAtom(pDisplay, "_NET_WM_WINDOW_TYPE_DIALOG", False)});
	const Atom deleteWindow = XInternAtom(pDisplay, "WM_DELETE_WINDOW", False);
	EXPECT_EQ(session->atomList(dialog, "WM_PROTOCOLS"), std::vector<Atom>{deleteWindow});
	EXPECT_TRUE(calls().empty()) << "the About button is not a host parameter edit";

	// While it is open the editor takes no input; the button does not open a second.
	session->click(88 + 57, 310 + 94);
	session->click(990, 12);
	EXPECT_TRUE(calls().empty());
	EXPECT_EQ(session->windowsTitled(kAboutTitle).size(), 1u);

	session->key("Escape", true);
	session->key("Escape", false);
	EXPECT_TRUE(session->windowsTitled(kAboutTitle).empty());
	session->click(88 + 57, 310 + 94);
	EXPECT_EQ(calls().size(), 3u) << "input returns once the box is closed";

	// OK, in editor coordinates: the box's OK button is at (318, 304), 64 x 23.
	ASSERT_NE(openAbout(), 0u);
	session->click(kAboutX - 100 + 318 + 32, kAboutY - 100 + 304 + 11);
	EXPECT_TRUE(session->windowsTitled(kAboutTitle).empty());

	// The close box, as a window manager delivers it.
	const Window again = openAbout();
	ASSERT_NE(again, 0u);
	XEvent event{};
	event.xclient.type = ClientMessage;
	event.xclient.window = again;
	event.xclient.message_type = XInternAtom(pDisplay, "WM_PROTOCOLS", False);
	event.xclient.format = 32;
	event.xclient.data.l[0] = long(deleteWindow);
	XSendEvent(pDisplay, again, False, NoEventMask, &event);
	session->settle();
	EXPECT_TRUE(session->windowsTitled(kAboutTitle).empty());

	// Closing the editor takes an open box with it.
	ASSERT_NE(openAbout(), 0u);
	ASSERT_EQ(session->remove(), kResultOk);
	EXPECT_TRUE(session->windowsTitled(kAboutTitle).empty());
}
