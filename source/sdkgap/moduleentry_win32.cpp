#include "moduleentry.h"

#include <windows.h>

// The static C++ runtime's own clean-up of its emergency exception pool.
namespace __gnu_cxx {
void __freeres();
} // namespace __gnu_cxx

namespace {
HINSTANCE g_hModule = nullptr;
} // namespace

void* brontal::moduleHandle()
{
	return g_hModule;
}

// The loader tells us our own handle, through which the editor reaches the
// module's bitmaps, icon and dialog.
extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD uReason, LPVOID pReserved)
{
	if (uReason == DLL_PROCESS_ATTACH)
		g_hModule = hInstance;
	// Unloaded by the host (not the process ending): the runtime linked into
	// the module allocated that pool at load and would leave it behind.
	else if (uReason == DLL_PROCESS_DETACH && !pReserved)
		__gnu_cxx::__freeres();
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
