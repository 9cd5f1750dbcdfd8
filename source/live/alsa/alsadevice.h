#pragma once

#include "audiodevice.h"

namespace brontal::live {

// ALSA directly: one capture and one playback stream of the same PCM,
// linked, read and written a period at a time by a thread of our own.
std::unique_ptr<AudioDevice> createAlsaDevice();

} // namespace brontal::live
