#include "moduleentry.h"

#include <windows.h>

namespace {
HINSTANCE g_hModule = nullptr;
} // namespace

void* brontal::moduleHandle()
{
	return g_hModule;
}

// The loader tells us our own handle, through which the editor reaches the
// module's bitmaps, icon and dialog.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD uReason, LPVOID)
{
	if (uReason == DLL_PROCESS_ATTACH)
		g_hModule = hInstance;
	return TRUE;
}

// Windows hosts call these after loading and before unloading: everything
// the module needs is set up on first use and released with its last user.
BRONTAL_EXPORT bool InitDll()
{
	return true;
}

BRONTAL_EXPORT bool ExitDll()
{
	return true;
}
