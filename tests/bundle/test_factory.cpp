// The module as a host first meets it: entry points, factory, class records,
// the published parameters.

#include "bundlefixture.h"

#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstunits.h"

#include "host/library.h"

#include <gtest/gtest.h>

#include <string>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
std::string utf8(const TChar* text)
{
	std::string out;
	for (; text && *text; ++text)
		out += static_cast<char>(*text);
	return out;
}
} // namespace

TEST(Factory, RecordsAndClassesAreAsPublished)
{
	auto module = bundle();
	const host::FactoryInfo info = module->factoryInfo();
	EXPECT_FALSE(info.vendor.empty());
	EXPECT_EQ(info.url.rfind("https://", 0), 0u);
	EXPECT_EQ(info.email.rfind("mailto:", 0), 0u);
	EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);

	const auto classes = module->classInfos();
	ASSERT_EQ(classes.size(), 2u);
	const host::ClassInfo& processor = classes[0];
	EXPECT_EQ(processor.category, "Audio Module Class");
	EXPECT_EQ(processor.name, "Brontal2");
	EXPECT_EQ(processor.cardinality, PClassInfo::kManyInstances);
	EXPECT_EQ(processor.classFlags, 1u);
	EXPECT_EQ(processor.subCategories, "Fx|Distortion");
	EXPECT_EQ(processor.vendor, "");
	EXPECT_EQ(processor.version, "2.0.0.1069");
	EXPECT_EQ(processor.sdkVersion, "VST 3.6.5");

	const host::ClassInfo& controller = classes[1];
	EXPECT_EQ(controller.category, "Component Controller Class");
	EXPECT_EQ(controller.name, "Brontal2Brontal Controller");
	EXPECT_EQ(controller.cardinality, PClassInfo::kManyInstances);
	EXPECT_EQ(controller.classFlags, 0u);
	EXPECT_EQ(controller.subCategories, "");
	EXPECT_EQ(controller.version, "2.0.0.1069");
	EXPECT_NE(processor.cid, controller.cid);

	// The processor names the controller class the factory registers.
	IComponent* component = module->create<IComponent>(processor.cid);
	ASSERT_NE(component, nullptr);
	TUID controllerId;
	EXPECT_EQ(component->getControllerClassId(controllerId), kResultOk);
	EXPECT_EQ(std::memcmp(controllerId, controller.cid.data(), 16), 0);
	IAudioProcessor* audioProcessor = host::queryInterface<IAudioProcessor>(component);
	EXPECT_NE(audioProcessor, nullptr);
	if (audioProcessor)
		audioProcessor->release();
	// The processor asks the host for the tempo, which the delay follows.
	IProcessContextRequirements* requirements = host::queryInterface<IProcessContextRequirements>(component);
	ASSERT_NE(requirements, nullptr);
	EXPECT_EQ(requirements->getProcessContextRequirements(), IProcessContextRequirements::kNeedTempo);
	requirements->release();
	component->release();

	IEditController* editController = module->create<IEditController>(controller.cid);
	ASSERT_NE(editController, nullptr);
	editController->release();
	EXPECT_EQ(module->create<IEditController>(processor.cid), nullptr);

	IPluginFactory3* factory3 = host::queryInterface<IPluginFactory3>(module->factory());
	ASSERT_NE(factory3, nullptr);
	PClassInfoW wide{};
	EXPECT_EQ(factory3->getClassInfoUnicode(1, &wide), kResultOk);
	EXPECT_EQ(utf8(wide.name), "Brontal2Brontal Controller");
	EXPECT_EQ(factory3->getClassInfoUnicode(2, &wide), kInvalidArgument);
	EXPECT_EQ(factory3->setHostContext(nullptr), kNotImplemented);
	factory3->release();
}

TEST(Factory, EntryPointsAndRepeatedFactoryCalls)
{
	const auto library = host::Library::open(host::resolveModulePath(BRONTAL_BUNDLE_PATH));
#if defined(_WIN32)
	const char* const entryPoints[] = {"GetPluginFactory", "InitDll", "ExitDll"};
#else
	const char* const entryPoints[] = {"GetPluginFactory", "ModuleEntry", "ModuleExit", "InitDll", "ExitDll"};
#endif
	for (const char* name : entryPoints)
		EXPECT_NE(library->symbol(name), nullptr) << name;
	// Nothing of the module's own classes or of the SDK leaks out.
	EXPECT_EQ(library->symbol("_ZN9Steinberg3Vst7BrontalC1Ev"), nullptr);
	EXPECT_EQ(library->symbol("_ZN9Steinberg7FObject7releaseEv"), nullptr);

	using GetFactory = IPluginFactory*(PLUGIN_API*)();
	auto getFactory = library->function<GetFactory>("GetPluginFactory");
	ASSERT_TRUE(library->enter());
	IPluginFactory* first = getFactory();
	IPluginFactory* second = getFactory();
	EXPECT_EQ(first, second);
	EXPECT_EQ(first->countClasses(), 2);
	second->release();
	first->release();
	// Once released, a new factory is built on demand.
	IPluginFactory* third = getFactory();
	ASSERT_NE(third, nullptr);
	EXPECT_EQ(third->countClasses(), 2);
	third->release();
	EXPECT_TRUE(library->exit());
}

TEST(Parameters, InPublishedOrderWithTheirShapes)
{
	host::PluginInstance instance(bundle());
	IEditController* controller = instance.controller();
	// The nineteen, the tuner's five, the switches' pedals, the program choice.
	ASSERT_EQ(controller->getParameterCount(), 24 + 16 + 1);

	struct Expected
	{
		const char* title;
		int32 stepCount;
		int32 flags;
		double defaultValue;
	};
	const double f08 = static_cast<double>(0.8f), f055 = static_cast<double>(0.55f), f01 = static_cast<double>(0.1f);
	const Expected expected[24] = {
	    {"Input Selection", 1, ParameterInfo::kCanAutomate, 1.0},
	    {"Gate/Compressor ON OFF", 1, ParameterInfo::kCanAutomate, 1.0},
	    {"Compressor Level", 0, ParameterInfo::kCanAutomate, f08},
	    {"Distortion ON OFF", 1, ParameterInfo::kCanAutomate, 1.0},
	    {"Distortion Level", 0, ParameterInfo::kCanAutomate, f055},
	    {"Stereo Enhancer ON OFF", 1, ParameterInfo::kCanAutomate, 0.0},
	    {"Delay ON OFF", 1, ParameterInfo::kCanAutomate, 1.0},
	    {"Modulation ON OFF", 1, ParameterInfo::kCanAutomate, 1.0},
	    {"Chorus Speed", 0, ParameterInfo::kCanAutomate, f01},
	    {"Reverb ON OFF", 1, ParameterInfo::kCanAutomate, 1.0},
	    {"Delay Level", 0, ParameterInfo::kCanAutomate, 0.75},
	    {"Reverb Level", 0, ParameterInfo::kCanAutomate, f055},
	    {"Output Left Vumeter", 0, ParameterInfo::kIsReadOnly, 0.0},
	    {"Output Right Vumeter", 0, ParameterInfo::kIsReadOnly, 0.0},
	    {"Input Clipping Led", 0, ParameterInfo::kIsReadOnly, 0.0},
	    {"Ouput Clipping Led", 0, ParameterInfo::kIsReadOnly, 0.0},
	    {"Compression Led", 0, ParameterInfo::kIsReadOnly, 0.0},
	    {"Button1", 1, ParameterInfo::kCanAutomate, 0.0},
	    {"Bypass", 1, ParameterInfo::kIsBypass, 0.0},
	    // From id 21: the tuner's switch, its reference (430 to 450 Hz in
	    // 1 Hz steps, 440 in the middle), the note (MIDI number / 127), the
	    // cents ((cents + 50) / 100) and whether a note is held.
	    {"Tuner ON OFF", 1, ParameterInfo::kCanAutomate, 0.0},
	    {"Tuner Reference", 20, ParameterInfo::kCanAutomate, 0.5},
	    {"Tuner Note", 127, ParameterInfo::kIsReadOnly, 0.0},
	    {"Tuner Cents", 0, ParameterInfo::kIsReadOnly, 0.5},
	    {"Tuner Note Held", 1, ParameterInfo::kIsReadOnly, 0.0},
	};
	for (int32 index = 0; index < 24; ++index)
	{
		SCOPED_TRACE(index);
		ParameterInfo info{};
		ASSERT_EQ(controller->getParameterInfo(index, info), kResultOk);
		EXPECT_EQ(info.id, static_cast<ParamID>(index < 19 ? index + 1 : index + 2));
		EXPECT_EQ(utf8(info.title), expected[index].title);
		EXPECT_EQ(utf8(info.shortTitle), "");
		EXPECT_EQ(utf8(info.units), "");
		EXPECT_EQ(info.stepCount, expected[index].stepCount);
		EXPECT_EQ(info.flags, expected[index].flags);
		EXPECT_EQ(info.unitId, kRootUnitId);
		EXPECT_EQ(info.defaultNormalizedValue, expected[index].defaultValue);
		EXPECT_EQ(controller->getParamNormalized(info.id), expected[index].defaultValue);
	}
	EXPECT_EQ(controller->getParamNormalized(kCompressorLevel), 0.800000011920929);
	ParameterInfo info{};
	EXPECT_NE(controller->getParameterInfo(24 + 16 + 1, info), kResultOk);

	// A hold and a toggle pedal for each switch a foot may want, from id 26,
	// hidden from the host's lists.
	const char* const switches[8] = {"Input Selection", "Gate/Compressor", "Distortion", "Stereo Enhancer",
	                                 "Delay",           "Modulation",      "Reverb",     "Bypass"};
	for (int32 index = 24; index < 24 + 16; ++index)
	{
		SCOPED_TRACE(index);
		ASSERT_EQ(controller->getParameterInfo(index, info), kResultOk);
		EXPECT_EQ(info.id, static_cast<ParamID>(26 + index - 24));
		EXPECT_EQ(utf8(info.title),
		          std::string(switches[(index - 24) / 2]) + ((index - 24) % 2 ? " Pedal Toggle" : " Pedal Hold"));
		EXPECT_EQ(info.flags, ParameterInfo::kIsHidden);
		EXPECT_EQ(info.stepCount, 0);
		EXPECT_EQ(info.defaultNormalizedValue, 0.0);
	}

	String128 text{};
	ASSERT_EQ(controller->getParamStringByValue(kDistortionOnOff, 0.5, text), kResultOk);
	EXPECT_EQ(utf8(text), "Off");
	ASSERT_EQ(controller->getParamStringByValue(kDistortionOnOff, 0.51, text), kResultOk);
	EXPECT_EQ(utf8(text), "On");
	ASSERT_EQ(controller->getParamStringByValue(kDelayLevel, 0.25, text), kResultOk);
	EXPECT_EQ(utf8(text), "0.2500");
	// The delimiters are not parameters.
	EXPECT_NE(controller->getParamStringByValue(0, 0.5, text), kResultOk);
	EXPECT_NE(controller->getParamStringByValue(20, 0.5, text), kResultOk);

	IUnitInfo* units = host::queryInterface<IUnitInfo>(controller);
	ASSERT_NE(units, nullptr);
	ASSERT_EQ(units->getUnitCount(), 1);
	UnitInfo unit{};
	ASSERT_EQ(units->getUnitInfo(0, unit), kResultOk);
	EXPECT_EQ(unit.id, 1);
	EXPECT_EQ(unit.parentUnitId, kRootUnitId);
	// Its programs are the program choice's list (test_programs.cpp).
	EXPECT_EQ(unit.programListId, 42);
	EXPECT_EQ(utf8(unit.name), "Unit1");
	EXPECT_EQ(units->getProgramListCount(), 1);
	units->release();
}

// No parameter is a natural target for a MIDI controller: every question is
// answered no, and the id is left as the host passed it.
TEST(Controller, MidiMappingClaimsNoController)
{
	host::PluginInstance instance(bundle());
	IMidiMapping* mapping = host::queryInterface<IMidiMapping>(instance.controller());
	ASSERT_NE(mapping, nullptr);
	for (int32 bus : {0, 1})
		for (int16 channel : {0, 5, 15})
			for (int cc = 0; cc < kCountCtrlNumber; ++cc)
			{
				ParamID id = 12345;
				EXPECT_EQ(mapping->getMidiControllerAssignment(bus, channel, static_cast<CtrlNumber>(cc), id),
				          kResultFalse)
				    << "bus " << bus << " channel " << channel << " cc " << cc;
				EXPECT_EQ(id, 12345u) << "cc " << cc;
			}
	mapping->release();

	IEditController2* controller2 = host::queryInterface<IEditController2>(instance.controller());
	ASSERT_NE(controller2, nullptr);
	EXPECT_EQ(controller2->openAboutBox(false), kResultFalse);
	EXPECT_EQ(controller2->openHelp(false), kResultFalse);
	controller2->release();
}
