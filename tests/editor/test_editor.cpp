// The editor through the built bundle: factory -> controller -> createView
// ("editor") in a host window on a private X server, with real input.
#include "editorfixture.h"
#include "expectations.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <X11/Xlib.h>

#include <cstring>

using namespace brontal;
using namespace brontal::editortest;
using namespace Steinberg;
using gui::CBitmap;
using host::EditCall;

namespace {

Window onlyChild(Display* pDisplay, Window parent, unsigned int* pCount)
{
	Window root = 0;
	Window up = 0;
	Window* pChildren = nullptr;
	XQueryTree(pDisplay, parent, &root, &up, &pChildren, pCount);
	const Window child = *pCount ? pChildren[0] : 0;
	if (pChildren)
		XFree(pChildren);
	return child;
}

constexpr const char* kAboutTitle = "About Brontal2";
// The About box is 406 x 336; centred on the 1024 x 768 host window at (100, 100).
constexpr int kAboutX = 100 + (1024 - 406) / 2;
constexpr int kAboutY = 100 + (768 - 336) / 2;

class EditorTest : public EditorFixture
{
};

} // namespace

TEST_F(EditorTest, AttachesAsAnX11ChildShowingTheDefaultsAndDetachesCleanly)
{
	IPlugView* pView = session->createView();
	ASSERT_NE(pView, nullptr);
	EXPECT_EQ(pView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
	EXPECT_EQ(pView->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
	EXPECT_EQ(pView->canResize(), kResultFalse);
	ViewRect size;
	EXPECT_EQ(pView->getSize(&size), kResultTrue);
	EXPECT_EQ(std::make_pair(size.getWidth(), size.getHeight()), std::make_pair(1024, 768));
	EXPECT_EQ(pView->attached(reinterpret_cast<void*>(session->parent()), kPlatformTypeHWND), kResultFalse);

	ASSERT_EQ(session->attach(), kResultTrue);
	// A second attach is refused and leaves the open editor's timer running.
	EXPECT_EQ(pView->attached(reinterpret_cast<void*>(session->parent()), kPlatformTypeX11EmbedWindowID), kResultFalse);
	EXPECT_EQ(session->plugFrame().handlerCount(), 1u);
	EXPECT_EQ(session->plugFrame().timerIntervals(), std::vector<Linux::TimerInterval>{50});
	EXPECT_EQ(session->plugFrame().resizeCount(), 1);
	EXPECT_EQ(session->plugFrame().lastResize().getWidth(), 1024);
	EXPECT_EQ(session->plugFrame().lastResize().getHeight(), 768);
	unsigned int uChildren = 0;
	EXPECT_NE(onlyChild(session->display(), session->parent(), &uChildren), 0u);
	EXPECT_EQ(uChildren, 1u);

	expectLook(session->screenshot(), defaultLook(), "editor-default");
	expectGolden(session->screenshot(), "editor-default");

	ASSERT_EQ(session->remove(), kResultOk);
	EXPECT_EQ(session->plugFrame().handlerCount(), 0u);
	EXPECT_TRUE(session->plugFrame().timerIntervals().empty());
	onlyChild(session->display(), session->parent(), &uChildren);
	EXPECT_EQ(uChildren, 0u);
}

TEST_F(EditorTest, MetersAndLedsLightAtTheNextTick)
{
	openEditor();
	controller()->setParamNormalized(13, 1.0);
	controller()->setParamNormalized(14, 0.8);
	for (Vst::ParamID led : {15u, 16u, 17u})
		controller()->setParamNormalized(led, 1.0);
	// Stored only: nothing moves before the tick.
	expectLook(session->screenshot(), defaultLook(), "before-tick");
	session->tick();
	// 1 -> 1 - 0^2 = 1: 26 segments; 0.8 -> 1 - 0.2^2 = 0.96: 24.96 -> 25.
	Look lit = defaultLook();
	lit.iLeftSegments = 26;
	lit.iRightSegments = 25;
	lit.frames[15] = lit.frames[16] = lit.frames[17] = 1;
	expectLook(session->screenshot(), lit, "editor-lit");
	expectGolden(session->screenshot(), "editor-lit");
}

TEST_F(EditorTest, MeterCurveOnOneTickThenFallsAfterTheValueDrops)
{
	openEditor();
	controller()->setParamNormalized(13, 0.5);
	controller()->setParamNormalized(15, 1.0);
	session->tick();
	// 0.5 -> 0.75: 19.5 segments, shown as 20; the input clip LED lit.
	Look look = defaultLook();
	look.iLeftSegments = 20;
	look.frames[15] = 1;
	expectLook(session->screenshot(), look, "meter-first-tick");
	// Next tick the meter's value is 0 and the display falls 0.1: 0.65 -> 17.
	session->tick();
	look.iLeftSegments = 17;
	expectLook(session->screenshot(), look, "meter-second-tick");
	// Down 0.1 a tick: 0.55 ... 0.05 after tick 8 (1.3 -> 1 segment), 0 after tick 9.
	for (int i = 3; i <= 8; ++i)
		session->tick();
	look.iLeftSegments = 1;
	expectLook(session->screenshot(), look, "meter-eighth-tick");
	session->tick();
	look.iLeftSegments = 0;
	expectLook(session->screenshot(), look, "meter-ninth-tick");
	// The LED holds until a 0 arrives, and goes dark at the tick after it.
	controller()->setParamNormalized(15, 0.0);
	expectLook(session->screenshot(), look, "led-before-tick");
	session->tick();
	look.frames[15] = 0;
	expectLook(session->screenshot(), look, "led-after-tick");
}

TEST_F(EditorTest, MouseGesturesReachTheHostBracketedByBeginAndEnd)
{
	openEditor();
	Look look = defaultLook();

	// Footswitch of tag 2: one press toggles 1 -> 0.
	session->click(88 + 57, 310 + 94);
	expectCalls(calls(), {{EditCall::Kind::Begin, 2}, {EditCall::Kind::Perform, 2, 0.0}, {EditCall::Kind::End, 2}});
	EXPECT_EQ(controller()->getParamNormalized(2), 0.0);
	look.frames[2] = 0;

	// The stereo enhancer switch: 0 -> 1.
	instance->handler().clear();
	session->click(543 + 17, 209 + 15);
	expectCalls(calls(), {{EditCall::Kind::Begin, 6}, {EditCall::Kind::Perform, 6, 1.0}, {EditCall::Kind::End, 6}});
	look.frames[6] = 1;

	// Knob of tag 3 dragged 30 px up in three moves: 0.8 + 30 / 200 = 0.95.
	instance->handler().clear();
	session->moveTo(175, 278);
	session->press();
	for (int y : {268, 258, 248})
		session->moveTo(175, y);
	session->release();
	std::vector<double> aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 3u);
	EXPECT_NEAR(aValues[0], 0.85, 1e-6);
	EXPECT_NEAR(aValues[1], 0.90, 1e-6);
	EXPECT_NEAR(aValues[2], 0.95, 1e-6);
	EXPECT_NEAR(controller()->getParamNormalized(3), 0.95, 1e-6);
	look.frames[3] = 14; // 14.25

	// With Shift, 20 px is a tenth as much: 0.95 + 0.01.
	instance->handler().clear();
	session->key("Shift_L", true);
	session->moveTo(175, 278);
	session->press();
	session->moveTo(175, 258);
	session->release();
	session->key("Shift_L", false);
	aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 1u);
	EXPECT_NEAR(aValues[0], 0.96, 1e-6);

	// Ctrl-click puts it back to the default, 0.8 as a 32-bit float.
	instance->handler().clear();
	session->key("Control_L", true);
	session->click(175, 278);
	session->key("Control_L", false);
	expectCalls(calls(), {{EditCall::Kind::Begin, 3}, {EditCall::Kind::Perform, 3, double(0.8f)}, {EditCall::Kind::End, 3}});
	look.frames[3] = 12;

	// So does a double-click, on the knob of tag 5 after a drag to 0.
	session->moveTo(339, 278);
	session->press();
	session->moveTo(339, 478);
	session->release();
	EXPECT_EQ(controller()->getParamNormalized(5), 0.0);
	instance->handler().clear();
	session->doubleClick(339, 278);
	ASSERT_FALSE(calls().empty());
	EXPECT_EQ(calls().back().kind, EditCall::Kind::End);
	EXPECT_EQ(controller()->getParamNormalized(5), double(0.55f));

	// The wheel turns the delay level knob one sub-image a notch, each notch
	// an edit of its own: 0.75 + 1/15, + 2/15, then back down one.
	instance->handler().clear();
	session->wheel(659, 278, 2);
	session->wheel(659, 278, -1);
	const double fOne = double(0.75f + 1.f / 15.f), fTwo = double(0.75f + 1.f / 15.f + 1.f / 15.f);
	expectCalls(calls(), {{EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, fOne}, {EditCall::Kind::End, 11},
	                      {EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, fTwo}, {EditCall::Kind::End, 11},
	                      {EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, double(float(fTwo) - 1.f / 15.f)},
	                      {EditCall::Kind::End, 11}});
	look.frames[11] = 12; // 12.25

	// Meters, LEDs and the bare panel take no input.
	instance->handler().clear();
	for (auto [x, y] : {std::pair{700, 205}, {130, 288}, {40, 700}})
		session->click(x, y);
	EXPECT_TRUE(calls().empty());

	session->tick();
	expectLook(session->screenshot(), look, "after-gestures");
}

TEST_F(EditorTest, ForceRefreshRepaintsAtOnceAfterControllerSetState)
{
	openEditor();
	// The controller's state: marker 1.0, then ids 1 to 19.
	const float afValues[20] = {1.f, 0.f, 0.f, 0.f, 0.f, 1.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f};
	std::vector<char> bytes(sizeof(afValues));
	std::memcpy(bytes.data(), afValues, sizeof(afValues));
	host::ByteStream state(bytes);
	ASSERT_EQ(controller()->setState(&state), kResultOk);
	// No tick, no event: the repaint happened inside setState.
	Look look = defaultLook();
	look.frames = {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 15}, {6, 1}, {7, 0}, {8, 0},
	               {9, 15}, {10, 0}, {11, 0}, {12, 15}, {15, 0}, {16, 0}, {17, 0}, {18, 0}};
	expectLook(session->screenshot(), look, "after-set-state");
	EXPECT_TRUE(calls().empty());
}

TEST_F(EditorTest, FindsParametersAndConstrainsSize)
{
	ASSERT_NE(session->createView(), nullptr);
	IPlugView* pView = session->view();
	FUnknownPtr<Vst::IParameterFinder> finder(pView);
	FUnknownPtr<Vst::IContextMenuTarget> menuTarget(pView);
	ASSERT_TRUE(finder);
	ASSERT_TRUE(menuTarget);
	Vst::ParamID tag = 999;
	EXPECT_EQ(finder->findParameter(482, 209, tag), kResultFalse); // not open yet

	ASSERT_EQ(session->attach(), kResultTrue);
	const std::pair<std::pair<int, int>, Vst::ParamID> aHits[] = {
	    {{482, 209}, 1}, {{513, 240}, 1}, {{150, 260}, 3}, {{145, 404}, 2}, {{968, 0}, 18}, {{1022, 27}, 18},
	    {{660, 300}, 11}, {{600, 497}, 7}, {{543, 209}, 6},
	};
	for (const auto& [point, expected] : aHits)
	{
		tag = 999;
		EXPECT_EQ(finder->findParameter(point.first, point.second, tag), kResultOk) << point.first << "," << point.second;
		EXPECT_EQ(tag, expected) << point.first << "," << point.second;
	}
	// Over the left meter, an LED, and the bare panel: nothing.
	for (auto [x, y] : {std::pair{620, 200}, {125, 285}, {40, 700}})
		EXPECT_EQ(finder->findParameter(x, y, tag), kResultFalse) << x << "," << y;

	const std::pair<ViewRect, ViewRect> aSizes[] = {
	    {{0, 0, 800, 600}, {0, 0, 1024, 768}},
	    {{10, 10, 2000, 2000}, {10, 10, 1084, 828}},
	    {{5, 6, 1055, 806}, {5, 6, 1055, 806}},
	};
	for (auto [in, expected] : aSizes)
	{
		EXPECT_EQ(pView->checkSizeConstraint(&in), kResultOk);
		EXPECT_EQ(std::vector<int32>({in.left, in.top, in.right, in.bottom}),
		          std::vector<int32>({expected.left, expected.top, expected.right, expected.bottom}));
	}
	EXPECT_EQ(menuTarget->executeMenuItem(1234), kResultOk);
	EXPECT_EQ(menuTarget->executeMenuItem(1), kResultFalse);

	ASSERT_EQ(session->remove(), kResultOk);
	EXPECT_EQ(finder->findParameter(482, 209, tag), kResultFalse);
}

TEST_F(EditorTest, AboutOpensOnReleaseInsideAndClosesByEscapeOkOrCloseBox)
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
