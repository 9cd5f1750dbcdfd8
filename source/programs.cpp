#include "programs.h"

#include "brontalpresetlist.h"
#include "configfolder.h"
#include "version.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace brontal {
namespace {
// A preset file: 'VST3', a version, the class id as 32 characters, then
// the offset of its chunk list: 'List', a count, and per chunk an id and
// its offset and size (little-endian).
constexpr std::size_t kHeaderSize = 48;
constexpr std::size_t kClassIdOffset = 8;
constexpr std::size_t kClassIdSize = 32;
constexpr std::size_t kEntrySize = 20;
// Far above any preset of ours (a state record, a few chunks, an impulse
// response); a larger file is no preset to read at start-up.
constexpr std::uintmax_t kMaxPresetBytes = 64u << 20;

std::uint64_t Little(const unsigned char* p, int iBytes)
{
	std::uint64_t u = 0;
	for (int i = 0; i < iBytes; ++i)
		u |= std::uint64_t(p[i]) << (8 * i);
	return u;
}

// The name hosts give a folder: \*?/:<>| replaced by _.
std::string LegalName(std::string s)
{
	for (char& c : s)
		if (std::strchr("\\*?/:<>|", c))
			c = '_';
	return s;
}
} // namespace

bool PresetComponentState(const unsigned char* pData, std::size_t uSize, const char* szClassId, StateBytes& out)
{
	if (!pData || uSize < kHeaderSize || std::memcmp(pData, "VST3", 4) != 0 ||
	    std::strlen(szClassId) != kClassIdSize || std::memcmp(pData + kClassIdOffset, szClassId, kClassIdSize) != 0)
		return false;
	const std::uint64_t uList = Little(pData + 40, 8);
	if (uList > uSize || uSize - uList < 8 || std::memcmp(pData + uList, "List", 4) != 0)
		return false;
	const std::uint64_t uCount = Little(pData + uList + 4, 4);
	if (uCount > (uSize - uList - 8) / kEntrySize)
		return false;
	for (std::uint64_t i = 0; i < uCount; ++i)
	{
		const unsigned char* pEntry = pData + uList + 8 + i * kEntrySize;
		const std::uint64_t uOffset = Little(pEntry + 4, 8);
		const std::uint64_t uLength = Little(pEntry + 12, 8);
		if (std::memcmp(pEntry, "Comp", 4) != 0)
			continue;
		if (uOffset > uSize || uLength > uSize - uOffset)
			return false;
		out.assign(pData + uOffset, pData + uOffset + uLength);
		return true;
	}
	return false;
}

bool CPrograms::Add(std::string sName, const unsigned char* pData, std::size_t uSize, const char* szClassId)
{
	StateBytes state;
	ParsedState parsed;
	if (!PresetComponentState(pData, uSize, szClassId, state) || !ParseState(state.data(), state.size(), parsed))
		return false;
	Program program{std::move(sName), std::vector<float>(kNumParams, 0.0f)};
	for (const ParamDef& def : kParams)
	{
		float fValue = def.fDefault;
		if (IsProgramSetting(def) && !SanitiseParamValue(parsed.afValues[def.iId], fValue))
			fValue = def.fDefault;
		program.afValues[static_cast<std::size_t>(def.iId)] = fValue;
	}
	m_programs.push_back(std::move(program));
	return true;
}

void CPrograms::Build(const char* szClassId, const std::filesystem::path& folder)
{
	m_programs.clear();
	for (const presets::NamedPreset& preset : presets::kFactory)
	{
		const Blob bytes = preset.pBytes();
		Add(preset.szName, bytes.data, bytes.size, szClassId);
	}
	std::error_code error;
	if (folder.empty() || !std::filesystem::is_directory(folder, error))
		return;
	std::vector<std::filesystem::path> files;
	for (const auto& entry : std::filesystem::directory_iterator(folder, error))
		if (entry.path().extension() == ".vstpreset" && entry.is_regular_file(error) &&
		    entry.file_size(error) <= kMaxPresetBytes)
			files.push_back(entry.path());
	std::sort(files.begin(), files.end());
	for (const std::filesystem::path& file : files)
	{
		// A copy of a factory preset (scripts/demo.sh installs them there)
		// is that preset, not a second one of the same name.
		const std::string sName = file.stem().string();
		if (std::any_of(m_programs.begin(), m_programs.end(), [&](const Program& p) { return p.sName == sName; }))
			continue;
		std::ifstream in(file, std::ios::binary);
		const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
		Add(sName, bytes.data(), bytes.size(), szClassId);
	}
}

const Program* CPrograms::At(double dValue) const
{
	const int i = ProgramIndexOf(dValue, m_programs.size());
	return i < 0 ? nullptr : &m_programs[static_cast<std::size_t>(i)];
}

double CPrograms::ValueOf(int i) const
{
	return ProgramValueOf(i, m_programs.size());
}

std::filesystem::path UserPresetFolder()
{
	const std::filesystem::path root = UserPresetRoot();
	return root.empty() ? root : root / LegalName(BRONTAL_VENDOR) / LegalName(BRONTAL_CLASS_NAME);
}

} // namespace brontal
