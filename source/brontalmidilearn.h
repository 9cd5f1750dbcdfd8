#pragma once

// The controller's own MIDI learn, for its editor and for any host or
// application that wants to offer it: arm a parameter, and the next
// controller heard through IMidiLearn::onLiveMIDIControllerInput is mapped
// to it; or map one by hand. A change asks the host to read the mappings
// again (kMidiCCAssignmentChanged) and is saved in the player's mappings
// file, unless the project carries its own.

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace brontal {

class IMidiLearnControl : public Steinberg::FUnknown
{
public:
	// Listens for a controller for id; 0 stops listening. kInvalidArgument
	// for a parameter no controller may move.
	virtual Steinberg::tresult PLUGIN_API learn(Steinberg::Vst::ParamID id) = 0;
	// The parameter listening, or 0.
	virtual Steinberg::Vst::ParamID PLUGIN_API getLearning() = 0;
	// Maps controller 0..127 on channel 0..15 (or -1, any) to id; for a
	// switch, toggles says whether each press turns it over (else it is on
	// while the controller is held at 64 or above). kInvalidArgument for
	// anything out of range.
	virtual Steinberg::tresult PLUGIN_API assign(Steinberg::Vst::ParamID id, Steinberg::int32 controller,
	                                             Steinberg::int32 channel, Steinberg::TBool toggles) = 0;
	virtual Steinberg::tresult PLUGIN_API forget(Steinberg::Vst::ParamID id) = 0;
	// kResultFalse when id has no mapping.
	virtual Steinberg::tresult PLUGIN_API getAssignment(Steinberg::Vst::ParamID id, Steinberg::int32& controller,
	                                                    Steinberg::int32& channel, Steinberg::TBool& toggles) = 0;
	// Whether the project keeps mappings of its own (saved in the
	// controller's state, the player's file left alone) or uses the player's.
	virtual Steinberg::tresult PLUGIN_API setProjectMappings(Steinberg::TBool own) = 0;
	virtual Steinberg::TBool PLUGIN_API hasProjectMappings() = 0;

	static const Steinberg::FUID iid;
};

DECLARE_CLASS_IID(IMidiLearnControl, 0xCEF65182, 0xAA9D44EC, 0x8724A361, 0x25D4D548)

} // namespace brontal
