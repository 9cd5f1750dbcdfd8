#pragma once

// The module's exported entry points. The platform part records the module
// handle; the plug-in defines GetPluginFactory.

namespace brontal {

// The handle the module was loaded with: on Linux the dlopen handle passed
// to ModuleEntry (null before it), on Windows the module's HINSTANCE.
void* moduleHandle();

} // namespace brontal

#if defined(_WIN32)
#define BRONTAL_EXPORT extern "C" __declspec(dllexport)
#else
#define BRONTAL_EXPORT extern "C" __attribute__((visibility("default")))
#endif
