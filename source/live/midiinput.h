#pragma once

// MIDI input for the audio back ends that read none themselves: a port of
// the application's own (where the API has one) and a connection from the
// source the player names. One back end per MIDI API (alsa/ the sequencer,
// win32/ the multimedia MIDI input); JACK MIDI is read in the JACK device's
// own process callback, at its frames, so there is none for it.

#include "audiodevice.h"

#include <memory>
#include <string>
#include <vector>

namespace brontal::live {

// Hears each message on the MIDI API's own thread; it may not block.
class MidiReceiver
{
public:
	virtual ~MidiReceiver() = default;
	virtual void midiReceived(const MidiMessage& message) = 0;
};

class MidiInput
{
public:
	virtual ~MidiInput() = default;
	// The sources a player may name, as they are named.
	virtual std::vector<std::string> listPorts() = 0;
	// Opens the input and connects the named source (none for an empty
	// name); throws DeviceError with one sentence when it cannot.
	virtual void open(const std::string& port, MidiReceiver& receiver) = 0;
	virtual void close() = 0;
};

// The MIDI input that goes with an audio back end; null when the audio back
// end reads MIDI itself or the build has none for it.
std::unique_ptr<MidiInput> createMidiInput(const std::string& backend);

} // namespace brontal::live
