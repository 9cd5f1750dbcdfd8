// The one place that knows which audio back ends the Windows build has.

#include "audiodevice.h"

#include "wasapi/wasapidevice.h"

namespace brontal::live {

std::vector<std::string> backendNames()
{
	return {"wasapi"};
}

std::unique_ptr<AudioDevice> createAudioDevice(const std::string& backend)
{
	return backend == "wasapi" ? createWasapiDevice() : nullptr;
}

} // namespace brontal::live
