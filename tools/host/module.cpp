#include "host/module.h"

#include "host/library.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace brontal::host {

namespace fs = std::filesystem;
using namespace Steinberg;

namespace {

using GetFactoryFunc = IPluginFactory* (PLUGIN_API*)();

template <size_t N>
std::string fixedString(const char8 (&text)[N])
{
	return std::string(text, strnlen(text, N));
}

} // namespace

std::string resolveModulePath(const std::string& path)
{
	std::error_code error;
	const fs::path given(path);
	if (fs::is_directory(given, error))
	{
		fs::path bundle = given;
		if (!bundle.has_filename())
			bundle = bundle.parent_path();
		if (bundle.extension() != ".vst3")
			throw HostError("not a VST 3 bundle (a directory whose name ends in .vst3): " + path);
		const fs::path library =
		    bundle / "Contents" / kBundleArchitecture / bundleBinaryName(bundle.stem().string());
		if (!fs::is_regular_file(library, error))
			throw HostError("bundle " + path + " has no " + library.string());
		return library.string();
	}
	if (!fs::is_regular_file(given, error))
		throw HostError("no plug-in at " + path);
	return path;
}

std::shared_ptr<Module> Module::load(const std::string& path)
{
	const std::string file = resolveModulePath(path);
	std::unique_ptr<Library> library = Library::open(file);
	auto getFactory = library->function<GetFactoryFunc>("GetPluginFactory");
	if (!getFactory)
		throw HostError(file + " does not export GetPluginFactory");
	if (!library->enter())
		throw HostError("the module entry of " + file + " is missing or failed");
	// From here on the destructor owns the clean-up, the module exit included.
	std::shared_ptr<Module> module(new Module);
	module->modulePath = file;
	module->library = std::move(library);
	module->pluginFactory = getFactory();
	if (!module->pluginFactory)
		throw HostError("GetPluginFactory of " + file + " returned no factory");
	return module;
}

Module::~Module()
{
	if (!library)
		return;
	if (pluginFactory)
		pluginFactory->release();
	library->exit();
}

FactoryInfo Module::factoryInfo() const
{
	PFactoryInfo info{};
	if (pluginFactory->getFactoryInfo(&info) != kResultOk)
		throw HostError("the factory of " + modulePath + " gives no factory information");
	return {fixedString(info.vendor), fixedString(info.url), fixedString(info.email), info.flags};
}

std::vector<ClassInfo> Module::classInfos() const
{
	IPluginFactory2* factory2 = queryInterface<IPluginFactory2>(pluginFactory);
	std::vector<ClassInfo> infos;
	const int32 count = pluginFactory->countClasses();
	for (int32 index = 0; index < count; ++index)
	{
		ClassInfo result;
		PClassInfo2 info2{};
		PClassInfo info{};
		if (factory2 && factory2->getClassInfo2(index, &info2) == kResultOk)
		{
			std::copy(std::begin(info2.cid), std::end(info2.cid), result.cid.begin());
			result.cardinality = info2.cardinality;
			result.category = fixedString(info2.category);
			result.name = fixedString(info2.name);
			result.hasInfo2 = true;
			result.classFlags = info2.classFlags;
			result.subCategories = fixedString(info2.subCategories);
			result.vendor = fixedString(info2.vendor);
			result.version = fixedString(info2.version);
			result.sdkVersion = fixedString(info2.sdkVersion);
		}
		else if (pluginFactory->getClassInfo(index, &info) == kResultOk)
		{
			std::copy(std::begin(info.cid), std::end(info.cid), result.cid.begin());
			result.cardinality = info.cardinality;
			result.category = fixedString(info.category);
			result.name = fixedString(info.name);
		}
		else
		{
			if (factory2)
				factory2->release();
			throw HostError("the factory of " + modulePath + " refuses class record " +
			                std::to_string(index));
		}
		infos.push_back(std::move(result));
	}
	if (factory2)
		factory2->release();
	return infos;
}

std::optional<ClassInfo> Module::findClass(const std::string& category) const
{
	for (ClassInfo& info : classInfos())
		if (info.category == category)
			return std::move(info);
	return std::nullopt;
}

} // namespace brontal::host
