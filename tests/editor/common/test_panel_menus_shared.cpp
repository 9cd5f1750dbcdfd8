// The preset bar and the MIDI mapping menu through the built bundle, as a
// player meets them on the panel: real clicks, the host's edits, the
// controller's state and its answers to the host, and the pixels.
#include "editordriver.h"
#include "expectations.h"

#include "brontalmidilearn.h"
#include "brontalparams.h"
#include "host/presetfile.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmidilearn.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>

using namespace brontal;
using namespace brontal::editortest;
using namespace Steinberg;
using host::EditCall;

namespace {

constexpr Vst::ParamID kProgramId = 42;

// The bar (bmp153) at 352, 56, 320 x 30: arrows 32 wide at either end.
constexpr int kBarX = 352, kBarY = 56, kBarW = 320, kBarH = 30;
constexpr int kPreviousX = kBarX + 16, kNextX = kBarX + kBarW - 16, kNameX = kBarX + kBarW / 2, kBarMidY = kBarY + 15;

// A menu (CPopupMenu) lists its items 18 px apart from 6 px in; its first
// column starts 3 px in.
constexpr int kRow = 18, kPad = 6;
int itemY(int iMenuTop, int iRow)
{
	return iMenuTop + kPad + iRow * kRow + kRow / 2;
}
int itemX(int iMenuLeft)
{
	return iMenuLeft + kPad / 2 + 20;
}

int differencesIn(const gui::CBitmap& a, const gui::CBitmap& b, int x0, int y0, int w, int h)
{
	int iCount = 0;
	for (int y = y0; y < y0 + h; ++y)
		for (int x = x0; x < x0 + w; ++x)
			iCount += a.pixel(x, y) != b.pixel(x, y);
	return iCount;
}

std::string slurp(const std::string& path)
{
	std::ifstream in(path);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}

class PanelMenuTest : public SharedEditorFixture
{
protected:
	// The bar shows exactly the composed bar with this name.
	void expectBarName(const std::string& name)
	{
		Look look = defaultLook();
		look.program = name;
		EXPECT_EQ(differencesIn(driver->screenshot(), compose(look), kBarX, kBarY, kBarW, kBarH), 0) << name;
	}
	// One edit of the program parameter, to the value of program i of n.
	void expectProgramEdit(int i, int n)
	{
		expectCalls(calls(), {{EditCall::Kind::Begin, kProgramId},
		                      {EditCall::Kind::Perform, kProgramId, double(i) / double(n - 1)},
		                      {EditCall::Kind::End, kProgramId}});
		instance->handler().clear();
	}
	// The controller's state is the preset file's, byte for byte.
	void expectPresetState(const std::string& path)
	{
		host::ByteStream state;
		ASSERT_EQ(controller()->getState(&state), kResultOk);
		const host::Preset preset = host::readPreset(path);
		ASSERT_TRUE(preset.controllerState.has_value());
		EXPECT_EQ(state.bytes(), *preset.controllerState) << path;
	}
};

} // namespace

// Next and previous step round the list (the ends wrap); the name on the
// screen follows, from the panel and from the host alike; the list's menu
// loads the chosen one. Each choice is the host's program change: one edit
// of the program parameter, after which the controller holds the program's
// preset state. The tuner's reference and the MIDI mappings stay.
TEST_F(PanelMenuTest, PresetBarStepsRoundTheListAndItsMenuChoosesAsTheHostWould)
{
	openEditor();
	const std::vector<std::string> files = factoryPresetFiles();
	const int n = int(files.size());
	auto* units = host::queryInterface<Vst::IUnitInfo>(controller());
	ASSERT_NE(units, nullptr);
	Vst::ProgramListInfo list{};
	ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
	units->release();
	ASSERT_EQ(list.programCount, n) << "the player's own presets of this run are none";
	expectBarName(presetName(files[0]));

	driver->click(kNextX, kBarMidY);
	expectProgramEdit(1, n);
	expectPresetState(files[1]);
	expectBarName(presetName(files[1]));

	// From the first, back is the last; from the last, on is the first.
	driver->click(kPreviousX, kBarMidY);
	expectProgramEdit(0, n);
	driver->click(kPreviousX, kBarMidY);
	expectProgramEdit(n - 1, n);
	expectPresetState(files[std::size_t(n - 1)]);
	expectBarName(presetName(files[std::size_t(n - 1)]));
	driver->click(kNextX, kBarMidY);
	expectProgramEdit(0, n);
	expectPresetState(files[0]);

	// The player's own: a tuner reference and a mapping, which no program touches.
	auto* learn = host::queryInterface<IMidiLearnControl>(controller());
	ASSERT_EQ(learn->assign(9, 4, -1, false), kResultOk);
	controller()->setParamNormalized(kTunerReference, 1.0);
	instance->handler().clear();
	// The menu: every program in one column under the bar, from the arrow's
	// edge; the sixth chosen.
	driver->click(kNameX, kBarMidY);
	driver->tick();
	EXPECT_TRUE(calls().empty());
	driver->click(itemX(kBarX + 32), itemY(kBarY + kBarH + 4, 5));
	expectProgramEdit(5, n);
	EXPECT_EQ(controller()->getParamNormalized(kTunerReference), 1.0);
	int32 iController = 0, iChannel = 0;
	TBool bToggles = false;
	ASSERT_EQ(learn->getAssignment(9, iController, iChannel, bToggles), kResultOk);
	EXPECT_EQ(iController, 4);
	learn->forget(9);
	learn->release();
	controller()->setParamNormalized(kTunerReference, 0.5);
	expectPresetState(files[5]);
	expectBarName(presetName(files[5]));

	// A program change from the host (or a MIDI program change it maps to
	// the parameter) shows too.
	controller()->setParamNormalized(kProgramId, 3.0 / double(n - 1));
	driver->tick();
	expectBarName(presetName(files[3]));
}

// The delay footswitch (tag 7, 144 x 188 at 600, 310). A right-click listens
// and opens the mapping menu beside it (at 748, 310); a second right-click
// there closes the menu and stops the listening; a pedal heard closes it too.
// From the menu: CC 20, then channel 3, then the mode, each reopening the
// menu; the host's answer and the player's file follow each choice. A
// project keeping its own mappings carries them in the controller's state.
TEST_F(PanelMenuTest, TheRightClickMenuAssignsACcByHandOnAChannelInAModeAndForgets)
{
	openEditor();
	auto* learn = host::queryInterface<IMidiLearnControl>(controller());
	auto* live = host::queryInterface<Vst::IMidiLearn>(controller());
	auto* mapping = host::queryInterface<Vst::IMidiMapping>(controller());
	ASSERT_TRUE(learn && live && mapping);
	learn->forget(7);
	learn->forget(10);
	const auto edits = [this] {
		return std::count_if(calls().begin(), calls().end(),
		                     [](const EditCall& call) { return call.kind != EditCall::Kind::Restart; });
	};
	// Beside the switch, 4 px from its right edge; every item in one column.
	constexpr int kMenuX = 748, kMenuY = 310;
	const int xItem = itemX(kMenuX);
	int32 iController = 0, iChannel = 0;
	TBool bToggles = false;

	driver->rightClick(657, 404);
	EXPECT_EQ(learn->getLearning(), 7u);
	driver->tick();
	const gui::CBitmap open = driver->screenshot();
	EXPECT_GT(differencesIn(open, compose(defaultLook()), kMenuX, kMenuY, 200, 100), 10000) << "the menu is shown";
	driver->rightClick(657, 404);
	EXPECT_EQ(learn->getLearning(), 0u);
	driver->tick();
	expectLook(driver->screenshot(), defaultLook(), driver->imagePrefix() + "midi-menu-closed");

	// A pedal heard while listening: learned, and the menu goes. The reverb
	// footswitch (765, 310) beneath where the menu was takes the next click.
	driver->rightClick(657, 404);
	ASSERT_EQ(live->onLiveMIDIControllerInput(0, 0, 64), kResultOk);
	instance->handler().clear();
	driver->click(xItem, itemY(kMenuY, 1));
	expectCalls(calls(), {{EditCall::Kind::Begin, 10}, {EditCall::Kind::Perform, 10, 0.0}, {EditCall::Kind::End, 10}});
	driver->click(xItem, itemY(kMenuY, 1));
	driver->rightClick(657, 404);
	ASSERT_EQ(learn->getAssignment(7, iController, iChannel, bToggles), kResultFalse)
	    << "the right-click after learning still clears";
	instance->handler().clear();

	// By hand: listening, then "CC ..." (row 1) opens 0..127 in four columns
	// of 42 rows (768 - 12 over 18) filling the frame's height; 20 is in the
	// first column.
	driver->rightClick(657, 404);
	driver->click(xItem, itemY(kMenuY, 1));
	driver->click(itemX(kMenuX), itemY(0, 20));
	ASSERT_EQ(learn->getAssignment(7, iController, iChannel, bToggles), kResultOk);
	EXPECT_EQ(std::make_tuple(iController, iChannel, bool(bToggles)), std::make_tuple(20, -1, true));
	EXPECT_EQ(learn->getLearning(), 0u);
	// Reopened, mapped: "Channel any ..." (row 2) opens Any, 1..16 at the
	// menu's place; "3" is row 3.
	driver->click(xItem, itemY(kMenuY, 2));
	driver->click(itemX(kMenuX), itemY(kMenuY, 3));
	Vst::ParamID id = 0;
	// A switch's controller goes to its pedal of the mapping's mode: the
	// delay's toggle pedal, 35 (hold, 34).
	ASSERT_EQ(mapping->getMidiControllerAssignment(0, 2, 20, id), kResultTrue);
	EXPECT_EQ(id, 35u);
	EXPECT_NE(mapping->getMidiControllerAssignment(0, 0, 20, id), kResultTrue);
	const std::string file = std::string(std::getenv("XDG_CONFIG_HOME")) + "/brontal/midi-mappings.txt";
	EXPECT_NE(slurp(file).find("\n7 20 3 toggle\n"), std::string::npos) << slurp(file);

	// Hold is row 3, Toggle row 4 (checked).
	driver->click(xItem, itemY(kMenuY, 3));
	ASSERT_EQ(mapping->getMidiControllerAssignment(0, 2, 20, id), kResultTrue);
	EXPECT_EQ(id, 34u);
	EXPECT_NE(slurp(file).find("\n7 20 3 hold\n"), std::string::npos) << slurp(file);

	// "Project keeps its own mappings" (row 6, after Forget at 5); then CC 21
	// is the project's alone.
	EXPECT_FALSE(learn->hasProjectMappings());
	driver->click(xItem, itemY(kMenuY, 6));
	EXPECT_TRUE(learn->hasProjectMappings());
	driver->click(xItem, itemY(kMenuY, 1));
	driver->click(itemX(kMenuX), itemY(0, 21));
	EXPECT_NE(slurp(file).find("\n7 20 3 hold\n"), std::string::npos) << "the player's file stays";
	host::ByteStream state;
	ASSERT_EQ(controller()->getState(&state), kResultOk);
	const std::vector<char>& bytes = state.bytes();
	EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin("midi"), std::end("midi") - 1), bytes.end());
	{
		host::PluginInstance fresh(host::Module::load(BRONTAL_BUNDLE_PATH));
		auto* freshMapping = host::queryInterface<Vst::IMidiMapping>(fresh.controller());
		ASSERT_EQ(freshMapping->getMidiControllerAssignment(0, 2, 20, id), kResultTrue) << "the player's, at first";
		host::ByteStream saved(bytes);
		ASSERT_EQ(fresh.controller()->setState(&saved), kResultOk);
		ASSERT_EQ(freshMapping->getMidiControllerAssignment(0, 2, 21, id), kResultTrue);
		EXPECT_EQ(id, 34u);
		EXPECT_NE(freshMapping->getMidiControllerAssignment(0, 0, 21, id), kResultTrue) << "channel 3's alone";
		EXPECT_NE(freshMapping->getMidiControllerAssignment(0, 2, 20, id), kResultTrue);
		freshMapping->release();
	}

	// Forget (row 5): nothing mapped, the menu closed (the click beneath
	// reaches the reverb switch again).
	driver->click(xItem, itemY(kMenuY, 5));
	EXPECT_EQ(learn->getAssignment(7, iController, iChannel, bToggles), kResultFalse);
	EXPECT_NE(mapping->getMidiControllerAssignment(0, 2, 21, id), kResultTrue);
	EXPECT_EQ(edits(), 0);
	driver->click(xItem, itemY(kMenuY, 1));
	EXPECT_EQ(edits(), 3);

	// A level is its own target: the compressor's sustain knob (tag 3,
	// 54 x 54 at 148, 251; its menu at 206, 251) on CC 20 of any channel
	// answers 3 on every channel.
	driver->rightClick(175, 278);
	driver->click(itemX(206), itemY(251, 1));
	driver->click(itemX(206), itemY(0, 20));
	ASSERT_EQ(mapping->getMidiControllerAssignment(0, 9, 20, id), kResultTrue);
	EXPECT_EQ(id, 3u);
	learn->forget(3);
	learn->setProjectMappings(false);
	learn->forget(7);
	learn->release();
	live->release();
	mapping->release();
}
