#pragma once

#include "midiinput.h"

namespace brontal::live {

// The multimedia MIDI input (midiInOpen) of the device the player names;
// Windows has no ports of an application's own for others to connect to.
std::unique_ptr<MidiInput> createWinMidiInput();

} // namespace brontal::live
