#pragma once

// The LV2 plug-ins' ports, derived from the parameter table. Audio, events
// and latency come first and never move; one control port per published
// parameter follows in id order, so a parameter added to the table appends
// a port and every earlier index stays what hosts saved.

#include "brontalparams.h"

namespace brontal::lv2 {

inline constexpr const char* kPluginUri = "https://brontal.example/lv2/brontal";
inline constexpr const char* kMonoPluginUri = "https://brontal.example/lv2/brontal-mono";
inline constexpr const char* kUiUri = "https://brontal.example/lv2/brontal#ui";
// The state property: the same bytes the VST 3 processor's state holds.
inline constexpr const char* kStateUri = "https://brontal.example/lv2/brontal#state";
// What the notify port tells of a control the DSP moved by itself (a MIDI
// controller, a program change, a restored state): an object of this type
// with the port's index (an Int) and the value in force (a Float).
inline constexpr const char* kControlValueUri = "https://brontal.example/lv2/brontal#ControlValue";
inline constexpr const char* kControlPortUri = "https://brontal.example/lv2/brontal#port";
inline constexpr const char* kControlValueKeyUri = "https://brontal.example/lv2/brontal#value";
// The player's cabinet response as an lv2:Parameter hosts offer a file
// chooser for (patch:writable, an atom:Path).
inline constexpr const char* kCabinetParameterUri = "https://brontal.example/lv2/brontal#cabinet";

// A parameter the VST 3 processor publishes: automatable (a control input),
// read-only (a control output), or the host's bypass (lv2:enabled, inverted).
// The program choice is VST 3's way to the presets; LV2 hosts have theirs
// (pset:Preset).
constexpr bool HasPort(const ParamDef& def)
{
	return def.kind != ParamKind::Program &&
	       (def.iFlags & (ParamFlags::kCanAutomate | ParamFlags::kIsReadOnly | ParamFlags::kIsBypass)) != 0;
}
constexpr bool IsOutputPort(const ParamDef& def)
{
	return (def.iFlags & ParamFlags::kIsReadOnly) != 0;
}
constexpr bool IsEnabledPort(const ParamDef& def)
{
	return (def.iFlags & ParamFlags::kIsBypass) != 0;
}

// The ids whose ports were published before the notify port; a parameter
// added to the table later appends its port after it.
inline constexpr int kLastIdBeforeNotify = 44;

struct PortLayout
{
	int iChannels; // 2 for the stereo plug-in, 1 for the mono one

	constexpr int AudioIn(int iChannel) const { return iChannel; }
	constexpr int AudioOut(int iChannel) const { return iChannels + iChannel; }
	constexpr int Events() const { return 2 * iChannels; }
	constexpr int Latency() const { return 2 * iChannels + 1; }
	constexpr int FirstParamPort() const { return 2 * iChannels + 2; }
	// -1 for a parameter without a port.
	constexpr int ParamPort(int iId) const
	{
		if (!IsParamId(iId) || !HasPort(ParamDefOf(iId)))
			return -1;
		// Ids after the first list may leave gaps.
		int iPort = FirstParamPort() + (iId > kLastIdBeforeNotify ? 1 : 0);
		for (const ParamDef& def : kParams)
			iPort += def.iId < iId && HasPort(def) ? 1 : 0;
		return iPort;
	}
	// The atom output: the UI's and the host's news from the DSP.
	constexpr int Notify() const
	{
		int iPort = FirstParamPort();
		for (const ParamDef& def : kParams)
			iPort += def.iId <= kLastIdBeforeNotify && HasPort(def) ? 1 : 0;
		return iPort;
	}
	constexpr int PortCount() const { return FirstParamPort() + CountParams(HasPort) + 1; }
};

inline constexpr PortLayout kStereo{2};
inline constexpr PortLayout kMono{1};

} // namespace brontal::lv2
