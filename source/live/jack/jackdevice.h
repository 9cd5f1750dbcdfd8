#pragma once

#include "audiodevice.h"

namespace brontal::live {

// JACK (and PipeWire through its JACK layer): a client named after the
// application, ports after what they carry, connected to the physical
// ports of the chosen channels. The server keeps its own rate and period.
std::unique_ptr<AudioDevice> createJackDevice();

} // namespace brontal::live
