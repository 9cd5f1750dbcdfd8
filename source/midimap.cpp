#include "midimap.h"

#include "configfolder.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

namespace brontal {
namespace {
// Far more than 128 controllers on 17 channel settings need; a larger file
// is not ours.
constexpr std::uintmax_t kMaxFileBytes = 64 * 1024;

const char* ModeWord(PedalMode mode)
{
	switch (mode)
	{
	case PedalMode::Hold:
		return "hold";
	case PedalMode::Toggle:
		return "toggle";
	case PedalMode::None:
		break;
	}
	return "follow";
}

bool ParseNumber(const std::string& sWord, int iMin, int iMax, int& iOut)
{
	if (sWord.empty() || sWord.size() > 3 || !std::all_of(sWord.begin(), sWord.end(), [](char c) { return c >= '0' && c <= '9'; }))
		return false;
	iOut = std::stoi(sWord);
	return iOut >= iMin && iOut <= iMax;
}

bool SameController(const MidiMapping& a, const MidiMapping& b)
{
	return a.iController == b.iController &&
	       (a.iChannel == b.iChannel || a.iChannel == kAnyChannel || b.iChannel == kAnyChannel);
}
} // namespace

std::filesystem::path PlayerMappingsFile()
{
	const std::filesystem::path folder = UserConfigFolder();
	return folder.empty() ? folder : folder / "midi-mappings.txt";
}

bool CMidiMap::Set(const MidiMapping& mapping)
{
	if (!IsMidiMappable(mapping.iParam) || mapping.iController < 0 || mapping.iController >= kMidiControllers ||
	    mapping.iChannel < kAnyChannel || mapping.iChannel >= kMidiChannels)
		return false;
	const bool bSwitch = ParamDefOf(mapping.iParam).kind == ParamKind::Switch;
	if (bSwitch != (mapping.mode != PedalMode::None))
		return false;
	m_mappings.erase(std::remove_if(m_mappings.begin(), m_mappings.end(),
	                                [&](const MidiMapping& m) {
		                                return m.iParam == mapping.iParam || SameController(m, mapping);
	                                }),
	                 m_mappings.end());
	m_mappings.push_back(mapping);
	return true;
}

void CMidiMap::Clear(int iParam)
{
	m_mappings.erase(std::remove_if(m_mappings.begin(), m_mappings.end(),
	                                [iParam](const MidiMapping& m) { return m.iParam == iParam; }),
	                 m_mappings.end());
}

const MidiMapping* CMidiMap::Of(int iParam) const
{
	const auto it = std::find_if(m_mappings.begin(), m_mappings.end(),
	                             [iParam](const MidiMapping& m) { return m.iParam == iParam; });
	return it == m_mappings.end() ? nullptr : &*it;
}

int CMidiMap::HostParamFor(int iChannel, int iController) const
{
	for (const MidiMapping& m : m_mappings)
		if (m.iController == iController && (m.iChannel == kAnyChannel || m.iChannel == iChannel))
			return m.mode == PedalMode::None ? m.iParam : PedalOf(m.iParam, m.mode);
	return 0;
}

std::string CMidiMap::ToText() const
{
	std::ostringstream out;
	out << "# Brontal MIDI mappings, one a line: parameter id, controller (0-127),\n"
	       "# channel (1-16 or any), mode (hold or toggle for a switch, follow for a level)\n";
	std::vector<MidiMapping> sorted = m_mappings;
	std::sort(sorted.begin(), sorted.end(), [](const MidiMapping& a, const MidiMapping& b) { return a.iParam < b.iParam; });
	for (const MidiMapping& m : sorted)
	{
		out << m.iParam << ' ' << m.iController << ' ';
		if (m.iChannel == kAnyChannel)
			out << "any";
		else
			out << m.iChannel + 1;
		out << ' ' << ModeWord(m.mode) << '\n';
	}
	return out.str();
}

bool CMidiMap::FromText(const std::string& sText, std::string& sError)
{
	CMidiMap read;
	std::istringstream in(sText);
	std::string sLine;
	for (int iLine = 1; std::getline(in, sLine); ++iLine)
	{
		if (!sLine.empty() && sLine.back() == '\r')
			sLine.pop_back();
		if (sLine.empty() || sLine[0] == '#')
			continue;
		std::istringstream words(sLine);
		std::string asWord[5];
		int iWords = 0;
		while (iWords < 5 && words >> asWord[iWords])
			++iWords;
		MidiMapping m;
		const bool bAny = asWord[2] == "any";
		m.mode = asWord[3] == "hold" ? PedalMode::Hold : asWord[3] == "toggle" ? PedalMode::Toggle : PedalMode::None;
		const bool bModeKnown = m.mode != PedalMode::None || asWord[3] == "follow";
		int iChannel = 0;
		const bool bParsed = iWords == 4 && ParseNumber(asWord[0], 1, kNumParams - 1, m.iParam) &&
		                     ParseNumber(asWord[1], 0, kMidiControllers - 1, m.iController) &&
		                     (bAny || ParseNumber(asWord[2], 1, kMidiChannels, iChannel)) && bModeKnown;
		m.iChannel = bAny ? kAnyChannel : iChannel - 1;
		const bool bFree = bParsed && std::none_of(read.m_mappings.begin(), read.m_mappings.end(), [&](const MidiMapping& o) {
			                   return o.iParam == m.iParam || SameController(o, m);
		                   });
		if (!bFree || !read.Set(m))
		{
			sError = "line " + std::to_string(iLine) + " is not a mapping this build knows: '" + sLine.substr(0, 60) + "'";
			m_mappings.clear();
			return false;
		}
	}
	m_mappings = std::move(read.m_mappings);
	return true;
}

bool CMidiMap::Load(const std::filesystem::path& file, std::string& sError)
{
	m_mappings.clear();
	std::error_code error;
	if (!std::filesystem::exists(file, error))
		return true;
	const std::uintmax_t uSize = std::filesystem::file_size(file, error);
	if (error || uSize > kMaxFileBytes)
	{
		sError = file.string() + ": not a mappings file (unreadable or too large)";
		return false;
	}
	std::ifstream in(file, std::ios::binary);
	std::ostringstream text;
	text << in.rdbuf();
	if (!in && !in.eof())
	{
		sError = file.string() + ": unreadable";
		return false;
	}
	std::string sWhat;
	if (!FromText(text.str(), sWhat))
	{
		sError = file.string() + ", " + sWhat;
		return false;
	}
	return true;
}

bool CMidiMap::Save(const std::filesystem::path& file, std::string& sError) const
{
	std::error_code error;
	std::filesystem::create_directories(file.parent_path(), error);
	// Written beside it and renamed over it, so that a crash mid-write leaves
	// the old file whole.
	std::filesystem::path temporary = file;
	temporary += ".new";
	{
		std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
		out << ToText();
		if (!out.flush())
		{
			sError = temporary.string() + ": cannot be written";
			return false;
		}
	}
	std::filesystem::rename(temporary, file, error);
	if (error)
	{
		sError = file.string() + ": cannot be written (" + error.message() + ")";
		return false;
	}
	return true;
}

} // namespace brontal
