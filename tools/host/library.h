#pragma once

// A shared library loaded the platform's way, and the platform's module
// conventions: where a bundle keeps its binary, and the entry and exit calls
// a host makes around the module's life.

#include <memory>
#include <string>

namespace brontal::host {

// Name of the architecture folder inside a bundle's Contents.
extern const char* const kBundleArchitecture;
// The binary's name inside that folder for a bundle named NAME.vst3.
std::string bundleBinaryName(const std::string& bundleStem);

class Library
{
public:
	// Throws HostError with the loader's reason.
	static std::unique_ptr<Library> open(const std::string& path);
	~Library();
	Library(const Library&) = delete;
	Library& operator=(const Library&) = delete;

	// Null when the library does not export the name.
	void* symbol(const char* name) const;
	template <typename Func>
	Func function(const char* name) const
	{
		return reinterpret_cast<Func>(symbol(name));
	}

	// The module entry a host calls after loading (ModuleEntry with the
	// handle on Linux, InitDll on Windows when exported); false on refusal
	// or, on Linux, when the entry or exit point is missing.
	bool enter() const;
	// The matching exit call (ModuleExit, ExitDll); its answer, or true
	// when the module has none.
	bool exit() const;

private:
	explicit Library(void* pHandle) : handle(pHandle) {}

	void* handle;
};

} // namespace brontal::host
