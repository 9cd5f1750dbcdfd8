#pragma once

// The 80-byte state record: the marker 1.0 and the values of ids 1..19, each
// a little-endian 32-bit float. The processor and the controller share it.

#include "brontalparams.h"
#include "pluginterfaces/base/ibstream.h"

#include <cfloat>

namespace brontal {

constexpr int kStateRecordSize = 4 * (kLastParam + 1);
constexpr float kStateMarker = 1.0f;

// Values indexed by parameter id; entries outside 1..19 are not used.
using StateValues = float[kNumParams];

bool WriteStateRecord(Steinberg::IBStream* pStream, const StateValues& afValues);
// Reads the whole record or nothing: false when the stream cannot deliver all
// of it, with afValues untouched.
bool ReadStateRecord(Steinberg::IBStream* pStream, StateValues& afValues);

// A loaded or host-sent value as it may enter a cell: clamped to 0..1; false
// for NaN, which must leave the old value in place. Values below the
// smallest normal float are 0: the audio thread reads denormals as zero, so
// a switch holding one would be off there and on everywhere else.
inline bool SanitiseParamValue(double dValue, float& fOut)
{
	if (dValue != dValue)
		return false;
	fOut = static_cast<float>(dValue < static_cast<double>(FLT_MIN) ? 0.0 : (dValue > 1.0 ? 1.0 : dValue));
	return true;
}

} // namespace brontal
