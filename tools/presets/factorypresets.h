#pragma once

// The factory presets, one table for every format's files: the .vstpreset
// files (brontal-presets) and the LV2 presets (brontal-lv2ttl).

#include "brontalparams.h"

#include <utility>
#include <vector>

namespace brontal::presets {

struct FactoryPreset
{
	const char* name;
	const char* use; // one line for the README
	// The controls that differ from the plug-in's defaults.
	std::vector<std::pair<int, float>> changes;
};

// Chosen by rendering the demo riff through each (docs/development.md lists
// the measured levels): clean settings peak well below the output clip LED,
// driven ones sit on the output saturator as the default setting does.
// Levels of effects that are off stay at the plug-in's defaults, so that
// switching one on gives its usual sound.
inline const FactoryPreset kPresets[] = {
    {"Clean Chorus", "clean rhythm with a wide chorus and a small room",
     {{kCompressorLevel, 0.35f}, {kDistortionOnOff, 0}, {kChorusSpeed, 0.55f}, {kDelayOnOff, 0},
      {kReverbLevel, 0.30f}, {kStereoEnhancerOnOff, 1}}},
    {"Light Crunch", "edge-of-breakup crunch for chords, a little room",
     {{kCompressorLevel, 0.50f}, {kDistortionLevel, 0.30f}, {kModulationOnOff, 0}, {kDelayOnOff, 0},
      {kReverbLevel, 0.25f}}},
    {"Blues Drive", "warm mid-gain drive with a short room and a faint echo",
     {{kCompressorLevel, 0.60f}, {kDistortionLevel, 0.45f}, {kModulationOnOff, 0}, {kDelayLevel, 0.35f},
      {kReverbLevel, 0.35f}}},
    {"High-Gain Lead", "saturated sustaining lead with echoes and a hall",
     {{kCompressorLevel, 0.85f}, {kDistortionLevel, 0.90f}, {kModulationOnOff, 0}, {kDelayLevel, 0.65f},
      {kReverbLevel, 0.50f}}},
    {"Metal Rhythm", "tight gated high gain, dry for palm mutes",
     {{kCompressorLevel, 1.00f}, {kDistortionLevel, 1.00f}, {kModulationOnOff, 0}, {kDelayOnOff, 0},
      {kReverbOnOff, 0}}},
    {"Ambient Swells", "clean pads: full chorus, long echoes, the longest reverb, wide",
     {{kCompressorLevel, 0.45f}, {kDistortionOnOff, 0}, {kChorusSpeed, 0.80f}, {kDelayLevel, 1.00f},
      {kReverbLevel, 1.00f}, {kStereoEnhancerOnOff, 1}}},
    {"Slapback", "light drive with a short, quickly fading eighth-note echo, no reverb",
     {{kCompressorLevel, 0.50f}, {kDistortionLevel, 0.25f}, {kModulationOnOff, 0}, {kDelayLevel, 0.55f},
      {kReverbOnOff, 0}}},
    {"Dry DI Cabinet", "every effect off: the cabinet and the output stage only",
     {{kGateCompOnOff, 0}, {kDistortionOnOff, 0}, {kModulationOnOff, 0}, {kDelayOnOff, 0}, {kReverbOnOff, 0}}},
    {"Stereo Crunch", "crunch spread wide by the stereo enhancer and a light chorus",
     {{kCompressorLevel, 0.55f}, {kDistortionLevel, 0.40f}, {kChorusSpeed, 0.25f}, {kDelayOnOff, 0},
      {kReverbLevel, 0.20f}, {kStereoEnhancerOnOff, 1}}},
    {"Surf Spring", "clean and splashy, drenched in a long reverb",
     {{kCompressorLevel, 0.30f}, {kDistortionOnOff, 0}, {kModulationOnOff, 0}, {kDelayOnOff, 0},
      {kReverbLevel, 0.75f}}},
};

// Every panel control of a preset, in id order: its change or the default.
inline std::vector<std::pair<int, float>> values(const FactoryPreset& preset)
{
	std::vector<std::pair<int, float>> result;
	for (const ParamDef& def : kParams)
	{
		if (!IsPanelControl(def))
			continue;
		float fValue = def.fDefault;
		for (const auto& [id, value] : preset.changes)
			if (id == def.iId)
				fValue = value;
		result.emplace_back(def.iId, fValue);
	}
	return result;
}

} // namespace brontal::presets
