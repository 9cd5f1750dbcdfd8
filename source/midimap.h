#pragma once

// The player's MIDI mappings: which controller, on which channel, moves which
// parameter, and how a switch follows it. One mapping per parameter, and one
// parameter per controller and channel, so that a host asking about a
// controller gets one answer. Written as text, the same in the mappings file
// and in a project's state, so that a player can read and mend it.

#include "brontalparams.h"

#include <filesystem>
#include <string>
#include <vector>

namespace brontal {

constexpr int kAnyChannel = -1;
constexpr int kMidiChannels = 16;
constexpr int kMidiControllers = 128;

struct MidiMapping
{
	int iParam = 0;
	int iController = 0;
	// 0..15, or kAnyChannel.
	int iChannel = kAnyChannel;
	// For a switch, Hold or Toggle; a level follows the controller (None).
	PedalMode mode = PedalMode::None;
};

class CMidiMap
{
public:
	// Replaces the parameter's mapping and any other on the same controller
	// and channel. False (nothing changed) for a parameter no controller may
	// move, a controller or channel out of range, or a mode the parameter's
	// kind does not have.
	bool Set(const MidiMapping& mapping);
	void Clear(int iParam);
	void ClearAll() { m_mappings.clear(); }
	const MidiMapping* Of(int iParam) const;
	// The parameter a host sends controller iController of channel iChannel
	// to: the level itself, or the switch's pedal for its mode; 0 for none.
	int HostParamFor(int iChannel, int iController) const;
	const std::vector<MidiMapping>& All() const { return m_mappings; }

	std::string ToText() const;
	// False, with the line and what is wrong in sError, when the text is not
	// a whole list of valid mappings; the map is then empty.
	bool FromText(const std::string& sText, std::string& sError);

	// The mappings file. A missing file is no mappings and no error.
	bool Load(const std::filesystem::path& file, std::string& sError);
	bool Save(const std::filesystem::path& file, std::string& sError) const;

private:
	std::vector<MidiMapping> m_mappings;
};

// The player's mappings file, read by every instance of every format;
// empty when the system names no config folder.
std::filesystem::path PlayerMappingsFile();

// A controller message's value (0..127) as the parameter value it sends.
constexpr double ControllerValue(int iValue)
{
	return iValue / 127.0;
}

// The default mode for a parameter learned from a pedal: switches turn over
// at each press (the foot controllers' usual footswitch), levels follow.
constexpr PedalMode LearnedMode(int iParam)
{
	return IsParamId(iParam) && ParamDefOf(iParam).kind == ParamKind::Switch ? PedalMode::Toggle : PedalMode::None;
}

} // namespace brontal
