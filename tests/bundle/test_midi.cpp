// MIDI foot control as a host meets it: a controller learned or mapped by
// hand, the host's question which parameter a controller moves, that
// parameter's changes through process, and the mappings in the player's
// configuration folder and in a project.

#include "bundlefixture.h"
#include "playerhome.h"

#include "brontalmidilearn.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstmidilearn.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace brontal {
DEF_CLASS_IID(IMidiLearnControl)
}

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

// The pedals' published ids: a hold and a toggle pedal per switch, from 26.
constexpr ParamID kDelayHoldId = 34, kDelayToggleId = 35;
constexpr ParamID kReverbHoldId = 38, kBypassToggleId = 41;


fs::path mappingsFile()
{
	return playerConfigFolder() / "midi-mappings.txt";
}

std::string readFile(const fs::path& path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream text;
	text << in.rdbuf();
	return text.str();
}

void writeFile(const fs::path& path, const std::string& text)
{
	fs::create_directories(path.parent_path());
	std::ofstream(path, std::ios::binary) << text;
}

template <class I>
struct Interface
{
	I* p;
	explicit Interface(IEditController* controller) : p(host::queryInterface<I>(controller)) {}
	~Interface()
	{
		if (p)
			p->release();
	}
	I* operator->() const { return p; }
};

// What the host sends for a parameter: the points of one block, then the
// processor's saved value of the switch or level it moves.
struct Rig
{
	std::unique_ptr<host::PluginInstance> instance = activeInstance();
	Interface<IMidiMapping> mapping{instance->controller()};
	Interface<IMidiLearn> live{instance->controller()};
	Interface<brontal::IMidiLearnControl> learn{instance->controller()};

	// The id the host routes a controller to, or 0 when it is not mapped.
	ParamID route(int16 channel, int cc, int32 bus = 0)
	{
		ParamID id = 0;
		const tresult result = mapping->getMidiControllerAssignment(bus, channel, static_cast<CtrlNumber>(cc), id);
		return result == kResultTrue ? id : 0;
	}

	// One 64-sample block with the controller's values as points of the
	// parameter it is routed to, as a host turns CCs into parameter changes.
	void send(ParamID id, std::initializer_list<int> values)
	{
		int32 offset = 0;
		for (int value : values)
			instance->block().inputChanges().add(id, value / 127.0, offset += 4);
		render(*instance, Stereo(64), 64);
		instance->forwardOutputChanges();
	}

	float processorValue(ParamID id)
	{
		host::ByteStream state = instance->saveComponentState();
		float value;
		std::memcpy(&value, state.bytes().data() + 4 * id, 4);
		return value;
	}

	bool restartedForMappings()
	{
		for (const host::EditCall& call : instance->handler().calls())
			if (call.kind == host::EditCall::Kind::Restart && call.flags == kMidiCCAssignmentChanged)
				return true;
		return false;
	}
};

class Midi : public ::testing::Test
{
protected:
	void SetUp() override { fs::remove_all(playerConfigFolder()); }
};

} // namespace

TEST_F(Midi, ALearnedFootswitchTurnsItsSwitchOverAtEachPress)
{
	Rig rig;
	ASSERT_TRUE(rig.mapping.p && rig.live.p && rig.learn.p);
	// Nothing is mapped before the player learns.
	EXPECT_EQ(rig.route(2, 80), 0u);
	EXPECT_EQ(rig.live->onLiveMIDIControllerInput(0, 2, 80), kResultFalse);

	ASSERT_EQ(rig.learn->learn(kDelayOnOff), kResultOk);
	EXPECT_EQ(rig.learn->getLearning(), static_cast<ParamID>(kDelayOnOff));
	// Pitch bend is no footswitch: still listening.
	EXPECT_EQ(rig.live->onLiveMIDIControllerInput(0, 2, kPitchBend), kResultFalse);
	EXPECT_EQ(rig.learn->getLearning(), static_cast<ParamID>(kDelayOnOff));
	rig.instance->handler().clear();
	ASSERT_EQ(rig.live->onLiveMIDIControllerInput(0, 2, 80), kResultOk);
	EXPECT_EQ(rig.learn->getLearning(), 0u);
	EXPECT_TRUE(rig.restartedForMappings());

	// Learned on channel 3 (index 2), switching at each press.
	EXPECT_EQ(rig.route(2, 80), kDelayToggleId);
	EXPECT_EQ(rig.route(3, 80), 0u);
	EXPECT_EQ(rig.route(2, 81), 0u);
	EXPECT_EQ(rig.route(2, 80, 1), 0u);

	// The delay is on by default; a press (127) turns it off, its release
	// (0) does nothing, the next press turns it on again. The controller
	// hears it from the processor's report.
	rig.send(kDelayToggleId, {127});
	EXPECT_EQ(rig.processorValue(kDelayOnOff), 0.0f);
	EXPECT_EQ(rig.instance->controller()->getParamNormalized(kDelayOnOff), 0.0);
	rig.send(kDelayToggleId, {0});
	EXPECT_EQ(rig.processorValue(kDelayOnOff), 0.0f);
	rig.send(kDelayToggleId, {64});
	EXPECT_EQ(rig.processorValue(kDelayOnOff), 1.0f);
	EXPECT_EQ(rig.instance->controller()->getParamNormalized(kDelayOnOff), 1.0);
	// A value below 64 is no press.
	rig.send(kDelayToggleId, {63});
	EXPECT_EQ(rig.processorValue(kDelayOnOff), 1.0f);
	// Three presses in one block, from a pedal that sends 127 and nothing on
	// release: the switch ends turned over once more.
	rig.send(kDelayToggleId, {127, 127, 127});
	EXPECT_EQ(rig.processorValue(kDelayOnOff), 0.0f);
	// Two presses: back where it was, and nothing to report.
	rig.send(kDelayToggleId, {127, 0, 127});
	EXPECT_EQ(rig.processorValue(kDelayOnOff), 0.0f);
	EXPECT_FALSE(rig.instance->block().outputChanges().lastValue(kDelayOnOff).has_value());

	// A second right-click clears: the controller is no longer routed.
	rig.instance->handler().clear();
	ASSERT_EQ(rig.learn->forget(kDelayOnOff), kResultOk);
	EXPECT_TRUE(rig.restartedForMappings());
	EXPECT_EQ(rig.route(2, 80), 0u);
	EXPECT_EQ(rig.learn->forget(kDelayOnOff), kResultFalse);
}

TEST_F(Midi, AHeldPedalSwitchesOnFrom64OnAnyChannel)
{
	Rig rig;
	ASSERT_EQ(rig.learn->assign(kReverbOnOff, 20, -1, false), kResultOk);
	for (int16 channel = 0; channel < 16; ++channel)
		EXPECT_EQ(rig.route(channel, 20), kReverbHoldId) << channel;
	int32 cc = 0, channel = 0;
	TBool toggles = true;
	ASSERT_EQ(rig.learn->getAssignment(kReverbOnOff, cc, channel, toggles), kResultOk);
	EXPECT_EQ(cc, 20);
	EXPECT_EQ(channel, -1);
	EXPECT_FALSE(toggles);

	// On while held at 64 or above, off below, whatever it was.
	for (const auto& [value, expected] : {std::pair{63, 0.0f}, {64, 1.0f}, {127, 1.0f}, {127, 1.0f}, {0, 0.0f}, {1, 0.0f}})
	{
		rig.send(kReverbHoldId, {value});
		EXPECT_EQ(rig.processorValue(kReverbOnOff), expected) << value;
		EXPECT_EQ(rig.instance->controller()->getParamNormalized(kReverbOnOff), expected) << value;
	}
	// The last point of the block counts.
	rig.send(kReverbHoldId, {127, 10});
	EXPECT_EQ(rig.processorValue(kReverbOnOff), 0.0f);

	// A mapping on one channel takes the controller from the any-channel one.
	ASSERT_EQ(rig.learn->assign(kBypass, 20, 4, true), kResultOk);
	EXPECT_EQ(rig.route(4, 20), kBypassToggleId);
	EXPECT_EQ(rig.route(5, 20), 0u);
	EXPECT_EQ(rig.learn->getAssignment(kReverbOnOff, cc, channel, toggles), kResultFalse);
	// And a parameter keeps one mapping: mapped again, the old one goes.
	ASSERT_EQ(rig.learn->assign(kBypass, 21, 4, true), kResultOk);
	EXPECT_EQ(rig.route(4, 20), 0u);
	EXPECT_EQ(rig.route(4, 21), kBypassToggleId);
}

TEST_F(Midi, AnExpressionPedalSweepsALevelOverItsRange)
{
	Rig rig;
	ASSERT_EQ(rig.learn->learn(kDistortionLevel), kResultOk);
	ASSERT_EQ(rig.live->onLiveMIDIControllerInput(0, 0, 11), kResultOk);
	// A level is the controller's own target: the host sends cc/127.
	ASSERT_EQ(rig.route(0, 11), static_cast<ParamID>(kDistortionLevel));
	for (int value = 0; value <= 127; ++value)
	{
		rig.send(kDistortionLevel, {value});
		EXPECT_EQ(rig.processorValue(kDistortionLevel), static_cast<float>(value / 127.0)) << value;
	}
	// The ends of the sweep are the ends of the knob as the host shows it.
	String128 low{}, high{};
	ASSERT_EQ(rig.instance->controller()->getParamStringByValue(kDistortionLevel, 0.0, low), kResultOk);
	ASSERT_EQ(rig.instance->controller()->getParamStringByValue(kDistortionLevel, 1.0, high), kResultOk);
	EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(low)), u"0.0000");
	EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(high)), u"1.0000");
}

TEST_F(Midi, OnlyControlsAFootMayMoveAreLearned)
{
	Rig rig;
	// Meters, LEDs, the About button, the pedals themselves, the delimiters
	// and unknown ids are refused, and nothing listens.
	for (ParamID id : {13u, 15u, 18u, 20u, 21u, 26u, 35u, 42u, 1000u})
	{
		EXPECT_EQ(rig.learn->learn(id), kInvalidArgument) << id;
		EXPECT_EQ(rig.learn->assign(id, 1, 0, false), kInvalidArgument) << id;
	}
	EXPECT_EQ(rig.learn->getLearning(), 0u);
	// Controllers and channels out of range.
	EXPECT_EQ(rig.learn->assign(kDelayOnOff, 128, 0, true), kInvalidArgument);
	EXPECT_EQ(rig.learn->assign(kDelayOnOff, -1, 0, true), kInvalidArgument);
	EXPECT_EQ(rig.learn->assign(kDelayOnOff, 1, 16, true), kInvalidArgument);
	EXPECT_EQ(rig.learn->assign(kDelayOnOff, 1, -2, true), kInvalidArgument);
	// Listening can be called off; what is heard then maps nothing.
	ASSERT_EQ(rig.learn->learn(kDelayLevel), kResultOk);
	ASSERT_EQ(rig.learn->learn(0), kResultOk);
	EXPECT_EQ(rig.live->onLiveMIDIControllerInput(0, 0, 7), kResultFalse);
	EXPECT_EQ(rig.route(0, 7), 0u);
	EXPECT_FALSE(fs::exists(mappingsFile()));
	// The host's questions out of range are answered no.
	ASSERT_EQ(rig.learn->assign(kDelayLevel, 7, -1, false), kResultOk);
	EXPECT_EQ(rig.route(16, 7), 0u);
	EXPECT_EQ(rig.route(-1, 7), 0u);
	EXPECT_EQ(rig.route(0, kAfterTouch), 0u);
}

TEST_F(Midi, MappingsOutliveTheHostInThePlayersFolder)
{
	{
		Rig rig;
		ASSERT_EQ(rig.learn->learn(kDelayOnOff), kResultOk);
		ASSERT_EQ(rig.live->onLiveMIDIControllerInput(0, 2, 80), kResultOk);
		ASSERT_EQ(rig.learn->assign(kChorusSpeed, 4, -1, false), kResultOk);
		ASSERT_EQ(rig.learn->assign(kReverbOnOff, 81, 15, false), kResultOk);
	}
	EXPECT_EQ(readFile(mappingsFile()),
	          "# Brontal MIDI mappings, one a line: parameter id, controller (0-127),\n"
	          "# channel (1-16 or any), mode (hold or toggle for a switch, follow for a level)\n"
	          "7 80 3 toggle\n"
	          "9 4 any follow\n"
	          "10 81 16 hold\n");
	// A new host, the same player.
	Rig again;
	EXPECT_EQ(again.route(2, 80), kDelayToggleId);
	EXPECT_EQ(again.route(9, 4), static_cast<ParamID>(kChorusSpeed));
	EXPECT_EQ(again.route(15, 81), kReverbHoldId);
	EXPECT_EQ(again.route(14, 81), 0u);
}

TEST_F(Midi, ACorruptFileMapsNothingSaysSoOnceAndIsKept)
{
	const std::string corrupt[] = {
	    "7 80 3 toggle\nnonsense\n",       // a line that is no mapping
	    "7 200 3 toggle\n",                // controller out of range
	    "7 80 17 toggle\n",                // channel out of range
	    "7 80 3 follow\n",                 // a switch does not follow
	    "9 4 any toggle\n",                // a level does not toggle
	    "13 4 any follow\n",               // a meter
	    "7 80 3 toggle\n10 80 any hold\n", // one controller, two switches
	    "7 80 3 toggle\n7 81 3 toggle\n",  // one switch, two controllers
	    "7 80 3 toggle extra\n",
	    std::string("7 80 3 tog\0gle\n", 15),
	    std::string(70000, '#'), // longer than any list of mappings
	};
	for (const std::string& text : corrupt)
	{
		SCOPED_TRACE(text.substr(0, 40));
		fs::remove_all(playerConfigFolder());
		writeFile(mappingsFile(), text);
		::testing::internal::CaptureStderr();
		std::unique_ptr<Rig> rig = std::make_unique<Rig>();
		const std::string said = ::testing::internal::GetCapturedStderr();
		// One message, naming the file.
		EXPECT_EQ(said.find("[Brontal] MIDI mappings: " + mappingsFile().string()), 0u) << said;
		EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
		for (int cc : {80, 81, 4, 200})
			for (int16 channel : {0, 2, 15})
				EXPECT_EQ(rig->route(channel, cc), 0u);
		// The player's file is not overwritten behind their back: learning
		// anew keeps it aside.
		EXPECT_EQ(readFile(mappingsFile()), text);
		ASSERT_EQ(rig->learn->assign(kDelayLevel, 1, 0, false), kResultOk);
		EXPECT_EQ(readFile(fs::path(mappingsFile()) += ".bad"), text);
		EXPECT_NE(readFile(mappingsFile()).find("\n11 1 1 follow\n"), std::string::npos);
	}
	// A good file with blank lines, comments and Windows line ends reads.
	fs::remove_all(playerConfigFolder());
	writeFile(mappingsFile(), "\r\n# mine\r\n7 80 3 toggle\r\n\n9 4 any follow\r\n");
	::testing::internal::CaptureStderr();
	Rig rig;
	EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
	EXPECT_EQ(rig.route(2, 80), kDelayToggleId);
	EXPECT_EQ(rig.route(0, 4), static_cast<ParamID>(kChorusSpeed));
}

TEST_F(Midi, AProjectCarriesItsOwnMappingsWhenThePlayerAsks)
{
	host::ByteStream project;
	host::ByteStream plain;
	{
		Rig rig;
		ASSERT_EQ(rig.learn->assign(kDelayOnOff, 80, 2, true), kResultOk);
		// Without asking, the state carries no mappings: no 'midi' chunk.
		ASSERT_EQ(rig.instance->controller()->getState(&plain), kResultOk);
		const std::string plainText(plain.bytes().begin(), plain.bytes().end());
		EXPECT_EQ(plainText.find("midi"), std::string::npos);
		ASSERT_EQ(rig.learn->setProjectMappings(true), kResultOk);
		EXPECT_TRUE(rig.learn->hasProjectMappings());
		// The project's own start from the player's; changed, they stay the
		// project's and the player's file keeps its one mapping.
		EXPECT_EQ(rig.route(2, 80), kDelayToggleId);
		ASSERT_EQ(rig.learn->assign(kReverbOnOff, 90, -1, false), kResultOk);
		ASSERT_EQ(rig.instance->controller()->getState(&project), kResultOk);
		EXPECT_NE(std::string(project.bytes().begin(), project.bytes().end()).find("midi"), std::string::npos);
	}
	EXPECT_EQ(readFile(mappingsFile()).find("10 90"), std::string::npos);

	// Another session of the same player: the project brings its mappings.
	Rig rig;
	EXPECT_EQ(rig.route(0, 90), 0u);
	project.rewind();
	ASSERT_EQ(rig.instance->controller()->setState(&project), kResultOk);
	EXPECT_TRUE(rig.learn->hasProjectMappings());
	EXPECT_EQ(rig.route(0, 90), kReverbHoldId);
	EXPECT_EQ(rig.route(2, 80), kDelayToggleId);
	// A state without mappings (a preset's) leaves them alone.
	plain.rewind();
	ASSERT_EQ(rig.instance->controller()->setState(&plain), kResultOk);
	EXPECT_EQ(rig.route(0, 90), kReverbHoldId);
	// Given up, the player's own count again.
	ASSERT_EQ(rig.learn->setProjectMappings(false), kResultOk);
	EXPECT_EQ(rig.route(0, 90), 0u);
	EXPECT_EQ(rig.route(2, 80), kDelayToggleId);

	// A project whose mappings do not read keeps the player's, with a message:
	// the record, then a 'midi' chunk (version 1) whose text is no mapping.
	std::vector<char> bytes(plain.bytes().begin(), plain.bytes().begin() + 80);
	const std::string text = "7 80 3 sideways\n";
	for (uint32_t word : {0x6964696du, 1u, static_cast<uint32_t>(8 + text.size()), 1u,
	                      static_cast<uint32_t>(text.size())})
		for (int b = 0; b < 4; ++b)
			bytes.push_back(static_cast<char>(word >> (8 * b)));
	bytes.insert(bytes.end(), text.begin(), text.end());
	host::ByteStream broken(bytes);
	::testing::internal::CaptureStderr();
	ASSERT_EQ(rig.instance->controller()->setState(&broken), kResultOk);
	EXPECT_NE(::testing::internal::GetCapturedStderr().find("[Brontal] MIDI mappings: "), std::string::npos);
	EXPECT_FALSE(rig.learn->hasProjectMappings());
	EXPECT_EQ(rig.route(2, 80), kDelayToggleId);
}
