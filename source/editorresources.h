#pragma once
#include "widgets/cview.h"

namespace brontal {

// The editor's bitmap with this resource id, decoded; empty for an
// unknown id. Linux builds read the bitmaps embedded in the module,
// Windows builds the module's RT_BITMAP resources.
gui::SharedBitmap loadEditorBitmap(int iResourceId);

} // namespace brontal
