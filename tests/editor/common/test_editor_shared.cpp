// The editor through the built bundle, as a host on either platform meets
// it: factory -> controller -> createView ("editor") in a host window, with
// real input, read back from the screen and from the host's edits.
#include "editordriver.h"
#include "expectations.h"

#include "brontalmidilearn.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstmidilearn.h"
#include "pluginterfaces/vst/ivstplugview.h"

#include <algorithm>
#include <cstring>

namespace brontal {
DEF_CLASS_IID(IMidiLearnControl)
}

using namespace brontal;
using namespace brontal::editortest;
using namespace Steinberg;
using host::EditCall;

namespace {

class EditorTest : public SharedEditorFixture
{
protected:
	std::string image(const char* szName) const { return driver->imagePrefix() + szName; }
};

} // namespace

TEST_F(EditorTest, AttachesAsAChildShowingTheDefaultsAndDetachesCleanly)
{
	IPlugView* pView = driver->createView();
	ASSERT_NE(pView, nullptr);
	EXPECT_EQ(pView->isPlatformTypeSupported(driver->platformType()), kResultTrue);
	EXPECT_EQ(pView->isPlatformTypeSupported(driver->foreignPlatformType()), kResultFalse);
	EXPECT_EQ(pView->canResize(), kResultFalse);
	ViewRect size;
	EXPECT_EQ(pView->getSize(&size), kResultTrue);
	EXPECT_EQ(std::make_pair(size.getWidth(), size.getHeight()), std::make_pair(1024, 768));
	EXPECT_EQ(pView->attached(driver->parentHandle(), driver->foreignPlatformType()), kResultFalse);
	EXPECT_EQ(driver->childWindows(), 0);

	// The same view attached, removed and attached again.
	for (int iRound = 0; iRound < 2; ++iRound)
	{
		SCOPED_TRACE(iRound);
		ASSERT_EQ(driver->attach(), kResultTrue);
		EXPECT_EQ(driver->resizeCount(), iRound + 1);
		EXPECT_EQ(driver->lastResize().getWidth(), 1024);
		EXPECT_EQ(driver->lastResize().getHeight(), 768);
		EXPECT_EQ(driver->childWindows(), 1);
		// A second attach is refused and leaves the open editor running.
		EXPECT_EQ(pView->attached(driver->parentHandle(), driver->platformType()), kResultFalse);
		EXPECT_EQ(driver->childWindows(), 1);

		const gui::CBitmap shot = driver->screenshot();
		expectLook(shot, defaultLook(), image("editor-default"));
		expectGolden(shot, "editor-default", driver->exactGolden());
		driver->expectAttached(iRound);

		ASSERT_EQ(driver->remove(), kResultOk);
		EXPECT_EQ(driver->childWindows(), 0);
		driver->expectRemoved();
	}
}

TEST_F(EditorTest, MetersAndLedsLightAtTheNextTickAndFallAtTheOneAfter)
{
	openEditor();
	// A refused second attach must not stop the timer.
	EXPECT_EQ(driver->view()->attached(driver->parentHandle(), driver->platformType()), kResultFalse);
	controller()->setParamNormalized(13, 1.0);
	controller()->setParamNormalized(14, 0.8);
	for (Vst::ParamID led : {15u, 16u, 17u})
		controller()->setParamNormalized(led, 1.0);
	// Stored only: nothing moves before the tick.
	expectLook(driver->screenshot(), defaultLook(), image("before-tick"));
	driver->tick();
	// 1 -> 1 - 0^2 = 1: 26 segments; 0.8 -> 1 - 0.2^2 = 0.96: 24.96 -> 25.
	Look lit = defaultLook();
	lit.iLeftSegments = 26;
	lit.iRightSegments = 25;
	lit.frames[15] = lit.frames[16] = lit.frames[17] = 1;
	const gui::CBitmap shot = driver->screenshot();
	expectLook(shot, lit, image("editor-lit"));
	expectGolden(shot, "editor-lit", driver->exactGolden());
	// The next tick starts the meters' fall: 1 - 0.1 = 0.9 -> 23.4 -> 23,
	// 0.96 - 0.1 = 0.86 -> 22.36 -> 22.
	driver->tick();
	lit.iLeftSegments = 23;
	lit.iRightSegments = 22;
	expectLook(driver->screenshot(), lit, image("second-tick"));
}

TEST_F(EditorTest, MeterCurveOnOneTickThenFallsAfterTheValueDrops)
{
	openEditor();
	controller()->setParamNormalized(13, 0.5);
	controller()->setParamNormalized(15, 1.0);
	driver->tick();
	// 0.5 -> 0.75: 19.5 segments, shown as 20; the input clip LED lit.
	Look look = defaultLook();
	look.iLeftSegments = 20;
	look.frames[15] = 1;
	expectLook(driver->screenshot(), look, image("meter-first-tick"));
	// Next tick the meter's value is 0 and the display falls 0.1: 0.65 -> 17.
	driver->tick();
	look.iLeftSegments = 17;
	expectLook(driver->screenshot(), look, image("meter-second-tick"));
	// Down 0.1 a tick: 0.55 ... 0.05 after tick 8 (1.3 -> 1 segment), 0 after tick 9.
	for (int i = 3; i <= 8; ++i)
		driver->tick();
	look.iLeftSegments = 1;
	expectLook(driver->screenshot(), look, image("meter-eighth-tick"));
	driver->tick();
	look.iLeftSegments = 0;
	expectLook(driver->screenshot(), look, image("meter-ninth-tick"));
	// The LED holds until a 0 arrives, and goes dark at the tick after it.
	controller()->setParamNormalized(15, 0.0);
	expectLook(driver->screenshot(), look, image("led-before-tick"));
	driver->tick();
	look.frames[15] = 0;
	expectLook(driver->screenshot(), look, image("led-after-tick"));
}

TEST_F(EditorTest, ClicksDragsModifiersAndTheWheelReachTheHostAsEdits)
{
	openEditor();
	Look look = defaultLook();

	// Footswitch of tag 2: one press toggles 1 -> 0.
	driver->click(88 + 57, 310 + 94);
	expectCalls(calls(), {{EditCall::Kind::Begin, 2}, {EditCall::Kind::Perform, 2, 0.0}, {EditCall::Kind::End, 2}});
	EXPECT_EQ(controller()->getParamNormalized(2), 0.0);
	look.frames[2] = 0;

	// The stereo enhancer switch: 0 -> 1.
	instance->handler().clear();
	driver->click(543 + 17, 209 + 15);
	expectCalls(calls(), {{EditCall::Kind::Begin, 6}, {EditCall::Kind::Perform, 6, 1.0}, {EditCall::Kind::End, 6}});
	look.frames[6] = 1;

	// Knob of tag 3 dragged 30 px up in three moves: 0.8 + 30 / 200 = 0.95.
	instance->handler().clear();
	driver->moveTo(175, 278);
	driver->press();
	for (int y : {268, 258, 248})
		driver->moveTo(175, y);
	driver->release();
	std::vector<double> aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 3u);
	EXPECT_NEAR(aValues[0], 0.85, 1e-6);
	EXPECT_NEAR(aValues[1], 0.90, 1e-6);
	EXPECT_NEAR(aValues[2], 0.95, 1e-6);
	EXPECT_NEAR(controller()->getParamNormalized(3), 0.95, 1e-6);

	// With Shift, 20 px is a tenth as much: 0.95 + 0.01.
	instance->handler().clear();
	driver->dragWith(Modifier::Shift, 175, 278, 175, 258);
	aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 1u);
	EXPECT_NEAR(aValues[0], 0.96, 1e-6);

	// Ctrl-click puts it back to the default, 0.8 as a 32-bit float.
	instance->handler().clear();
	driver->clickWith(Modifier::Control, 175, 278);
	expectCalls(calls(), {{EditCall::Kind::Begin, 3}, {EditCall::Kind::Perform, 3, double(0.8f)}, {EditCall::Kind::End, 3}});
	look.frames[3] = 12;

	// A drag keeps the mouse beyond the host's window, and ends there: the
	// knob of tag 5 goes to 0 at 600 px below its press.
	instance->handler().clear();
	driver->moveTo(339, 278);
	driver->press();
	driver->moveTo(339, 878);
	driver->release();
	aValues = gesture(calls(), 5);
	ASSERT_FALSE(aValues.empty());
	EXPECT_EQ(aValues.back(), 0.0);
	EXPECT_EQ(controller()->getParamNormalized(5), 0.0);

	// A double-click sets the default again, 0.55 as a 32-bit float.
	instance->handler().clear();
	driver->doubleClick(339, 278);
	ASSERT_FALSE(calls().empty());
	EXPECT_EQ(calls().back().kind, EditCall::Kind::End);
	EXPECT_EQ(controller()->getParamNormalized(5), double(0.55f));

	// The wheel turns the delay level knob one sub-image a notch, each notch
	// an edit of its own: 0.75 + 1/15, + 2/15, then back down one.
	instance->handler().clear();
	driver->wheel(659, 278, 2);
	driver->wheel(659, 278, -1);
	const double fOne = double(0.75f + 1.f / 15.f), fTwo = double(0.75f + 1.f / 15.f + 1.f / 15.f);
	expectCalls(calls(), {{EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, fOne}, {EditCall::Kind::End, 11},
	                      {EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, fTwo}, {EditCall::Kind::End, 11},
	                      {EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, double(float(fTwo) - 1.f / 15.f)},
	                      {EditCall::Kind::End, 11}});
	look.frames[11] = 12; // 12.25

	// Meters, LEDs and the bare panel take no input.
	instance->handler().clear();
	for (auto [x, y] : {std::pair{700, 205}, {130, 288}, {40, 700}})
		driver->click(x, y);
	EXPECT_TRUE(calls().empty());

	driver->tick();
	expectLook(driver->screenshot(), look, image("after-gestures"));
}

namespace {

// The tuner's face on the panel, worked out by hand from its art: the face
// (bmp160, 312 x 77 a frame, one per Hz from 430) at (592, 170), the note
// glyph (bmp161, 84 x 60, C to B then none) 6, 8 into it, the needle three
// pixels wide from row 18 to 51 of the face, centred 206 + 2 px a cent.
constexpr int kFaceX = 592, kFaceY = 170, kFaceW = 312, kFaceH = 77;
constexpr uint32_t kInTune = 0x50f078, kOutOfTune = 0xff7828;

// Pixels of the shot's w x h at (x, y) that differ from the art's at (iArtX, iArtY).
int regionDifferences(const gui::CBitmap& shot, const gui::CBitmap& art, int iArtX, int iArtY, int x, int y, int w,
                      int h)
{
	int iCount = 0;
	for (int j = 0; j < h; ++j)
		for (int i = 0; i < w; ++i)
			iCount += shot.pixel(x + i, y + j) != art.pixel(iArtX + i, iArtY + j) ? 1 : 0;
	return iCount;
}

// The face for the reference frame, the glyph, and the needle at its column
// (0 for none), with the face's own pixels beside it.
void expectTuner(const gui::CBitmap& shot, int iFace, int iGlyph, int iNeedleX, uint32_t needle)
{
	static const gui::CBitmap faces = art(160), glyphs = art(161);
	EXPECT_EQ(regionDifferences(shot, glyphs, 0, iGlyph * 60, kFaceX + 6, kFaceY + 8, 84, 60), 0) << "glyph " << iGlyph;
	// The face beside the glyph and away from the needle's rows is the frame's.
	EXPECT_EQ(regionDifferences(shot, faces, 100, iFace * kFaceH + 52, kFaceX + 100, kFaceY + 52, 212, kFaceH - 52), 0)
	    << "face " << iFace;
	for (int x = kFaceX + 100; x < kFaceX + kFaceW; ++x)
		for (int y : {kFaceY + 18, kFaceY + 35, kFaceY + 51})
		{
			const bool bNeedle = iNeedleX && x >= iNeedleX - 1 && x <= iNeedleX + 1;
			const uint32_t expected = bNeedle ? needle : faces.pixel(x - kFaceX, iFace * kFaceH + y - kFaceY);
			ASSERT_EQ(shot.pixel(x, y), expected) << x << "," << y;
		}
}

} // namespace

TEST_F(EditorTest, TunerSwitchShowsTheFaceWithNoteNeedleAndReference)
{
	openEditor();
	// The lever of the tuner switch: 0 -> 1, and the face covers the display.
	driver->click(110 + 17, 542 + 15);
	expectCalls(calls(), {{EditCall::Kind::Begin, 21}, {EditCall::Kind::Perform, 21, 1.0}, {EditCall::Kind::End, 21}});
	// Nothing held yet: the glyph for no note and no needle, at 440 Hz.
	expectTuner(driver->screenshot(), 10, 12, 0, 0);

	// The readings arrive as the meters' do, shown at the next tick.
	const struct
	{
		double dNote;
		double dCents;
		int iGlyph;
		int iNeedleX;
		uint32_t needle;
	} aReadings[] = {
	    {69, 0.5, 9, kFaceX + 206, kInTune},           // A in tune
	    {40, 0.3, 4, kFaceX + 206 - 40, kOutOfTune},   // E2, 20 cents flat
	    {61, 0.99, 1, kFaceX + 206 + 98, kOutOfTune},  // C#4, 49 sharp
	    {23, 0.53, 11, kFaceX + 206 + 6, kInTune},     // B0, 3 sharp: still in tune
	    {88, 0.46, 4, kFaceX + 206 - 8, kOutOfTune},   // E6, 4 flat
	    {51.8, 0.5, 4, kFaceX + 206, kInTune},         // between steps: the nearest, E3
	    {62.3, 0.5, 2, kFaceX + 206, kInTune},         // D4
	};
	for (const auto& r : aReadings)
	{
		SCOPED_TRACE(r.dNote);
		controller()->setParamNormalized(23, r.dNote / 127.0);
		controller()->setParamNormalized(24, r.dCents);
		controller()->setParamNormalized(25, 1.0);
		driver->tick();
		expectTuner(driver->screenshot(), 10, r.iGlyph, r.iNeedleX, r.needle);
	}
	// A4 2 cents sharp, as the documentation shows the panel while tuning.
	controller()->setParamNormalized(23, 69 / 127.0);
	controller()->setParamNormalized(24, 0.52);
	driver->tick();
	const gui::CBitmap tuning = driver->screenshot();
	expectTuner(tuning, 10, 9, kFaceX + 206 + 4, kInTune);
	expectGolden(tuning, "editor-tuning", driver->exactGolden());

	// Let go: no note, no needle.
	controller()->setParamNormalized(25, 0.0);
	driver->tick();
	expectTuner(driver->screenshot(), 10, 12, 0, 0);

	// The reference: a wheel notch over the face is one Hz (441), as an edit.
	instance->handler().clear();
	driver->wheel(kFaceX + 150, kFaceY + 40, 1);
	expectCalls(calls(), {{EditCall::Kind::Begin, 22}, {EditCall::Kind::Perform, 22, double(0.5f + 1.f / 20.f)},
	                      {EditCall::Kind::End, 22}});
	expectTuner(driver->screenshot(), 11, 12, 0, 0);
	// The host's reference shows too, from the next redraw: 450 Hz.
	controller()->setParamNormalized(22, 1.0);
	driver->tick();
	expectTuner(driver->screenshot(), 20, 12, 0, 0);

	// Off, the panel is back as it was and the face takes no input.
	instance->handler().clear();
	driver->click(110 + 17, 542 + 15);
	expectCalls(calls(), {{EditCall::Kind::Begin, 21}, {EditCall::Kind::Perform, 21, 0.0}, {EditCall::Kind::End, 21}});
	instance->handler().clear();
	// (down: at 450 Hz a notch up would change nothing anyway)
	driver->wheel(kFaceX + 150, kFaceY + 40, -1);
	driver->moveTo(kFaceX + 150, kFaceY + 40);
	driver->press();
	driver->moveTo(kFaceX + 150, kFaceY + 10);
	driver->release();
	EXPECT_TRUE(calls().empty());
	driver->tick();
	expectLook(driver->screenshot(), defaultLook(), image("tuner-off"));
}

// The delay footswitch (tag 7, 144 x 188 at 600, 310) listens for a MIDI
// controller after a right-click, outlined 3 pixels wide in amber, with its
// mapping menu beside it, and nothing else on the panel changes; the
// controller heard ends both, a second right-click clears the mapping (or,
// through the open menu, stops the listening). No right-click is an edit.
TEST_F(EditorTest, ARightClickListensForAMidiControllerAndASecondOneClearsIt)
{
	openEditor();
	auto* learn = host::queryInterface<IMidiLearnControl>(controller());
	auto* live = host::queryInterface<Vst::IMidiLearn>(controller());
	ASSERT_TRUE(learn && live);
	learn->forget(7);
	const gui::CBitmap panel = compose(defaultLook());
	const auto edits = [this] {
		return std::count_if(calls().begin(), calls().end(),
		                     [](const EditCall& call) { return call.kind != EditCall::Kind::Restart; });
	};

	driver->rightClick(657, 404);
	EXPECT_EQ(learn->getLearning(), 7u);
	driver->tick();
	gui::CBitmap shot = driver->screenshot();
	int iOutline = 0, iMenu = 0, iElsewhere = 0;
	for (int y = 0; y < shot.getHeight(); ++y)
		for (int x = 0; x < shot.getWidth(); ++x)
		{
			const bool bEdge = x >= 600 && x < 744 && y >= 310 && y < 498 &&
			                   (x < 603 || x >= 741 || y < 313 || y >= 495);
			// The mapping menu beside it, 4 px off: six rows of 18 and 6 px
			// above and below them, 30 characters of 7 px and 30 px of margins.
			const bool bMenu = x >= 748 && x < 748 + 240 && y >= 310 && y < 310 + 120;
			if (bEdge)
				iOutline += shot.pixel(x, y) == 0xFFB000u;
			else if (bMenu)
				iMenu += shot.pixel(x, y) != panel.pixel(x, y);
			else
				iElsewhere += shot.pixel(x, y) != panel.pixel(x, y);
		}
	EXPECT_EQ(iOutline, 2 * 3 * 144 + 2 * 3 * (188 - 6));
	EXPECT_GT(iMenu, 240 * 120 * 9 / 10);
	EXPECT_EQ(iElsewhere, 0);

	// The pedal moves: mapped, and the outline and the menu are gone.
	ASSERT_EQ(live->onLiveMIDIControllerInput(0, 0, 64), kResultOk);
	driver->tick();
	expectLook(driver->screenshot(), defaultLook(), image("midi-learned"));
	int32 iController = 0, iChannel = 0;
	TBool bToggles = false;
	ASSERT_EQ(learn->getAssignment(7, iController, iChannel, bToggles), kResultOk);
	EXPECT_EQ(iController, 64);

	// The second right-click clears it; on a knob, a third listens and a
	// fourth stops listening.
	driver->rightClick(657, 404);
	EXPECT_EQ(learn->getAssignment(7, iController, iChannel, bToggles), kResultFalse);
	EXPECT_EQ(learn->getLearning(), 0u);
	driver->rightClick(175, 278);
	EXPECT_EQ(learn->getLearning(), 3u);
	driver->rightClick(175, 278);
	EXPECT_EQ(learn->getLearning(), 0u);
	driver->tick();
	expectLook(driver->screenshot(), defaultLook(), image("midi-stopped"));
	// The About button is nothing a pedal moves.
	driver->rightClick(990, 12);
	EXPECT_EQ(learn->getLearning(), 0u);
	EXPECT_FALSE(driver->aboutOpen());
	EXPECT_EQ(edits(), 0);
	learn->release();
	live->release();
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
	               {9, 15}, {10, 0}, {11, 0}, {12, 15}, {15, 0}, {16, 0}, {17, 0}, {18, 0}, {21, 0}};
	expectLook(driver->screenshot(), look, image("after-set-state"));
	EXPECT_TRUE(calls().empty());
}

TEST_F(EditorTest, FindsParametersAndConstrainsSize)
{
	ASSERT_NE(driver->createView(), nullptr);
	IPlugView* pView = driver->view();
	FUnknownPtr<Vst::IParameterFinder> finder(pView);
	FUnknownPtr<Vst::IContextMenuTarget> menuTarget(pView);
	ASSERT_TRUE(finder);
	ASSERT_TRUE(menuTarget);
	Vst::ParamID tag = 999;
	EXPECT_EQ(finder->findParameter(482, 209, tag), kResultFalse); // not open yet

	ASSERT_EQ(driver->attach(), kResultTrue);
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

	ASSERT_EQ(driver->remove(), kResultOk);
	EXPECT_EQ(finder->findParameter(482, 209, tag), kResultFalse);
}
