// The one place that knows which audio and MIDI back ends the Linux build has.

#include "audiodevice.h"
#include "midiinput.h"

#include "alsa/alsadevice.h"
#include "alsa/alsaseqinput.h"
#include "jack/jackdevice.h"

namespace brontal::live {

std::vector<std::string> backendNames()
{
	return {"jack", "alsa"};
}

std::unique_ptr<AudioDevice> createAudioDevice(const std::string& backend)
{
	if (backend == "jack")
		return createJackDevice();
	if (backend == "alsa")
		return createAlsaDevice();
	return nullptr;
}

// JACK MIDI comes with the JACK device's periods.
std::unique_ptr<MidiInput> createMidiInput(const std::string& backend)
{
	return backend == "alsa" ? createAlsaSeqInput() : nullptr;
}

} // namespace brontal::live
