#include "editorresources.h"

#include "brontalart.h"

namespace brontal {

namespace {

struct Entry
{
	int iId;
	Blob (*pGet)();
};

constexpr Entry kBitmaps[] = {
	{104, art::bmp104}, {105, art::bmp105}, {106, art::bmp106}, {107, art::bmp107}, {108, art::bmp108},
	{109, art::bmp109}, {110, art::bmp110}, {111, art::bmp111}, {112, art::bmp112}, {113, art::bmp113},
	{114, art::bmp114}, {115, art::bmp115}, {116, art::bmp116}, {117, art::bmp117}, {118, art::bmp118},
	{119, art::bmp119}, {120, art::bmp120}, {121, art::bmp121}, {122, art::bmp122}, {123, art::bmp123},
	{150, art::bmp150}, {152, art::bmp152}, {153, art::bmp153}, {160, art::bmp160}, {161, art::bmp161},
};

Blob find(int iId)
{
	for (const Entry& entry : kBitmaps)
		if (entry.iId == iId)
			return entry.pGet();
	return {nullptr, 0};
}

} // namespace

gui::SharedBitmap loadEditorBitmap(int iResourceId)
{
	const Blob blob = find(iResourceId);
	return std::make_shared<const gui::CBitmap>(gui::CBitmap::fromBmp(blob.data, blob.size));
}

} // namespace brontal
