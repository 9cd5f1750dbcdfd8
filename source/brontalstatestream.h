#pragma once

// The state through a VST 3 host's streams: the same bytes every shell saves.

#include "brontalstate.h"
#include "pluginterfaces/base/ibstream.h"

namespace brontal {

// The host's side. A stream may deliver less than asked at a time; reading
// goes on until it ends or stops giving, up to kMaxStateBytes. False when
// not even the record arrived.
bool ReadStateStream(Steinberg::IBStream* pStream, StateBytes& bytes);
bool WriteStateStream(Steinberg::IBStream* pStream, const StateBytes& bytes);

} // namespace brontal
