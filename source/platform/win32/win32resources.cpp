// The editor's bitmaps on Windows: RT_BITMAP resources of the module.
#include "editorresources.h"

#include "win32windowclass.h"

namespace brontal {

gui::SharedBitmap loadEditorBitmap(int iResourceId)
{
	HINSTANCE hModule = win32::moduleInstance();
	const unsigned char* pData = nullptr;
	DWORD uSize = 0;
	if (HRSRC hResource = FindResourceW(hModule, MAKEINTRESOURCEW(iResourceId), MAKEINTRESOURCEW(2))) // RT_BITMAP
		if (HGLOBAL hLoaded = LoadResource(hModule, hResource))
		{
			pData = static_cast<const unsigned char*>(LockResource(hLoaded));
			uSize = SizeofResource(hModule, hResource);
		}
	return std::make_shared<const gui::CBitmap>(gui::CBitmap::fromDib(pData, uSize));
}

} // namespace brontal
