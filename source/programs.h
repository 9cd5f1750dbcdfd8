#pragma once

// The programs a host offers in its program menu and picks by MIDI program
// change: the factory presets (the committed .vstpreset files, compiled in),
// then the player's own presets from the per-user preset folder, each read
// once when an instance starts. The processor and the controller build the
// same list, so that either side applies a program change by itself.

#include "brontalstate.h"

#include <filesystem>
#include <string>
#include <vector>

namespace brontal {

// The settings a program sets: the panel controls, as the factory presets
// set every one. The bypass, the pedals and any setting not on the panel
// (the MIDI mappings, which are no parameter at all) stay as they are.
constexpr bool IsProgramSetting(const ParamDef& def)
{
	return IsPanelControl(def);
}

// The SDK's rule for a list of uCount programs, so that the program loaded
// is the one the host shows: program i is the value i / (uCount - 1), and a
// value picks its share of uCount equal parts (-1 for none).
constexpr double ProgramValueOf(int i, std::size_t uCount)
{
	return uCount > 1 ? static_cast<double>(i) / static_cast<double>(uCount - 1) : 0.0;
}
constexpr int ProgramIndexOf(double dValue, std::size_t uCount)
{
	if (uCount == 0 || !(dValue >= 0.0 && dValue <= 1.0))
		return -1;
	const auto uIndex = static_cast<std::size_t>(dValue * static_cast<double>(uCount));
	return static_cast<int>(uIndex < uCount ? uIndex : uCount - 1);
}

struct Program
{
	std::string sName;
	// The preset's values, by id; only the program settings count.
	std::vector<float> afValues;

	// Gives each program setting its value: fSet(id, value).
	template <class Set>
	void Apply(Set&& fSet) const
	{
		for (const ParamDef& def : kParams)
			if (IsProgramSetting(def))
				fSet(def.iId, afValues[static_cast<std::size_t>(def.iId)]);
	}
};

// The component state held by a .vstpreset file's bytes: false when the
// bytes are no preset of the class whose id (32 hex digits) is given.
bool PresetComponentState(const unsigned char* pData, std::size_t uSize, const char* szClassId, StateBytes& out);

class CPrograms
{
public:
	// The factory presets, in the order of their names, then every readable
	// preset of the class szClassId (32 hex digits) in folder, sorted by file
	// name; a file that is no preset of ours is left out.
	void Build(const char* szClassId, const std::filesystem::path& folder);
	const std::vector<Program>& All() const { return m_programs; }
	// The program a normalised program-change value picks, or null.
	const Program* At(double dValue) const;
	// The normalised value of program i.
	double ValueOf(int i) const;

private:
	bool Add(std::string sName, const unsigned char* pData, std::size_t uSize, const char* szClassId);

	std::vector<Program> m_programs;
};

// COMPANY/PLUG-IN under the player's preset root, as hosts look for a
// class's presets; empty when the system names no root.
std::filesystem::path UserPresetFolder();

} // namespace brontal
