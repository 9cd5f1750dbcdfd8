#pragma once

// Loading a VST 3 module the way a host does (dlopen and ModuleEntry on
// Linux, LoadLibraryW and InitDll on Windows, then GetPluginFactory); and
// reading the class records of its factory.

#include "pluginterfaces/base/ipluginbase.h"

#include <array>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace brontal::host {

// Every failure of the host library is reported as one readable sentence.
class HostError : public std::runtime_error
{
public:
	using std::runtime_error::runtime_error;
};

using ClassId = std::array<char, 16>;

struct FactoryInfo
{
	std::string vendor;
	std::string url;
	std::string email;
	Steinberg::int32 flags = 0;
};

// One class record; the PClassInfo2 fields stay empty when the factory
// only implements IPluginFactory.
struct ClassInfo
{
	ClassId cid{};
	Steinberg::int32 cardinality = 0;
	std::string category;
	std::string name;
	bool hasInfo2 = false;
	Steinberg::uint32 classFlags = 0;
	std::string subCategories;
	std::string vendor;
	std::string version;
	std::string sdkVersion;
};

inline constexpr const char* kAudioModuleCategory = "Audio Module Class";
inline constexpr const char* kControllerCategory = "Component Controller Class";

// Resolves a bundle directory (NAME.vst3 -> Contents/x86_64-linux/NAME.so,
// or Contents/x86_64-win/NAME.vst3 on Windows) or returns a path to a
// module file unchanged. Throws HostError.
std::string resolveModulePath(const std::string& path);

class Library;

// A loaded module. Owns the library and one factory reference; the
// destructor releases the factory, calls the module exit and unloads the
// library, so every plug-in object must be released first (PluginInstance
// keeps its Module alive through a shared_ptr for that reason).
class Module
{
public:
	// Throws HostError when the file is missing, cannot be loaded, or
	// lacks or refuses an entry point.
	static std::shared_ptr<Module> load(const std::string& path);

	~Module();
	Module(const Module&) = delete;
	Module& operator=(const Module&) = delete;

	const std::string& path() const { return modulePath; }
	Steinberg::IPluginFactory* factory() const { return pluginFactory; }

	FactoryInfo factoryInfo() const;
	std::vector<ClassInfo> classInfos() const;
	// First class of the category, if any.
	std::optional<ClassInfo> findClass(const std::string& category) const;

	// Creates an instance of cid through its Interface (one reference owned
	// by the caller); null when the factory refuses.
	template <typename Interface>
	Interface* create(const ClassId& cid) const
	{
		void* object = nullptr;
		if (pluginFactory->createInstance(cid.data(), Interface::iid, &object) != Steinberg::kResultOk)
			return nullptr;
		return static_cast<Interface*>(object);
	}

private:
	Module() = default;

	std::string modulePath;
	std::unique_ptr<Library> library;
	Steinberg::IPluginFactory* pluginFactory = nullptr;
};

// Returns a reference-counted interface of the object or null.
template <typename Interface>
Interface* queryInterface(Steinberg::FUnknown* object)
{
	void* result = nullptr;
	if (!object || object->queryInterface(Interface::iid, &result) != Steinberg::kResultOk)
		return nullptr;
	return static_cast<Interface*>(result);
}

} // namespace brontal::host
