#pragma once

// The 80-byte state record: the marker 1.0 and the values of ids 1..19, each
// a little-endian 32-bit float. The processor and the controller share it.

#include "brontalparams.h"
#include "pluginterfaces/base/ibstream.h"

namespace brontal {

constexpr int kStateRecordSize = 4 * (kLastParam + 1);
constexpr float kStateMarker = 1.0f;

// Values indexed by parameter id; entries outside 1..19 are not used.
using StateValues = float[kNumParams];

bool WriteStateRecord(Steinberg::IBStream* pStream, const StateValues& afValues);
// Reads the whole record or nothing: false when the stream cannot deliver all
// of it, with afValues untouched.
bool ReadStateRecord(Steinberg::IBStream* pStream, StateValues& afValues);

} // namespace brontal
