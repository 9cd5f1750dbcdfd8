// The editor through the built bundle: factory -> controller -> createView
// ("editor") in a host window on a private X server, with real input.
#include "editorfixture.h"
#include "pngfile.h"
#include "testoptions.h"

#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <X11/Xlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

using namespace brontal;
using namespace brontal::editortest;
using namespace Steinberg;
using gui::CBitmap;
using host::EditCall;

namespace {

// The panel's layout: tag, bitmap id, frames in the strip, position.
struct Placement
{
	int iTag;
	int iBitmap;
	int iFrames;
	int x;
	int y;
};

const Placement kPlacements[] = {
	{1, 112, 2, 482, 209},  {2, 107, 2, 88, 310},   {3, 115, 16, 148, 251}, {4, 108, 2, 263, 310},
	{5, 116, 16, 308, 251}, {6, 113, 2, 543, 209},  {7, 110, 2, 600, 310},  {8, 109, 2, 431, 310},
	{9, 117, 16, 471, 251}, {10, 111, 2, 765, 310}, {11, 118, 16, 631, 251}, {12, 114, 16, 789, 251},
	{15, 106, 2, 121, 279}, {16, 104, 2, 872, 283}, {17, 105, 2, 230, 284}, {18, 152, 1, 968, 0},
};

struct MeterPlacement
{
	int iOn;
	int iOff;
	int x;
	int y;
};
const MeterPlacement kLeftMeter = {120, 119, 610, 194};
const MeterPlacement kRightMeter = {122, 121, 610, 222};

// What the panel should show: a frame per tag and lit segments per meter.
struct Look
{
	std::map<int, int> frames;
	int iLeftSegments = 0;
	int iRightSegments = 0;
};

// Defaults: switches on but the stereo enhancer; knob k of 16 frames shows
// round(15 v): 0.8 -> 12, 0.55 -> 8.25 -> 8, 0.1 -> 1.5 -> 2, 0.75 -> 11.25 -> 11.
Look defaultLook()
{
	Look look;
	look.frames = {{1, 1}, {2, 1}, {3, 12}, {4, 1}, {5, 8},  {6, 0},  {7, 1},  {8, 1},
	               {9, 2}, {10, 1}, {11, 11}, {12, 8}, {15, 0}, {16, 0}, {17, 0}, {18, 0}};
	return look;
}

CBitmap art(int iId)
{
	const std::string path = std::string(BRONTAL_SOURCE_DIR) + "/resource/bitmaps/bmp" + std::to_string(iId) + ".bmp";
	std::ifstream file(path, std::ios::binary);
	const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	CBitmap bitmap = CBitmap::fromBmp(bytes.data(), bytes.size());
	if (bitmap.isEmpty())
		ADD_FAILURE() << "cannot read " << path;
	return bitmap;
}

void blit(CBitmap& target, const CBitmap& source, int iSrcX, int iSrcY, int iWidth, int iHeight, int x, int y)
{
	for (int j = 0; j < iHeight; ++j)
		for (int i = 0; i < iWidth; ++i)
			target.row(y + j)[x + i] = source.pixel(iSrcX + i, iSrcY + j);
}

// The panel composed straight from the bitmap files.
CBitmap compose(const Look& look)
{
	CBitmap panel(1024, 768);
	const CBitmap background = art(150);
	blit(panel, background, 0, 0, 1024, 768, 0, 0);
	for (const Placement& p : kPlacements)
	{
		const CBitmap strip = art(p.iBitmap);
		const int iFrameHeight = strip.getHeight() / p.iFrames;
		blit(panel, strip, 0, look.frames.at(p.iTag) * iFrameHeight, strip.getWidth(), iFrameHeight, p.x, p.y);
	}
	for (const auto& [meter, iSegments] : {std::pair{kLeftMeter, look.iLeftSegments}, {kRightMeter, look.iRightSegments}})
	{
		const CBitmap on = art(meter.iOn);
		const CBitmap off = art(meter.iOff);
		const int iSplit = iSegments * on.getWidth() / 26;
		blit(panel, on, 0, 0, iSplit, on.getHeight(), meter.x, meter.y);
		blit(panel, off, iSplit, 0, off.getWidth() - iSplit, off.getHeight(), meter.x + iSplit, meter.y);
	}
	return panel;
}

// Pixels where some channel differs by more than `tolerance`.
int differences(const CBitmap& a, const CBitmap& b, int iTolerance, std::string* pFirst = nullptr)
{
	if (a.getWidth() != b.getWidth() || a.getHeight() != b.getHeight())
		return a.getWidth() * a.getHeight();
	int iCount = 0;
	for (int y = 0; y < a.getHeight(); ++y)
		for (int x = 0; x < a.getWidth(); ++x)
			for (int iShift = 0; iShift <= 16; iShift += 8)
			{
				const int d = int((a.pixel(x, y) >> iShift) & 0xff) - int((b.pixel(x, y) >> iShift) & 0xff);
				if (d > iTolerance || d < -iTolerance)
				{
					if (iCount++ == 0 && pFirst)
						*pFirst = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
					break;
				}
			}
	return iCount;
}

std::string outputPath(const std::string& name)
{
	return std::string(BRONTAL_TEST_OUTPUT_DIR) + "/" + name;
}

// The screen must show exactly the composed panel; on failure both images
// are left in the build directory.
void expectLook(EditorSession& session, const Look& look, const std::string& name)
{
	const CBitmap shot = session.screenshot();
	const CBitmap expected = compose(look);
	std::string first;
	const int iDiff = differences(shot, expected, 0, &first);
	EXPECT_EQ(iDiff, 0) << name << ": " << first << "; see " << outputPath(name + "-actual.png");
	if (iDiff)
	{
		writePng(outputPath(name + "-actual.png"), shot);
		writePng(outputPath(name + "-expected.png"), expected);
	}
}

// Compares with a committed golden image (a few pixels may differ), and
// with --update-images rewrites it and the documentation's copy.
void expectGolden(EditorSession& session, const std::string& name)
{
	const CBitmap shot = session.screenshot();
	const std::string golden = std::string(BRONTAL_SOURCE_DIR) + "/tests/editor/golden/" + name + ".png";
	if (g_bUpdateImages)
	{
		ASSERT_TRUE(writePng(golden, shot));
		ASSERT_TRUE(writePng(std::string(BRONTAL_SOURCE_DIR) + "/docs/img/" + name + ".png", shot));
	}
	const auto reference = readPng(golden);
	ASSERT_TRUE(reference.has_value()) << "missing " << golden;
	std::string first;
	const int iDiff = differences(shot, *reference, 2, &first);
	EXPECT_LE(iDiff, 1024 * 768 / 10000) << name << ": " << iDiff << " pixels differ, " << first;
	if (iDiff)
		writePng(outputPath(name + "-actual.png"), shot);
}

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

void expectCalls(const std::vector<EditCall>& actual, const std::vector<EditCall>& expected)
{
	ASSERT_EQ(actual.size(), expected.size());
	for (std::size_t i = 0; i < expected.size(); ++i)
	{
		EXPECT_EQ(actual[i].kind, expected[i].kind) << i;
		EXPECT_EQ(actual[i].id, expected[i].id) << i;
		EXPECT_DOUBLE_EQ(actual[i].value, expected[i].value) << i;
	}
}

// One gesture on one parameter: a begin, performs, an end. Returns the performed values.
std::vector<double> gesture(const std::vector<EditCall>& actual, Vst::ParamID id)
{
	std::vector<double> aValues;
	EXPECT_GE(actual.size(), 3u);
	if (actual.size() < 3)
		return aValues;
	EXPECT_EQ(actual.front().kind, EditCall::Kind::Begin);
	EXPECT_EQ(actual.back().kind, EditCall::Kind::End);
	for (const EditCall& call : actual)
		EXPECT_EQ(call.id, id);
	for (std::size_t i = 1; i + 1 < actual.size(); ++i)
	{
		EXPECT_EQ(actual[i].kind, EditCall::Kind::Perform) << i;
		aValues.push_back(actual[i].value);
	}
	return aValues;
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
	EXPECT_EQ(session->plugFrame().handlerCount(), 1u);
	EXPECT_EQ(session->plugFrame().timerIntervals(), std::vector<Linux::TimerInterval>{50});
	EXPECT_EQ(session->plugFrame().resizeCount(), 1);
	EXPECT_EQ(session->plugFrame().lastResize().getWidth(), 1024);
	EXPECT_EQ(session->plugFrame().lastResize().getHeight(), 768);
	unsigned int uChildren = 0;
	EXPECT_NE(onlyChild(session->display(), session->parent(), &uChildren), 0u);
	EXPECT_EQ(uChildren, 1u);

	expectLook(*session, defaultLook(), "editor-default");
	expectGolden(*session, "editor-default");

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
	expectLook(*session, defaultLook(), "before-tick");
	session->tick();
	// 1 -> 1 - 0^2 = 1: 26 segments; 0.8 -> 1 - 0.2^2 = 0.96: 24.96 -> 25.
	Look lit = defaultLook();
	lit.iLeftSegments = 26;
	lit.iRightSegments = 25;
	lit.frames[15] = lit.frames[16] = lit.frames[17] = 1;
	expectLook(*session, lit, "editor-lit");
	expectGolden(*session, "editor-lit");
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
	expectLook(*session, look, "meter-first-tick");
	// Next tick the meter's value is 0 and the display falls 0.1: 0.65 -> 17.
	session->tick();
	look.iLeftSegments = 17;
	expectLook(*session, look, "meter-second-tick");
	// Down 0.1 a tick: 0.55 ... 0.05 after tick 8 (1.3 -> 1 segment), 0 after tick 9.
	for (int i = 3; i <= 8; ++i)
		session->tick();
	look.iLeftSegments = 1;
	expectLook(*session, look, "meter-eighth-tick");
	session->tick();
	look.iLeftSegments = 0;
	expectLook(*session, look, "meter-ninth-tick");
	// The LED holds until a 0 arrives, and goes dark at the tick after it.
	controller()->setParamNormalized(15, 0.0);
	expectLook(*session, look, "led-before-tick");
	session->tick();
	look.frames[15] = 0;
	expectLook(*session, look, "led-after-tick");
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
	expectLook(*session, look, "after-gestures");
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
	expectLook(*session, look, "after-set-state");
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
