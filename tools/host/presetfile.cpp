#include "host/presetfile.h"

#include "host/hostobjects.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

namespace brontal::host {

namespace {

namespace fs = std::filesystem;
using namespace Steinberg;
using namespace Steinberg::Vst;

std::vector<char> chunk(ByteStream& stream, const PresetFile::Entry& entry, const std::string& path)
{
	const auto size = static_cast<TSize>(stream.bytes().size());
	if (entry.offset < 0 || entry.size < 0 || entry.offset > size || entry.size > size - entry.offset)
		throw HostError(path + " is damaged: a chunk lies outside the file");
	const auto begin = stream.bytes().begin() + entry.offset;
	return std::vector<char>(begin, begin + entry.size);
}

std::string legalName(std::string name)
{
	for (char& c : name)
	{
		if (std::string_view("\\*?/:<>|").find(c) != std::string_view::npos)
			c = '_';
	}
	return name;
}

} // namespace

Preset readPreset(const std::string& path)
{
	std::error_code error;
	std::ifstream file(path, std::ios::binary);
	if (!file || fs::is_directory(path, error))
		throw HostError("cannot read " + path + ": " +
		                (fs::exists(path, error) ? "not a readable file" : "no such file"));
	ByteStream stream(std::vector<char>(std::istreambuf_iterator<char>(file), {}));

	PresetFile presetFile(&stream);
	if (!presetFile.readChunkList())
		throw HostError(path + " is not a VST 3 preset file");
	Preset preset;
	presetFile.getClassID().toTUID(preset.classId.data());
	const PresetFile::Entry* component = presetFile.getEntry(kComponentState);
	if (!component)
		throw HostError(path + " holds no component state");
	preset.componentState = chunk(stream, *component, path);
	if (const PresetFile::Entry* controller = presetFile.getEntry(kControllerState))
		preset.controllerState = chunk(stream, *controller, path);
	return preset;
}

std::vector<char> writePreset(const ClassId& classId, IComponent& component, IEditController& controller)
{
	ByteStream stream;
	if (!PresetFile::savePreset(&stream, FUID::fromTUID(classId.data()), &component, &controller))
		throw HostError("the plug-in did not give its state for a preset");
	return stream.bytes();
}

std::string presetSubfolder(const FactoryInfo& factory, const ClassInfo& audioClass)
{
	const std::string& company = audioClass.vendor.empty() ? factory.vendor : audioClass.vendor;
	return legalName(company) + "/" + legalName(audioClass.name);
}

std::string classIdString(const ClassId& classId)
{
	char text[33] = {};
	FUID::fromTUID(classId.data()).toString(text);
	return text;
}

} // namespace brontal::host
