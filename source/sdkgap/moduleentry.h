#pragma once

// The module's exported entry points. The platform part records the module
// handle; the plug-in defines GetPluginFactory.

namespace brontal {

// The handle the host loaded this module with (on Linux, the dlopen handle
// passed to ModuleEntry); null before the module has been entered.
void* GetModuleHandle();

} // namespace brontal

#define BRONTAL_EXPORT extern "C" __attribute__((visibility("default")))
