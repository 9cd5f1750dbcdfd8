#pragma once

// The parameter vocabulary shared by the host, the processor, the chain,
// the controller and the editor. Every fact about a parameter is one row of
// source/params.json, which CMake writes as brontalparamtable.h: the id enum
// (ids 1..19 are published; 0 and kParamListEnd only delimit the list) and
// kParams. Everything below is derived from those rows.

#include <array>
#include <cfloat>
#include <cstddef>

enum class ParamKind
{
	Switch,
	Level,
	Indicator,
	Button,
	// A foot controller's hidden way into a switch (see PedalSlot).
	Pedal,
	// The program list's choice: each value loads a program's settings
	// (source/programs.h); its steps are the list's.
	Program
};

// ParameterInfo's flag values, so that the SDK-free chain can read the
// table; the controller checks them against the SDK's.
struct ParamFlags
{
	static constexpr int kCanAutomate = 1 << 0;
	static constexpr int kIsReadOnly = 1 << 1;
	static constexpr int kIsList = 1 << 3;
	static constexpr int kIsHidden = 1 << 4;
	static constexpr int kIsProgramChange = 1 << 15;
	static constexpr int kIsBypass = 1 << 16;
};

enum class EditorWidget
{
	None, // not on the panel
	Footswitch,
	Toggle,
	Knob,
	Meter,
	Led,
	Button,
	// The tuner's face over the output display, shown while the tuner is on;
	// it edits the reference and takes its note glyphs from iOffBitmap.
	Tuner,
	// The preset bar: previous, the program's name (a click lists them all), next.
	Programs
};

// Where and how the editor shows a parameter.
struct EditorSlot
{
	EditorWidget widget;
	int iBitmap;
	// A meter's unlit image, the tuner's note glyphs; 0 for the other widgets.
	int iOffBitmap;
	int iFrames;
	int x;
	int y;
};

// How a pedal's value (a MIDI controller's 0..127 as 0..1) sets its switch:
// on while held at 64 or above, or turned over at each press (a value of 64
// or above). docs/midi.md says why a switch has pedals of its own.
enum class PedalMode
{
	None,
	Hold,
	Toggle
};

struct PedalSlot
{
	int iTarget = 0;
	PedalMode mode = PedalMode::None;
};

struct ParamDef
{
	int iId;
	const char16_t* wszTitle;
	ParamKind kind;
	float fDefault;
	int iFlags;
	int iStepCount;
	// A level that moves to a new value over a glide rather than at once.
	bool bGlides;
	EditorSlot slot;
	PedalSlot pedal;
};

#include "brontalparamtable.h"

// Ids 1..19 are the first list, closed by kParamListEnd (20); parameters
// added later take rising ids from 21 on, where an id another branch holds
// may leave a gap. kNumParams is one past the last id: the size of every
// table indexed by id.
constexpr int kFirstParam = kParamListStart + 1;

// The row of each id, -1 for the delimiters and the gaps.
constexpr std::array<int, kNumParams> RowsOfIds()
{
	std::array<int, kNumParams> aiRows{};
	for (int& iRow : aiRows)
		iRow = -1;
	for (std::size_t i = 0; i < std::size(kParams); ++i)
		aiRows[static_cast<std::size_t>(kParams[i].iId)] = static_cast<int>(i);
	return aiRows;
}
inline constexpr std::array<int, kNumParams> kRowOfId = RowsOfIds();

constexpr bool IsParamId(int iId)
{
	return iId >= kFirstParam && iId < kNumParams && kRowOfId[static_cast<std::size_t>(iId)] >= 0;
}

constexpr std::size_t ParamRowOf(int iId)
{
	return static_cast<std::size_t>(kRowOfId[static_cast<std::size_t>(iId)]);
}

constexpr bool ParamIdsInOrder()
{
	for (std::size_t i = 0; i < std::size(kParams); ++i)
		if (!IsParamId(kParams[i].iId) || ParamRowOf(kParams[i].iId) != i)
			return false;
	return true;
}
static_assert(ParamIdsInOrder(), "kParams holds every id in order, without the delimiters");

constexpr const ParamDef& ParamDefOf(int iId)
{
	return kParams[ParamRowOf(iId)];
}

// A control the user moves on the panel and the host may edit.
constexpr bool IsEditorControl(const ParamDef& def)
{
	return def.slot.widget != EditorWidget::None && (def.kind == ParamKind::Switch || def.kind == ParamKind::Level);
}

// One that shapes the sound: the factory presets set every one. The tuner's
// switch and reference are the player's, and a preset leaves them alone.
constexpr bool IsPanelControl(const ParamDef& def)
{
	return IsEditorControl(def) && def.iId != kTunerOnOff && def.iId != kTunerReference;
}

constexpr int CountParams(bool (*pPredicate)(const ParamDef&))
{
	int iCount = 0;
	for (const ParamDef& def : kParams)
		iCount += pPredicate(def) ? 1 : 0;
	return iCount;
}

// The indicators (meters, LEDs and any other reading the processor
// reports), in id order.
constexpr bool IsIndicator(const ParamDef& def)
{
	return def.kind == ParamKind::Indicator;
}
constexpr int kNumIndicators = CountParams(IsIndicator);
constexpr std::array<int, kNumIndicators> IndicatorIds()
{
	std::array<int, kNumIndicators> aiIds{};
	std::size_t j = 0;
	for (const ParamDef& def : kParams)
		if (IsIndicator(def))
			aiIds[j++] = def.iId;
	return aiIds;
}
inline constexpr std::array<int, kNumIndicators> kIndicatorIds = IndicatorIds();

// Defaults indexed by id (0 for the delimiters).
constexpr std::array<float, kNumParams> DefaultParamValues()
{
	std::array<float, kNumParams> afValues{};
	for (const ParamDef& def : kParams)
		afValues[def.iId] = def.fDefault;
	return afValues;
}
inline constexpr std::array<float, kNumParams> kDefaultParamValues = DefaultParamValues();

// The levels that glide, in id order.
constexpr bool Glides(const ParamDef& def)
{
	return def.bGlides;
}
constexpr int kNumGlidingLevels = CountParams(Glides);
constexpr std::array<int, kNumGlidingLevels> GlidingLevels()
{
	std::array<int, kNumGlidingLevels> aiIds{};
	std::size_t j = 0;
	for (const ParamDef& def : kParams)
		if (def.bGlides)
			aiIds[j++] = def.iId;
	return aiIds;
}
inline constexpr std::array<int, kNumGlidingLevels> kGlidingLevels = GlidingLevels();

// A switch is off only when it compares equal to 0; anything else, NaN
// included, is on.
inline bool IsSwitchOn(float fValue)
{
	return !(fValue == 0.0f);
}

// The pedal that sets the switch iTarget in the given mode; 0 for none.
constexpr int PedalOf(int iTarget, PedalMode mode)
{
	for (const ParamDef& def : kParams)
		if (def.kind == ParamKind::Pedal && def.pedal.iTarget == iTarget && def.pedal.mode == mode)
			return def.iId;
	return 0;
}

// A parameter a MIDI controller may move: a level on the panel (following
// the controller over its range), or a switch with pedals of its own.
constexpr bool IsMidiMappable(int iId)
{
	if (!IsParamId(iId))
		return false;
	const ParamDef& def = ParamDefOf(iId);
	if (def.kind == ParamKind::Level)
		return IsPanelControl(def);
	return def.kind == ParamKind::Switch && PedalOf(iId, PedalMode::Hold) != 0 && PedalOf(iId, PedalMode::Toggle) != 0;
}

constexpr bool PedalsNameSwitches()
{
	for (const ParamDef& def : kParams)
		if (def.kind == ParamKind::Pedal &&
		    (def.pedal.mode == PedalMode::None || !IsParamId(def.pedal.iTarget) ||
		     ParamDefOf(def.pedal.iTarget).kind != ParamKind::Switch || def.iFlags != ParamFlags::kIsHidden))
			return false;
	return true;
}
static_assert(PedalsNameSwitches(), "every pedal is hidden and names a switch and a mode");

// The switch's value after one of its pedals sent fPedal: a controller at 64
// or above (of 0..127) presses the pedal.
inline float PedalSwitchValue(PedalMode mode, float fSwitch, float fPedal)
{
	const bool bPressed = fPedal >= 0.5f;
	if (mode == PedalMode::Hold)
		return bPressed ? 1.0f : 0.0f;
	if (!bPressed)
		return fSwitch;
	return IsSwitchOn(fSwitch) ? 0.0f : 1.0f;
}

namespace brontal {

// A loaded or host-sent value as it may enter a cell: clamped to 0..1; false
// for NaN, which must leave the old value in place. Values below the
// smallest normal float are 0: the audio thread reads denormals as zero, so
// a switch holding one would be off there and on everywhere else.
inline bool SanitiseParamValue(double dValue, float& fOut)
{
	if (dValue != dValue)
		return false;
	fOut = static_cast<float>(dValue < static_cast<double>(FLT_MIN) ? 0.0 : (dValue > 1.0 ? 1.0 : dValue));
	return true;
}

} // namespace brontal
