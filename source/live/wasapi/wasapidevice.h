#pragma once

#include "audiodevice.h"

namespace brontal::live {

// WASAPI: the chosen render endpoint and the capture endpoint of the same
// name (else the default one), exclusive where the device takes the rate
// and float samples, shared otherwise; event-driven, its thread in the
// "Pro Audio" MMCSS class.
std::unique_ptr<AudioDevice> createWasapiDevice();

} // namespace brontal::live
