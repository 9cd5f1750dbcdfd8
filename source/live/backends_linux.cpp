// The one place that knows which audio back ends the Linux build has.

#include "audiodevice.h"

#include "alsa/alsadevice.h"
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

} // namespace brontal::live
