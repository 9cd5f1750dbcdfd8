// The one place that knows which audio and MIDI back ends the Windows build has.

#include "audiodevice.h"
#include "midiinput.h"

#include "wasapi/wasapidevice.h"
#include "win32/winmidiinput.h"

namespace brontal::live {

std::vector<std::string> backendNames()
{
	return {"wasapi"};
}

std::unique_ptr<AudioDevice> createAudioDevice(const std::string& backend)
{
	return backend == "wasapi" ? createWasapiDevice() : nullptr;
}

std::unique_ptr<MidiInput> createMidiInput(const std::string& backend)
{
	return backend == "wasapi" ? createWinMidiInput() : nullptr;
}

} // namespace brontal::live
