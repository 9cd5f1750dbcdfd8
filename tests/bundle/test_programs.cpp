// Presets as programs, as a host meets them: the unit's program list through
// IUnitInfo, the program-change parameter, and a program chosen through the
// processor's queue and the controller, against the preset files.

#include "bundlefixture.h"
#include "clicks/clickmeasure.h"
#include "host/presetfile.h"
#include "playerhome.h"

#include "brontalmidilearn.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

constexpr ParamID kProgramId = 42;
constexpr UnitID kUnit = 1;

// The committed factory presets, in the order of their names.
std::vector<fs::path> factoryPresets()
{
	std::vector<fs::path> files;
	for (const auto& entry : fs::recursive_directory_iterator(fs::path(BRONTAL_SOURCE_DIR) / "resource" / "presets"))
		if (entry.path().extension() == ".vstpreset")
			files.push_back(entry.path());
	std::sort(files.begin(), files.end(),
	          [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
	return files;
}


std::string text(const String128 s)
{
	std::string out;
	for (int i = 0; s[i]; ++i)
		out += static_cast<char>(s[i] < 128 ? s[i] : '?');
	return out;
}

// A program chosen as a host chooses it: the parameter's change to the
// processor in a block, and to the controller.
void choose(host::PluginInstance& instance, double dValue)
{
	instance.block().inputChanges().add(kProgramId, dValue);
	render(instance, Stereo(64), 64);
	ASSERT_EQ(instance.controller()->setParamNormalized(kProgramId, dValue), kResultOk);
}

class Programs : public ::testing::Test
{
protected:
	void SetUp() override { fs::remove_all(playerPresetFolder()); }
	void TearDown() override { fs::remove_all(playerPresetFolder()); }
};

} // namespace

TEST_F(Programs, TheFactoryPresetsThenThePlayersAreTheUnitsProgramList)
{
	const std::vector<fs::path> factory = factoryPresets();
	ASSERT_EQ(factory.size(), 10u);
	// The player's own: a preset of ours, one that is not (left out), a copy
	// of a factory preset (the same program), and a file that is no preset.
	fs::create_directories(playerPresetFolder());
	fs::copy_file(factory[3], playerPresetFolder() / "My Tone.vstpreset");
	fs::copy_file(factory[0], playerPresetFolder() / (factory[0].stem().string() + ".vstpreset"));
	std::ofstream(playerPresetFolder() / "Broken.vstpreset") << "VST3 and nothing else";
	std::ofstream(playerPresetFolder() / "notes.txt") << "not a preset";

	auto pInstance = activeInstance();
	host::PluginInstance& instance = *pInstance;
	IUnitInfo* units = host::queryInterface<IUnitInfo>(instance.controller());
	ASSERT_NE(units, nullptr);
	UnitInfo unit{};
	ASSERT_EQ(units->getUnitInfo(0, unit), kResultOk);
	EXPECT_EQ(unit.id, kUnit);
	EXPECT_EQ(unit.programListId, static_cast<ProgramListID>(kProgramId));
	ASSERT_EQ(units->getProgramListCount(), 1);
	ProgramListInfo list{};
	ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
	EXPECT_EQ(list.id, static_cast<ProgramListID>(kProgramId));
	EXPECT_EQ(text(list.name), "Program");
	ASSERT_EQ(list.programCount, 11);
	String128 name{};
	for (int32 i = 0; i < 10; ++i)
	{
		ASSERT_EQ(units->getProgramName(list.id, i, name), kResultOk);
		EXPECT_EQ(text(name), factory[static_cast<size_t>(i)].stem().string());
	}
	ASSERT_EQ(units->getProgramName(list.id, 10, name), kResultOk);
	EXPECT_EQ(text(name), "My Tone");
	EXPECT_NE(units->getProgramName(list.id, 11, name), kResultOk);
	EXPECT_NE(units->getProgramListInfo(1, list), kResultOk);
	units->release();

	// The program change parameter, as a host maps MIDI program changes.
	ParameterInfo info{};
	ASSERT_EQ(instance.controller()->getParameterInfo(24 + 16, info), kResultOk);
	EXPECT_EQ(info.id, kProgramId);
	EXPECT_EQ(text(info.title), "Program");
	EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange);
	EXPECT_EQ(info.stepCount, 10);
	EXPECT_EQ(info.unitId, kUnit);
	ASSERT_EQ(instance.controller()->getParamStringByValue(kProgramId, 1.0, name), kResultOk);
	EXPECT_EQ(text(name), "My Tone");
	ASSERT_EQ(instance.controller()->getParamStringByValue(kProgramId, 0.3, name), kResultOk);
	EXPECT_EQ(text(name), factory[3].stem().string());

	// Any value loads the program whose name the host shows for it, the
	// player's too: what that program's file holds.
	std::map<std::string, std::vector<char>> states;
	for (const fs::path& file : factory)
		states[file.stem().string()] = host::readPreset(file.string()).componentState;
	states["My Tone"] = states[factory[3].stem().string()];
	for (int k = 0; k <= 40; ++k)
	{
		const double dValue = k / 40.0;
		ASSERT_EQ(instance.controller()->getParamStringByValue(kProgramId, dValue, name), kResultOk);
		choose(instance, dValue);
		EXPECT_EQ(instance.saveComponentState().bytes(), states[text(name)]) << dValue << " " << text(name);
		// The controller shows the same program's drive.
		float fDrive = 0.0f;
		std::memcpy(&fDrive, states[text(name)].data() + 4 * kDistortionLevel, 4);
		EXPECT_EQ(instance.controller()->getParamNormalized(kDistortionLevel), static_cast<double>(fDrive)) << dValue;
	}
}

// Each program, chosen in a fresh instance, leaves exactly the state that
// loading its .vstpreset file leaves: the processor's and the controller's,
// byte for byte. The MIDI mappings stay as they were.
TEST_F(Programs, EveryProgramLoadsTheStateOfItsPresetFile)
{
	const std::vector<fs::path> factory = factoryPresets();
	for (size_t i = 0; i < factory.size(); ++i)
	{
		SCOPED_TRACE(factory[i].filename().string());
		auto instance = activeInstance();
		auto* learn = host::queryInterface<brontal::IMidiLearnControl>(instance->controller());
		ASSERT_EQ(learn->assign(kDelayOnOff, 80, 2, true), kResultOk);
		choose(*instance, static_cast<double>(i) / 9.0);

		const host::Preset preset = host::readPreset(factory[i].string());
		EXPECT_EQ(instance->saveComponentState().bytes(), preset.componentState);
		host::ByteStream controllerState;
		ASSERT_EQ(instance->controller()->getState(&controllerState), kResultOk);
		ASSERT_TRUE(preset.controllerState.has_value());
		EXPECT_EQ(controllerState.bytes(), *preset.controllerState);
		int32 cc = 0, channel = 0;
		TBool toggles = false;
		EXPECT_EQ(learn->getAssignment(kDelayOnOff, cc, channel, toggles), kResultOk);
		EXPECT_EQ(cc, 80);
		learn->forget(kDelayOnOff);
		learn->release();
	}
}

// A program sets the panel's controls and nothing else: the host's bypass
// stays where the host put it.
TEST_F(Programs, AProgramLeavesTheBypassAlone)
{
	auto instance = activeInstance();
	instance->block().inputChanges().add(kBypass, 1.0);
	ASSERT_EQ(instance->controller()->setParamNormalized(kBypass, 1.0), kResultOk);
	choose(*instance, 4.0 / 9.0);
	host::ByteStream state = instance->saveComponentState();
	float fBypass = 0.0f, fDrive = 0.0f;
	std::memcpy(&fBypass, state.bytes().data() + 4 * kBypass, 4);
	std::memcpy(&fDrive, state.bytes().data() + 4 * kDistortionLevel, 4);
	EXPECT_EQ(fBypass, 1.0f);
	EXPECT_EQ(instance->controller()->getParamNormalized(kBypass), 1.0);
	// High-Gain Lead's drive, so the program did load.
	EXPECT_EQ(fDrive, 0.9f);
}

// Changing programs while a steady sine plays: every switch fades and every
// level glides, so no step is larger than the switches' own (equal power:
// 1.45 times the steady sound's, EverySwitchAndTheBypassCrossfade).
TEST_F(Programs, AProgramChangeWhilePlayingGivesNoStepBeyondTheSwitches)
{
	for (int i = 0; i < 10; ++i)
	{
		const int iTo = (i + 3) % 10;
		const brontal::clicks::Figures f = brontal::clicks::Measure(
		    brontal::clicks::RunChange(bundle(), kProgramId, i / 9.0, iTo / 9.0));
		EXPECT_LE(f.dRatio, 1.45) << i << " -> " << iTo << ": step " << f.fStep << " at " << f.iWhere << ", steady "
		                          << f.fSteadyStep;
	}
}
