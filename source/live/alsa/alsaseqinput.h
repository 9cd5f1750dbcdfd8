#pragma once

#include "midiinput.h"

namespace brontal::live {

// The ALSA sequencer: a client "brontal-live" with a port "midi_in" that
// other clients connect to, and a connection from the named source.
std::unique_ptr<MidiInput> createAlsaSeqInput();

} // namespace brontal::live
