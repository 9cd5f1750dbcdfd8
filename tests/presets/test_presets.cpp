// The committed factory presets, read as a host reads them: the SDK's preset
// reader, then loaded into an instance of the built bundle.

#include "bundlefixture.h"

#include "brontalids.h"
#include "brontalstate.h"
#include "host/presetfile.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

// The documented folder rule applied by hand to the factory's vendor
// "Brontal Audio - https://brontal.example" and the class name "Brontal2".
const fs::path kPresetRoot = fs::path(BRONTAL_SOURCE_DIR) / "resource" / "presets";
const fs::path kPresetFolder = kPresetRoot / "Brontal Audio - https___brontal.example" / "Brontal2";

std::vector<fs::path> presetFiles()
{
	std::vector<fs::path> files;
	for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kPresetRoot))
	{
		if (entry.is_regular_file())
			files.push_back(entry.path());
	}
	std::sort(files.begin(), files.end());
	return files;
}

std::vector<float> floats(const std::vector<char>& bytes)
{
	std::vector<float> values(bytes.size() / 4);
	std::memcpy(values.data(), bytes.data(), values.size() * 4); // little-endian host
	return values;
}

std::vector<char> fileBytes(const fs::path& path)
{
	std::ifstream file(path, std::ios::binary);
	return std::vector<char>(std::istreambuf_iterator<char>(file), {});
}

// The bytes of one chunk of a preset, read with the SDK's reader and stream.
std::vector<char> sdkChunk(PresetFile& presetFile, ChunkType type)
{
	const PresetFile::Entry* entry = presetFile.getEntry(type);
	if (!entry)
		return {};
	std::vector<char> bytes(static_cast<std::size_t>(entry->size));
	int32 read = 0;
	presetFile.getStream()->seek(entry->offset, IBStream::kIBSeekSet, nullptr);
	presetFile.getStream()->read(bytes.data(), static_cast<int32>(bytes.size()), &read);
	bytes.resize(static_cast<std::size_t>(read));
	return bytes;
}

struct Temporary
{
	fs::path path = fs::temp_directory_path() / ("brontal-preset-test-" + std::to_string(getpid()));
	~Temporary() { fs::remove(path); }
	void write(const std::vector<char>& bytes) const
	{
		std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
	}
};

} // namespace

TEST(FactoryPresets, TenToTwelveNamedFilesInTheFolderHostsSearch)
{
	const std::vector<fs::path> files = presetFiles();
	EXPECT_GE(files.size(), 8u);
	EXPECT_LE(files.size(), 12u);
	for (const fs::path& file : files)
	{
		EXPECT_EQ(file.parent_path(), kPresetFolder) << file;
		EXPECT_EQ(file.extension(), ".vstpreset") << file;
	}
	// The folder follows from what the loaded factory reports.
	const auto audioClass = bundle()->findClass(host::kAudioModuleCategory);
	ASSERT_TRUE(audioClass);
	EXPECT_EQ(kPresetRoot / host::presetSubfolder(bundle()->factoryInfo(), *audioClass), kPresetFolder);
}

// Each state: the 80-byte record, then the 'parm' chunk of the parameters
// after it (the tuner off at 440 Hz: a preset never switches it on).
TEST(FactoryPresets, SdkReaderFindsTheProcessorClassAndTwoStates)
{
	std::set<std::vector<char>> distinct;
	for (const fs::path& file : presetFiles())
	{
		SCOPED_TRACE(file.filename().string());
		IBStream* stream = FileStream::open(file.c_str(), "rb");
		ASSERT_NE(stream, nullptr);
		PresetFile presetFile(stream);
		ASSERT_TRUE(presetFile.readChunkList());
		EXPECT_TRUE(presetFile.getClassID() == BrontalProcessorUID);

		const std::vector<char> component = sdkChunk(presetFile, kComponentState);
		const std::vector<char> controller = sdkChunk(presetFile, kControllerState);
		stream->release();
		ASSERT_EQ(component.size(), 112u);
		EXPECT_EQ(controller, component); // the controller keeps the same state
		const std::vector<float> values = floats(component);
		EXPECT_EQ(std::string(component.begin() + 80, component.begin() + 84), "parm");
		EXPECT_EQ(values[25], 0.0f); // the tuner (id 21) off
		EXPECT_EQ(values[27], 0.5f); // its reference (id 22) at 440 Hz
		EXPECT_EQ(values[0], 1.0f);
		EXPECT_EQ(values[kInputSelection], 1.0f);
		for (int id = kFirstParam; id <= brontal::kLastRecordParam; ++id)
		{
			EXPECT_GE(values[id], 0.0f) << id;
			EXPECT_LE(values[id], 1.0f) << id;
			if (id >= kOutputLeftVumeter)
			{
				EXPECT_EQ(values[id], 0.0f) << id; // indicators, About button, bypass
			}
		}
		distinct.insert(component);
	}
	EXPECT_EQ(distinct.size(), presetFiles().size()) << "two presets hold the same setting";
}

TEST(FactoryPresets, LoadedAsAHostDoesTheyReachProcessorAndController)
{
	for (const fs::path& file : presetFiles())
	{
		SCOPED_TRACE(file.filename().string());
		const host::Preset preset = host::readPreset(file.string());
		const std::vector<float> record = floats(preset.componentState);
		host::PluginInstance instance(bundle());
		instance.loadPreset(preset);
		EXPECT_EQ(instance.saveComponentState().bytes(), preset.componentState);
		for (int id = kFirstParam; id <= brontal::kLastRecordParam; ++id)
			EXPECT_EQ(instance.controller()->getParamNormalized(id), static_cast<double>(record[id])) << id;
	}
}

TEST(FactoryPresets, DamagedOrForeignFilesAreRefusedWithTheReason)
{
	const fs::path good = presetFiles().front();
	const std::vector<char> bytes = fileBytes(good);
	Temporary file;
	auto failure = [&](const std::vector<char>& content) -> std::string {
		file.write(content);
		try
		{
			host::PluginInstance instance(bundle());
			instance.loadPreset(host::readPreset(file.path.string()));
		}
		catch (const host::HostError& error)
		{
			return error.what();
		}
		return "";
	};

	std::vector<char> notPreset = bytes;
	std::memcpy(notPreset.data(), "RIFF", 4);
	EXPECT_NE(failure(notPreset).find("is not a VST 3 preset file"), std::string::npos);
	EXPECT_NE(failure({bytes.begin(), bytes.begin() + 40}).find("is not a VST 3 preset file"), std::string::npos);

	// The chunk list points past the end of the file.
	std::vector<char> damaged = bytes;
	damaged[damaged.size() - 20 + 8] = 0x7F; // size field of the last entry
	EXPECT_NE(failure(damaged).find("is damaged"), std::string::npos);

	// A preset of another plug-in: the class id in the header differs.
	std::vector<char> foreign = bytes;
	foreign[8] = foreign[8] == 'F' ? 'E' : 'F';
	EXPECT_NE(failure(foreign).find("belongs to another plug-in"), std::string::npos);

	EXPECT_EQ(failure(bytes), ""); // the untouched file loads
	fs::remove(file.path);
	try
	{
		host::readPreset(file.path.string());
		ADD_FAILURE() << "a missing file was read";
	}
	catch (const host::HostError& error)
	{
		EXPECT_NE(std::string(error.what()).find("no such file"), std::string::npos) << error.what();
	}
}
