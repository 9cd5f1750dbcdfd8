#pragma once

#include "brontalclassid.h"
#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
namespace Vst {

static const FUID BrontalProcessorUID(brontal::kProcessorUidWords[0], brontal::kProcessorUidWords[1],
                                      brontal::kProcessorUidWords[2], brontal::kProcessorUidWords[3]);
static const FUID BrontalControllerUID(0x5AC792FF, 0xF4FE4BE5, 0x84DF43BE, 0xBBFD8711);

} // namespace Vst
} // namespace Steinberg
