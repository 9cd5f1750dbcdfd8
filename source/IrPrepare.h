#pragma once

// Turning a loaded impulse response into the taps the cabinet convolves at
// the host's rate: leading silence trimmed, loudness matched, resampled.
// Offline work (it allocates and takes up to a few hundred milliseconds):
// never on the audio thread.

#include "IrFile.h"

#include <vector>

namespace brontal {

// Leading samples whose level is below this, relative to the response's
// peak over both channels, are dropped when trimming.
constexpr double kIrTrimThresholdDb = -60.0;

// Band-limited resampling with a Kaiser-windowed sinc: flat within
// kResamplePassbandDb up to kResamplePassband of the lower rate's Nyquist
// frequency, at least kResampleStopbandDb down from its Nyquist frequency
// on. Scaled by the ratio of the rates, so that the response keeps its
// level and tone at every rate. The same rate gives the samples unchanged.
constexpr double kResamplePassband = 0.90;
constexpr double kResamplePassbandDb = 0.001;
constexpr double kResampleStopbandDb = 140.0;
std::vector<float> ResampleResponse(const std::vector<float>& afIn, double dFromRate, double dToRate);

// The index of the first frame within kIrTrimThresholdDb of the peak.
int LeadingSilence(const IrSamples& ir);

// A response's energy as heard at any rate: the rate times the sum of
// squares (the power gain for white noise in the band the rate holds),
// the mean over its channels.
double ResponseEnergy(const IrSamples& ir);

struct IrSettings
{
	bool bNormalise = true;
	bool bTrim = true;
};

// The taps at dHostRate: trimmed, scaled to dTargetEnergy when normalising,
// resampled. afRight is empty for a mono response.
struct IrTaps
{
	std::vector<float> afLeft, afRight;
};
IrTaps PrepareResponse(const IrSamples& ir, const IrSettings& settings, double dHostRate, double dTargetEnergy);

} // namespace brontal
