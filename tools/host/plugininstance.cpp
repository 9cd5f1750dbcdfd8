#include "host/plugininstance.h"

#include <string>

namespace brontal::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

void check(tresult result, const std::string& step)
{
	if (result != kResultOk)
		throw HostError(step + " failed (result " + std::to_string(result) + ")");
}

template <typename Interface>
void releaseAndClear(Interface*& object)
{
	if (object)
		object->release();
	object = nullptr;
}

} // namespace

PluginInstance::PluginInstance(std::shared_ptr<Module> module) : pluginModule(std::move(module))
{
	try
	{
		create();
	}
	catch (...)
	{
		shutDown();
		throw;
	}
}

PluginInstance::~PluginInstance()
{
	shutDown();
}

void PluginInstance::create()
{
	const std::optional<ClassInfo> audioClass = pluginModule->findClass(kAudioModuleCategory);
	if (!audioClass)
		throw HostError(pluginModule->path() + " has no \"" + kAudioModuleCategory + "\" class");
	componentClass = audioClass->cid;
	componentPtr = pluginModule->create<IComponent>(audioClass->cid);
	if (!componentPtr)
		throw HostError("the factory cannot create the component \"" + audioClass->name + "\"");
	check(componentPtr->initialize(&context), "component initialize");
	componentInitialized = true;
	processorPtr = queryInterface<IAudioProcessor>(componentPtr);
	if (!processorPtr)
		throw HostError("the component does not implement IAudioProcessor");

	TUID controllerTuid{};
	check(componentPtr->getControllerClassId(controllerTuid), "component getControllerClassId");
	ClassId controllerId{};
	std::copy(std::begin(controllerTuid), std::end(controllerTuid), controllerId.begin());
	controllerPtr = pluginModule->create<IEditController>(controllerId);
	if (!controllerPtr)
		throw HostError("the factory cannot create the component's controller class");
	check(controllerPtr->initialize(&context), "controller initialize");
	controllerInitialized = true;
	check(controllerPtr->setComponentHandler(&componentHandler), "controller setComponentHandler");

	componentConnection = queryInterface<IConnectionPoint>(componentPtr);
	controllerConnection = queryInterface<IConnectionPoint>(controllerPtr);
	if (componentConnection && controllerConnection)
	{
		check(componentConnection->connect(controllerConnection), "component connect");
		check(controllerConnection->connect(componentConnection), "controller connect");
		connected = true;
	}

	ByteStream state = saveComponentState();
	check(controllerPtr->setComponentState(&state), "controller setComponentState");
}

void PluginInstance::shutDown()
{
	deactivate();
	if (connected)
	{
		componentConnection->disconnect(controllerConnection);
		controllerConnection->disconnect(componentConnection);
		connected = false;
	}
	releaseAndClear(componentConnection);
	releaseAndClear(controllerConnection);
	if (controllerInitialized)
	{
		controllerPtr->setComponentHandler(nullptr);
		controllerPtr->terminate();
		controllerInitialized = false;
	}
	releaseAndClear(controllerPtr);
	releaseAndClear(processorPtr);
	if (componentInitialized)
	{
		componentPtr->terminate();
		componentInitialized = false;
	}
	releaseAndClear(componentPtr);
}

void PluginInstance::activate(const ProcessSetup& setup)
{
	deactivate();
	SpeakerArrangement inputs = setup.inputArrangement;
	SpeakerArrangement outputs = setup.outputArrangement;
	if (processorPtr->setBusArrangements(&inputs, 1, &outputs, 1) != kResultTrue)
	{
		SpeakerArrangement currentIn = 0;
		SpeakerArrangement currentOut = 0;
		processorPtr->getBusArrangement(kInput, 0, currentIn);
		processorPtr->getBusArrangement(kOutput, 0, currentOut);
		if (currentIn != inputs || currentOut != outputs)
			throw HostError("the processor refuses the requested bus arrangement");
	}
	Vst::ProcessSetup vstSetup{setup.processMode, kSample32, setup.maxBlockSize, setup.sampleRate};
	check(processorPtr->setupProcessing(vstSetup), "processor setupProcessing");
	check(componentPtr->setActive(true), "component setActive(true)");
	active = true;
	const tresult started = processorPtr->setProcessing(true);
	if (started != kResultOk && started != kNotImplemented)
		check(started, "processor setProcessing(true)");
	processing = true;
	processBlock.setProcessMode(setup.processMode);
	processBlock.context().sampleRate = setup.sampleRate;
	processBlock.context().projectTimeSamples = 0;
}

void PluginInstance::deactivate()
{
	if (processing)
	{
		processorPtr->setProcessing(false);
		processing = false;
	}
	if (active)
	{
		componentPtr->setActive(false);
		active = false;
	}
}

tresult PluginInstance::process(const AudioBlock& audio)
{
	return processBlock.run(*processorPtr, audio);
}

void PluginInstance::forwardOutputChanges()
{
	ParameterChanges& changes = processBlock.outputChanges();
	for (int32 i = 0; i < changes.getParameterCount(); ++i)
	{
		auto* queue = static_cast<ParamValueQueue*>(changes.getParameterData(i));
		if (const std::optional<ParamValue> value = queue->lastValue())
			controllerPtr->setParamNormalized(queue->getParameterId(), *value);
	}
}

ByteStream PluginInstance::saveComponentState()
{
	ByteStream state;
	check(componentPtr->getState(&state), "component getState");
	state.rewind();
	return state;
}

void PluginInstance::loadComponentState(ByteStream& state)
{
	state.rewind();
	check(componentPtr->setState(&state), "component setState");
	state.rewind();
	check(controllerPtr->setComponentState(&state), "controller setComponentState");
}

void PluginInstance::loadPreset(const Preset& preset)
{
	if (preset.classId != componentClass)
		throw HostError("the preset belongs to another plug-in (class " + classIdString(preset.classId) +
		                ", not " + classIdString(componentClass) + ")");
	ByteStream componentState(preset.componentState);
	loadComponentState(componentState);
	if (preset.controllerState)
	{
		ByteStream controllerState(*preset.controllerState);
		check(controllerPtr->setState(&controllerState), "controller setState");
	}
}

} // namespace brontal::host
