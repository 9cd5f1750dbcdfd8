#include "moduleentry.h"

namespace {
void* g_pModuleHandle = nullptr;
int g_iEntryCount = 0;
} // namespace

void* brontal::moduleHandle()
{
	return g_pModuleHandle;
}

// Linux hosts call these around the module's lifetime; nesting is counted
// so a host that enters twice is only forgotten on the last exit.
BRONTAL_EXPORT bool ModuleEntry(void* sharedLibraryHandle)
{
	if (g_iEntryCount++ == 0)
		g_pModuleHandle = sharedLibraryHandle;
	return true;
}

BRONTAL_EXPORT bool ModuleExit()
{
	if (g_iEntryCount > 0 && --g_iEntryCount == 0)
		g_pModuleHandle = nullptr;
	return true;
}

// Entry points of other platforms' hosts: nothing to set up or tear down.
BRONTAL_EXPORT bool InitDll()
{
	return true;
}

BRONTAL_EXPORT bool ExitDll()
{
	return true;
}
