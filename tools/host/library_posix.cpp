#include "host/library.h"

#include "host/module.h"

#include <dlfcn.h>

namespace brontal::host {

const char* const kBundleArchitecture = "x86_64-linux";

std::string bundleBinaryName(const std::string& bundleStem)
{
	return bundleStem + ".so";
}

std::unique_ptr<Library> Library::open(const std::string& path)
{
	void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!handle)
	{
		const char* text = dlerror();
		throw HostError("cannot load " + path + ": " + (text ? text : "unknown error"));
	}
	return std::unique_ptr<Library>(new Library(handle));
}

Library::~Library()
{
	dlclose(handle);
}

void* Library::symbol(const char* name) const
{
	return dlsym(handle, name);
}

bool Library::enter() const
{
	auto entry = function<bool (*)(void*)>("ModuleEntry");
	return entry && symbol("ModuleExit") && entry(handle);
}

bool Library::exit() const
{
	auto exitModule = function<bool (*)()>("ModuleExit");
	return !exitModule || exitModule();
}

} // namespace brontal::host
