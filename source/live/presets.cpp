#include "presets.h"

#include "platform.h"

#include <algorithm>
#include <filesystem>
#include <set>

namespace brontal::live {

namespace fs = std::filesystem;

namespace {

void addFolder(const fs::path& folder, bool factory, std::vector<PresetEntry>& entries, std::set<std::string>& seen)
{
	std::error_code error;
	std::vector<PresetEntry> found;
	for (const fs::directory_entry& file : fs::directory_iterator(folder, error))
		if (file.path().extension() == ".vstpreset" && !seen.count(file.path().stem().string()))
			found.push_back({file.path().stem().string(), file.path().string(), factory});
	std::sort(found.begin(), found.end(), [](const PresetEntry& a, const PresetEntry& b) { return a.name < b.name; });
	for (const PresetEntry& entry : found)
		seen.insert(entry.name);
	entries.insert(entries.end(), found.begin(), found.end());
}

} // namespace

std::string userPresetFolder(const std::string& subfolder)
{
	const std::string root = userPresetRoot();
	return root.empty() ? root : (fs::path(root) / subfolder).string();
}

std::vector<PresetEntry> findPresets(const std::string& bundle, const std::string& subfolder)
{
	std::vector<PresetEntry> entries;
	std::set<std::string> seen;
	addFolder(fs::path(bundle) / "Contents" / "Resources" / "Presets" / subfolder, true, entries, seen);
	for (const std::string& shared : sharedPresetRoots())
		addFolder(fs::path(shared) / subfolder, true, entries, seen);
	const std::string user = userPresetFolder(subfolder);
	if (!user.empty())
		addFolder(user, false, entries, seen);
	return entries;
}

} // namespace brontal::live
