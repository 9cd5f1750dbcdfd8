#pragma once

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
namespace Vst {

static const FUID BrontalProcessorUID(0x22A5BA23, 0x96194566, 0xB73959C2, 0x4A0EBE80);
static const FUID BrontalControllerUID(0x5AC792FF, 0xF4FE4BE5, 0x84DF43BE, 0xBBFD8711);

} // namespace Vst
} // namespace Steinberg
