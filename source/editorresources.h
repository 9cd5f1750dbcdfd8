#pragma once
#include "embeddedblob.h"
#include "widgets/cview.h"

namespace brontal {

// The editor's bitmap with this resource id, decoded; empty for an
// unknown id.
gui::SharedBitmap loadEditorBitmap(int iResourceId);

// The product icon as a PNG file of iSize pixels square (256, 128, 64, 48,
// 32 or 16); an empty blob for another size.
Blob productIconPng(int iSize);

} // namespace brontal
