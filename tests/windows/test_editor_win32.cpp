// The editor through the built Windows bundle: factory -> controller ->
// createView ("editor") attached to a host's HWND under Wine, with real
// input, captured by its own window handle.
#include "editorfixture_win32.h"
#include "expectations.h"
#include "testscreenshots.h"

#include "pluginterfaces/vst/ivstplugview.h"

using namespace brontal;
using namespace brontal::editortest;
using namespace brontal::wintest;
using namespace Steinberg;
using host::EditCall;

namespace {

// The window class the module registers for its windows while it has any.
bool moduleClassRegistered()
{
	WNDCLASSEXW info{};
	info.cbSize = sizeof(info);
	return GetClassInfoExW(GetModuleHandleW(L"brontal1.vst3"), L"BrontalWindow", &info) != 0;
}

int childCount(HWND hWnd)
{
	int iCount = 0;
	for (HWND hChild = GetWindow(hWnd, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
		++iCount;
	return iCount;
}

class Win32EditorTest : public Win32EditorFixture
{
};

} // namespace

TEST_F(Win32EditorTest, AttachesAsAChildOfTheHostsWindowShowingTheDefaultsAndDetachesCleanly)
{
	IPlugView* pView = createView();
	ASSERT_NE(pView, nullptr);
	EXPECT_EQ(pView->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
	EXPECT_EQ(pView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
	EXPECT_EQ(pView->canResize(), kResultFalse);
	ViewRect size;
	EXPECT_EQ(pView->getSize(&size), kResultTrue);
	EXPECT_EQ(std::make_pair(size.getWidth(), size.getHeight()), std::make_pair(1024, 768));
	EXPECT_EQ(pView->attached(testHost->container(), kPlatformTypeX11EmbedWindowID), kResultFalse);
	EXPECT_EQ(childCount(testHost->container()), 0);

	for (int iRound = 0; iRound < 2; ++iRound)
	{
		SCOPED_TRACE(iRound);
		ASSERT_EQ(attach(), kResultTrue);
		EXPECT_EQ(testHost->resizeCount(), iRound + 1);
		EXPECT_EQ(testHost->lastResize().getWidth(), 1024);
		EXPECT_EQ(testHost->lastResize().getHeight(), 768);
		const HWND hEditor = testHost->editorWindow();
		ASSERT_NE(hEditor, nullptr);
		EXPECT_EQ(childCount(testHost->container()), 1);
		EXPECT_EQ(GetParent(hEditor), testHost->container());
		EXPECT_TRUE(IsWindowVisible(hEditor));
		RECT client;
		GetClientRect(hEditor, &client);
		EXPECT_EQ(std::make_pair(int(client.right), int(client.bottom)), std::make_pair(1024, 768));
		EXPECT_TRUE(moduleClassRegistered());
		// A second attach is refused and leaves the open editor running.
		EXPECT_EQ(pView->attached(testHost->container(), kPlatformTypeHWND), kResultFalse);
		EXPECT_EQ(childCount(testHost->container()), 1);

		// The host's window in front of the editor, then away again:
		// the editor repaints what was hidden from its frame's image.
		const gui::CBitmap shot = TestHost::capture(testHost->container());
		expectLook(shot, defaultLook(), "win32-editor-default");
		expectGolden(shot, "editor-default", true);
		if (iRound == 0)
			writeScreenshot(TestHost::capture(testHost->topLevel(), true), "windows-editor");
		RedrawWindow(testHost->topLevel(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
		TestHost::settle();
		expectLook(TestHost::capture(testHost->container()), defaultLook(), "win32-editor-repainted");

		ASSERT_EQ(remove(), kResultOk);
		EXPECT_EQ(childCount(testHost->container()), 0);
		EXPECT_FALSE(moduleClassRegistered()) << "the window class outlives the last window";
	}
}

TEST_F(Win32EditorTest, AnExposeElsewhereKeepsAPendingChange)
{
	openEditor();
	// A change waits for the next tick; meanwhile Windows asks for a small
	// part far from it to be painted.
	controller()->setParamNormalized(4, 0.0);
	const HWND hEditor = testHost->editorWindow();
	const RECT corner{10, 700, 20, 710};
	InvalidateRect(hEditor, &corner, FALSE);
	UpdateWindow(hEditor);
	Look look = defaultLook();
	look.frames[4] = 0;
	expectLook(TestHost::capture(testHost->container()), look, "win32-expose-with-change");
}

TEST_F(Win32EditorTest, MetersAndLedsLightAtTheNextTick)
{
	openEditor();
	// A refused second attach must not stop the timer.
	EXPECT_EQ(view->attached(testHost->container(), kPlatformTypeHWND), kResultFalse);
	controller()->setParamNormalized(13, 1.0);
	controller()->setParamNormalized(14, 0.8);
	for (Vst::ParamID led : {15u, 16u, 17u})
		controller()->setParamNormalized(led, 1.0);
	expectLook(TestHost::capture(testHost->container()), defaultLook(), "win32-before-tick");
	TestHost::tick();
	// 1 -> 26 segments; 0.8 -> 1 - 0.2^2 = 0.96 -> 24.96 -> 25.
	Look lit = defaultLook();
	lit.iLeftSegments = 26;
	lit.iRightSegments = 25;
	lit.frames[15] = lit.frames[16] = lit.frames[17] = 1;
	const gui::CBitmap shot = TestHost::capture(testHost->container());
	expectLook(shot, lit, "win32-editor-lit");
	expectGolden(shot, "editor-lit", true);
	// The next tick starts the meters' fall: 1 - 0.1 = 0.9 -> 23.4 -> 23,
	// 0.96 - 0.1 = 0.86 -> 22.36 -> 22.
	TestHost::tick();
	lit.iLeftSegments = 23;
	lit.iRightSegments = 22;
	expectLook(TestHost::capture(testHost->container()), lit, "win32-second-tick");
}

TEST_F(Win32EditorTest, ClicksDragsAndTheWheelReachTheHostAsEdits)
{
	openEditor();
	Look look = defaultLook();

	// Footswitch of tag 2: one press toggles 1 -> 0.
	testHost->click(88 + 57, 310 + 94);
	expectCalls(calls(), {{EditCall::Kind::Begin, 2}, {EditCall::Kind::Perform, 2, 0.0}, {EditCall::Kind::End, 2}});
	EXPECT_EQ(controller()->getParamNormalized(2), 0.0);
	look.frames[2] = 0;

	// Knob of tag 3 dragged 30 px up in three moves: 0.8 + 30 / 200 = 0.95.
	instance->handler().clear();
	testHost->moveTo(175, 278);
	TestHost::mouseDown();
	for (int y : {268, 258, 248})
		testHost->moveTo(175, y);
	TestHost::mouseUp();
	std::vector<double> aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 3u);
	EXPECT_NEAR(aValues[0], 0.85, 1e-6);
	EXPECT_NEAR(aValues[1], 0.90, 1e-6);
	EXPECT_NEAR(aValues[2], 0.95, 1e-6);

	// A drag keeps the mouse beyond the host's window, and ends there:
	// the knob of tag 5 goes to 0 at 300 px below its press.
	instance->handler().clear();
	testHost->moveTo(339, 278);
	TestHost::mouseDown();
	testHost->moveTo(339, 878);
	TestHost::mouseUp();
	aValues = gesture(calls(), 5);
	ASSERT_FALSE(aValues.empty());
	EXPECT_EQ(aValues.back(), 0.0);
	EXPECT_EQ(controller()->getParamNormalized(5), 0.0);

	// A double-click sets the default again, 0.55 as a 32-bit float.
	instance->handler().clear();
	testHost->doubleClick(339, 278);
	ASSERT_FALSE(calls().empty());
	EXPECT_EQ(calls().back().kind, EditCall::Kind::End);
	EXPECT_EQ(controller()->getParamNormalized(5), double(0.55f));

	// Modifier keys as Windows reports them with the mouse (Wine's display
	// driver resets a SendInput Shift at the next real pointer move, so
	// these go to the window as the messages themselves).
	const HWND hEditor = testHost->editorWindow();
	const auto mouse = [&](UINT uMessage, int x, int y, WPARAM keys) {
		SendMessageW(hEditor, uMessage, keys, MAKELPARAM(x, y));
	};
	// With Shift, 20 px is a tenth as much: 0.95 + 0.01.
	instance->handler().clear();
	mouse(WM_LBUTTONDOWN, 175, 278, MK_LBUTTON | MK_SHIFT);
	mouse(WM_MOUSEMOVE, 175, 258, MK_LBUTTON | MK_SHIFT);
	mouse(WM_LBUTTONUP, 175, 258, MK_SHIFT);
	aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 1u);
	EXPECT_NEAR(aValues[0], 0.96, 1e-6);
	// Ctrl-click puts it back to its default, 0.8 as a 32-bit float.
	instance->handler().clear();
	mouse(WM_LBUTTONDOWN, 175, 278, MK_LBUTTON | MK_CONTROL);
	mouse(WM_LBUTTONUP, 175, 278, MK_CONTROL);
	expectCalls(calls(), {{EditCall::Kind::Begin, 3}, {EditCall::Kind::Perform, 3, double(0.8f)}, {EditCall::Kind::End, 3}});
	look.frames[3] = 12;

	// Wheel notches as Windows delivers them (screen coordinates, 120 a
	// notch, halves kept for later): the delay level knob moves one
	// sub-image a whole notch, each an edit of its own.
	instance->handler().clear();
	const POINT where = testHost->toScreen(659, 278);
	const LPARAM lPoint = MAKELPARAM(where.x, where.y);
	SendMessageW(hEditor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), lPoint);
	SendMessageW(hEditor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), lPoint);
	SendMessageW(hEditor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), lPoint);
	SendMessageW(hEditor, WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), lPoint);
	const double fOne = double(0.75f + 1.f / 15.f), fTwo = double(0.75f + 1.f / 15.f + 1.f / 15.f);
	expectCalls(calls(), {{EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, fOne}, {EditCall::Kind::End, 11},
	                      {EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, fTwo}, {EditCall::Kind::End, 11},
	                      {EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, double(float(fTwo) - 1.f / 15.f)},
	                      {EditCall::Kind::End, 11}});
	look.frames[11] = 12; // 12.25

	// Meters, LEDs and the bare panel take no input.
	instance->handler().clear();
	for (auto [x, y] : {std::pair{700, 205}, {130, 288}, {40, 700}})
		testHost->click(x, y);
	EXPECT_TRUE(calls().empty());

	expectLook(TestHost::capture(testHost->container()), look, "win32-after-gestures");
}

TEST_F(Win32EditorTest, LosingTheMouseMidDragEndsTheGestureWithoutAClick)
{
	openEditor();
	testHost->moveTo(175, 278);
	TestHost::mouseDown();
	testHost->moveTo(175, 268);
	// Something else takes the mouse (a host dialog, a shortcut).
	SetCapture(testHost->topLevel());
	TestHost::settle();
	ReleaseCapture();
	TestHost::mouseUp();
	const std::vector<double> aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 1u);
	EXPECT_NEAR(aValues[0], 0.85, 1e-6);

	// The About button pressed, then the mouse taken: no dialog.
	instance->handler().clear();
	testHost->moveTo(990, 12);
	TestHost::mouseDown();
	SetCapture(testHost->topLevel());
	TestHost::settle();
	ReleaseCapture();
	TestHost::mouseUp();
	EXPECT_EQ(FindWindowW(L"#32770", L"About Brontal2"), nullptr);
	EXPECT_TRUE(calls().empty());
}

TEST_F(Win32EditorTest, TwoInstancesEachWithItsEditorLiveAndCloseApart)
{
	openEditor();
	host::PluginInstance second(instance->module());
	TestHost secondHost;
	IPlugView* pSecondView = second.controller()->createView(Vst::ViewType::kEditor);
	ASSERT_NE(pSecondView, nullptr);
	pSecondView->setFrame(&secondHost);
	ASSERT_EQ(pSecondView->attached(secondHost.container(), kPlatformTypeHWND), kResultTrue);
	TestHost::settle();

	// Each follows its own controller: a meter on one, an LED on the other.
	controller()->setParamNormalized(13, 1.0);
	second.controller()->setParamNormalized(15, 1.0);
	TestHost::tickAll();
	Look first = defaultLook();
	first.iLeftSegments = 26;
	Look other = defaultLook();
	other.frames[15] = 1;
	expectLook(TestHost::capture(testHost->container()), first, "win32-first-of-two");
	expectLook(TestHost::capture(secondHost.container()), other, "win32-second-of-two");

	// The first closes; the second keeps its window, class and timer.
	ASSERT_EQ(remove(), kResultOk);
	EXPECT_TRUE(moduleClassRegistered());
	second.controller()->setParamNormalized(16, 1.0);
	TestHost::tickAll();
	other.frames[16] = 1;
	expectLook(TestHost::capture(secondHost.container()), other, "win32-second-alone");

	EXPECT_EQ(pSecondView->removed(), kResultOk);
	pSecondView->setFrame(nullptr);
	pSecondView->release();
	EXPECT_FALSE(moduleClassRegistered());
}
