// Contents/Resources/moduleinfo.json against what the loaded factory reports,
// and the other resources the bundle carries.

#include "bundlefixture.h"

#include "brontalids.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace bundletest;
using Json = nlohmann::json;
namespace fs = std::filesystem;

namespace {

const fs::path kResources = fs::path(BRONTAL_BUNDLE_PATH) / "Contents" / "Resources";

Json moduleInfo()
{
	std::ifstream file(kResources / "moduleinfo.json");
	return Json::parse(file); // throws, failing the test, on anything but JSON
}

// The class id as the SDK writes it: the four words of its definition in
// hex, whatever order Windows' COM layout puts the bytes in memory.
std::string idText(const host::ClassId& cid)
{
	char text[33] = {};
	Steinberg::FUID::fromTUID(reinterpret_cast<const Steinberg::TUID&>(*cid.data())).toString(text);
	return text;
}

std::string joined(const Json& list)
{
	std::string text;
	for (const Json& item : list)
		text += (text.empty() ? "" : "|") + item.get<std::string>();
	return text;
}

std::vector<char> bytesOf(const fs::path& path)
{
	std::ifstream file(path, std::ios::binary);
	return std::vector<char>(std::istreambuf_iterator<char>(file), {});
}

} // namespace

TEST(ModuleInfo, NameVersionAndFactoryAreWhatTheModuleServes)
{
	const Json info = moduleInfo();
	EXPECT_EQ(info.at("Name"), "brontal1");
	EXPECT_EQ(info.at("Version"), "2.0.0.1069");
	const host::FactoryInfo factory = bundle()->factoryInfo();
	const Json& record = info.at("Factory Info");
	EXPECT_EQ(record.at("Vendor"), factory.vendor);
	EXPECT_EQ(record.at("URL"), factory.url);
	EXPECT_EQ(record.at("E-Mail"), factory.email);
	EXPECT_EQ(record.at("Flags").at("Unicode"), true);
	EXPECT_EQ(record.at("Flags").at("Classes Discardable"), false);
	EXPECT_EQ(record.at("Flags").at("Component Non Discardable"), false);
	EXPECT_FALSE(info.contains("Compatibility")); // replaces no earlier class
}

TEST(ModuleInfo, ClassesMatchTheFactoryRecordsInOrder)
{
	const Json classes = moduleInfo().at("Classes");
	const std::vector<host::ClassInfo> records = bundle()->classInfos();
	ASSERT_EQ(classes.size(), records.size());
	ASSERT_EQ(classes.size(), 2u);
	for (std::size_t i = 0; i < records.size(); ++i)
	{
		SCOPED_TRACE(records[i].name);
		const Json& entry = classes[i];
		EXPECT_EQ(entry.at("CID"), idText(records[i].cid));
		EXPECT_EQ(entry.at("Category"), records[i].category);
		EXPECT_EQ(entry.at("Name"), records[i].name);
		EXPECT_EQ(entry.at("Vendor"), records[i].vendor);
		EXPECT_EQ(entry.at("Version"), records[i].version);
		EXPECT_EQ(entry.at("SDKVersion"), records[i].sdkVersion);
		EXPECT_EQ(entry.value("Sub Categories", Json::array()).size() != 0, !records[i].subCategories.empty());
		EXPECT_EQ(joined(entry.value("Sub Categories", Json::array())), records[i].subCategories);
		EXPECT_EQ(entry.at("Class Flags"), records[i].classFlags);
		EXPECT_EQ(entry.at("Cardinality"), records[i].cardinality);
	}
	char processorId[33] = {};
	Steinberg::Vst::BrontalProcessorUID.toString(processorId);
	EXPECT_EQ(classes[0].at("CID"), processorId);
	EXPECT_EQ(classes[0].at("Sub Categories"), Json::array({"Fx", "Distortion"}));
}

TEST(ModuleInfo, ProcessorSnapshotIsTheEditorAtFullSize)
{
	const Json classes = moduleInfo().at("Classes");
	ASSERT_EQ(classes[0].at("Snapshots").size(), 1u);
	const Json& snapshot = classes[0].at("Snapshots")[0];
	EXPECT_EQ(snapshot.at("Scale Factor"), 1.0);
	EXPECT_EQ(snapshot.at("Path"),
	          "Contents/Resources/Snapshots/" + classes[0].at("CID").get<std::string>() + "_snapshot.png");
	const std::vector<char> png = bytesOf(fs::path(BRONTAL_BUNDLE_PATH) / snapshot.at("Path").get<std::string>());
	ASSERT_GE(png.size(), 24u);
	EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
	auto bigEndian = [&](std::size_t at) {
		return (unsigned(static_cast<unsigned char>(png[at])) << 24) |
		       (unsigned(static_cast<unsigned char>(png[at + 1])) << 16) |
		       (unsigned(static_cast<unsigned char>(png[at + 2])) << 8) | static_cast<unsigned char>(png[at + 3]);
	};
	EXPECT_EQ(bigEndian(16), 1024u); // IHDR width
	EXPECT_EQ(bigEndian(20), 768u);  // IHDR height
	EXPECT_EQ(classes[1].at("Snapshots"), Json::array()); // the controller has no window
}

TEST(BundleResources, FactoryPresetsTravelInTheBundle)
{
	const fs::path source = fs::path(BRONTAL_SOURCE_DIR) / "resource" / "presets";
	std::vector<fs::path> files;
	for (const auto& entry : fs::recursive_directory_iterator(source))
	{
		if (entry.is_regular_file())
			files.push_back(fs::relative(entry.path(), source));
	}
	ASSERT_GE(files.size(), 8u);
	std::size_t shipped = 0;
	for (const auto& entry : fs::recursive_directory_iterator(kResources / "Presets"))
		shipped += entry.is_regular_file();
	EXPECT_EQ(shipped, files.size());
	for (const fs::path& file : files)
		EXPECT_EQ(bytesOf(kResources / "Presets" / file), bytesOf(source / file)) << file;
}
