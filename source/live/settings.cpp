#include "settings.h"

#include "platform.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace brontal::live {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool validChannels(const std::vector<int>& channels, std::size_t most)
{
	if (channels.empty() || channels.size() > most)
		return false;
	for (int channel : channels)
		if (channel < 0 || channel > kMaxChannel)
			return false;
	return channels.size() == 1 || channels[0] != channels[1];
}

} // namespace

std::string configFolder(std::string& why)
{
	const std::string folder = configFolderPath(why);
	std::error_code error;
	if (!folder.empty())
		fs::create_directories(folder, error);
	return folder;
}

std::string settingsPath(const std::string& folder)
{
	return (fs::path(folder) / "live.json").string();
}

std::string lastStatePath(const std::string& folder)
{
	return (fs::path(folder) / "live-last.vstpreset").string();
}

Settings loadSettings(const std::string& path, std::vector<std::string>& messages)
{
	Settings settings;
	std::error_code error;
	if (!fs::exists(path, error))
	{
		messages.push_back("no settings at " + path + " yet: using the defaults");
		return settings;
	}
	std::ifstream file(path, std::ios::binary);
	const std::string text((std::istreambuf_iterator<char>(file)), {});
	try
	{
		const json root = json::parse(text);
		Settings read;
		read.backend = root.value("backend", read.backend);
		read.device = root.value("device", read.device);
		read.inputs = root.value("inputs", read.inputs);
		read.outputs = root.value("outputs", read.outputs);
		read.sampleRate = root.value("sampleRate", read.sampleRate);
		read.period = root.value("period", read.period);
		read.midiPort = root.value("midiPort", read.midiPort);
		settings = read;
	}
	catch (const json::exception&)
	{
		messages.push_back("the settings file " + path + " is unreadable: using the defaults (it is rewritten at exit)");
	}
	return settings;
}

bool writeFileAtomically(const std::string& path, const std::string& bytes)
{
	const std::string temporary = path + ".new";
	{
		std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
		if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush())
			return false;
	}
	std::error_code error;
	fs::rename(temporary, path, error);
	if (error)
		fs::remove(temporary, error);
	return !error;
}

bool saveSettings(const std::string& path, const Settings& settings, std::vector<std::string>& messages)
{
	const json root = {
	    {"backend", settings.backend},   {"device", settings.device},
	    {"inputs", settings.inputs},     {"outputs", settings.outputs},
	    {"sampleRate", settings.sampleRate}, {"period", settings.period},
	    {"midiPort", settings.midiPort},
	};
	if (writeFileAtomically(path, root.dump(2) + "\n"))
		return true;
	messages.push_back("cannot write the settings file " + path);
	return false;
}

void sanitize(Settings& settings, std::vector<std::string>& messages)
{
	if (settings.sampleRate < kMinRate || settings.sampleRate > kMaxRate)
	{
		messages.push_back("a rate of " + std::to_string(settings.sampleRate) + " Hz is not one a device runs at: using " +
		                   std::to_string(kDefaultRate) + " Hz");
		settings.sampleRate = kDefaultRate;
	}
	if (settings.period < kMinPeriod || settings.period > kMaxPeriod)
	{
		const int nearest = settings.period < kMinPeriod ? kMinPeriod : kMaxPeriod;
		messages.push_back("a period of " + std::to_string(settings.period) + " frames is outside " +
		                   std::to_string(kMinPeriod) + " to " + std::to_string(kMaxPeriod) + ": using " +
		                   std::to_string(nearest));
		settings.period = nearest;
	}
	if (!validChannels(settings.inputs, 2))
	{
		messages.push_back("the input channels are not one channel or a pair of different ones: using channel 1");
		settings.inputs = {0};
	}
	if (!validChannels(settings.outputs, 2) || settings.outputs.size() != 2)
	{
		messages.push_back("the output channels are not a pair of different ones: using 1,2");
		settings.outputs = {0, 1};
	}
}

std::string channelText(const std::vector<int>& channels)
{
	std::string text;
	for (int channel : channels)
		text += (text.empty() ? "" : ",") + std::to_string(channel + 1);
	return text;
}

} // namespace brontal::live
