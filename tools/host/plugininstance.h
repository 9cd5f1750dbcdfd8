#pragma once

// One plug-in instance as a host sets it up: component and controller
// created from the factory, initialised with a host context, connected,
// the controller synchronised to the component's state; then, on request,
// activated for processing.

#include "host/hostobjects.h"
#include "host/module.h"
#include "host/presetfile.h"
#include "host/processblock.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"

#include <memory>

namespace brontal::host {

struct ProcessSetup
{
	double sampleRate = 48000.0;
	Steinberg::int32 maxBlockSize = 512;
	Steinberg::int32 processMode = Steinberg::Vst::kRealtime;
	Steinberg::Vst::SpeakerArrangement inputArrangement = Steinberg::Vst::SpeakerArr::kStereo;
	Steinberg::Vst::SpeakerArrangement outputArrangement = Steinberg::Vst::SpeakerArr::kStereo;
};

class PluginInstance
{
public:
	// Creates the first "Audio Module Class" of the module and its controller
	// (named by getControllerClassId), initialises both with the host context,
	// installs the recording component handler, connects them through
	// IConnectionPoint and passes the component's state to the controller.
	// Throws HostError with the step that failed.
	explicit PluginInstance(std::shared_ptr<Module> module);
	// Deactivates if needed, disconnects, terminates and releases the
	// controller, then the component; the module goes last.
	~PluginInstance();
	PluginInstance(const PluginInstance&) = delete;
	PluginInstance& operator=(const PluginInstance&) = delete;

	// setBusArrangements (a refusal is an error only when the arrangement is
	// not what the component already has), setupProcessing with 32-bit
	// samples, setActive(true), setProcessing(true) (kNotImplemented is
	// accepted). Throws HostError.
	void activate(const ProcessSetup& setup);
	// setProcessing(false), setActive(false); does nothing when inactive.
	void deactivate();
	bool isActive() const { return active; }

	// Runs one block through the processor with the block's changes, events
	// and context (whose sample rate follows the last activation).
	Steinberg::tresult process(const AudioBlock& audio);
	ProcessBlock& block() { return processBlock; }

	// Passes the last block's output changes on to the controller's
	// setParamNormalized, as a host does for read-only parameters.
	void forwardOutputChanges();

	// Component getState into a fresh stream, rewound; throws HostError.
	ByteStream saveComponentState();
	// Component setState and controller setComponentState from the stream;
	// throws HostError when either refuses.
	void loadComponentState(ByteStream& state);
	// As a host loads a preset: the component state into the component and
	// the controller (setComponentState), then the controller's own state if
	// the preset has one. Throws HostError when the preset belongs to another
	// class or a state is refused.
	void loadPreset(const Preset& preset);

	Steinberg::Vst::IComponent* component() const { return componentPtr; }
	Steinberg::Vst::IAudioProcessor* processor() const { return processorPtr; }
	Steinberg::Vst::IEditController* controller() const { return controllerPtr; }
	ComponentHandler& handler() { return componentHandler; }
	HostContext& hostContext() { return context; }
	const std::shared_ptr<Module>& module() const { return pluginModule; }
	const ClassId& classId() const { return componentClass; }

private:
	void create();
	void shutDown();

	// Declared first so that they are destroyed after every plug-in object.
	std::shared_ptr<Module> pluginModule;
	HostContext context;
	ComponentHandler componentHandler;
	ProcessBlock processBlock;

	ClassId componentClass{};
	Steinberg::Vst::IComponent* componentPtr = nullptr;
	Steinberg::Vst::IAudioProcessor* processorPtr = nullptr;
	Steinberg::Vst::IEditController* controllerPtr = nullptr;
	Steinberg::Vst::IConnectionPoint* componentConnection = nullptr;
	Steinberg::Vst::IConnectionPoint* controllerConnection = nullptr;
	bool componentInitialized = false;
	bool controllerInitialized = false;
	bool connected = false;
	bool active = false;
	bool processing = false;
};

} // namespace brontal::host
