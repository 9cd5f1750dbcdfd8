// brontal-moduleinfo: writes a bundle's Contents/Resources/moduleinfo.json
// from the records its factory serves, so that hosts can scan the module
// without loading it. Run at build time on the freshly linked module.
//
//   brontal-moduleinfo BUNDLE [--snapshot PNG]
//
// With --snapshot, the image becomes the audio module class's editor
// snapshot (Contents/Resources/Snapshots/CID_snapshot.png). Snapshots found
// there are listed with their class, at scale 1 or 2 ("_snapshot_2.0x.png").

#include "host/module.h"
#include "host/presetfile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace brontal::host;
using Json = nlohmann::ordered_json;

std::vector<std::string> split(const std::string& text, char separator)
{
	std::vector<std::string> parts;
	std::size_t start = 0;
	while (start < text.size())
	{
		const std::size_t end = std::min(text.find(separator, start), text.size());
		if (end > start)
			parts.push_back(text.substr(start, end - start));
		start = end + 1;
	}
	return parts;
}

Json snapshots(const fs::path& bundle, const std::string& cid)
{
	Json list = Json::array();
	for (const auto& [suffix, scale] : {std::pair{"_snapshot.png", 1.0}, std::pair{"_snapshot_2.0x.png", 2.0}})
	{
		const fs::path relative = fs::path("Contents") / "Resources" / "Snapshots" / (cid + suffix);
		if (fs::is_regular_file(bundle / relative))
			list.push_back({{"Scale Factor", scale}, {"Path", relative.generic_string()}});
	}
	return list;
}

Json moduleInfo(const fs::path& bundle, const Module& module)
{
	const FactoryInfo factory = module.factoryInfo();
	const std::vector<ClassInfo> classes = module.classInfos();
	const auto audioClass = module.findClass(kAudioModuleCategory);
	if (!audioClass)
		throw HostError(module.path() + " has no audio module class");

	Json info;
	info["Name"] = bundle.stem().string();
	// The module is versioned as its audio module class.
	info["Version"] = audioClass->version;
	info["Factory Info"] = {
	    {"Vendor", factory.vendor},
	    {"URL", factory.url},
	    {"E-Mail", factory.email},
	    {"Flags",
	     {{"Unicode", (factory.flags & Steinberg::PFactoryInfo::kUnicode) != 0},
	      {"Classes Discardable", (factory.flags & Steinberg::PFactoryInfo::kClassesDiscardable) != 0},
	      {"Component Non Discardable", (factory.flags & Steinberg::PFactoryInfo::kComponentNonDiscardable) != 0}}}};
	Json list = Json::array();
	for (const ClassInfo& record : classes)
	{
		const std::string cid = classIdString(record.cid);
		Json entry = {{"CID", cid},
		              {"Category", record.category},
		              {"Name", record.name},
		              {"Vendor", record.vendor},
		              {"Version", record.version},
		              {"SDKVersion", record.sdkVersion}};
		const std::vector<std::string> subCategories = split(record.subCategories, '|');
		if (!subCategories.empty())
			entry["Sub Categories"] = subCategories;
		entry["Class Flags"] = record.classFlags;
		entry["Cardinality"] = record.cardinality;
		entry["Snapshots"] = snapshots(bundle, cid);
		list.push_back(entry);
	}
	info["Classes"] = list;
	return info;
}

} // namespace

int main(int argc, char** argv)
{
	const std::vector<std::string> args(argv + 1, argv + argc);
	if (!(args.size() == 1 || (args.size() == 3 && args[1] == "--snapshot")))
	{
		std::fprintf(stderr, "Usage: brontal-moduleinfo BUNDLE [--snapshot PNG]\n");
		return 2;
	}
	try
	{
		fs::path bundle = args[0];
		if (!bundle.has_filename())
			bundle = bundle.parent_path();
		const fs::path resources = bundle / "Contents" / "Resources";
		Json info;
		{
			const std::shared_ptr<Module> module = Module::load(bundle.string());
			if (args.size() == 3)
			{
				const auto audioClass = module->findClass(kAudioModuleCategory);
				if (!audioClass)
					throw HostError(bundle.string() + " has no audio module class");
				fs::create_directories(resources / "Snapshots");
				// Removed first: the MinGW library refuses to overwrite in copy_file.
				const fs::path snapshot = resources / "Snapshots" / (classIdString(audioClass->cid) + "_snapshot.png");
				fs::remove(snapshot);
				fs::copy_file(args[2], snapshot);
			}
			info = moduleInfo(bundle, *module);
		}
		fs::create_directories(resources);
		// Binary: the same bytes whichever platform writes it.
		std::ofstream file(resources / "moduleinfo.json", std::ios::trunc | std::ios::binary);
		file << info.dump(2) << '\n';
		if (!file.flush())
			throw HostError("cannot write " + (resources / "moduleinfo.json").string());
		return 0;
	}
	catch (const std::exception& error)
	{
		std::fprintf(stderr, "brontal-moduleinfo: %s\n", error.what());
		return 1;
	}
}
