#pragma once

// A change of one parameter in the middle of a steady sine, run through the
// module as a host runs it, and what it does to the output: the largest
// sample-to-sample step and the lowest short-time level around the change,
// beside the steady sound's own before and after. Shared by the click probe
// and the bundle's tests.

#include "brontalparams.h"
#include "host/module.h"
#include "host/plugininstance.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace brontal::clicks {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
// The change lands half-way through block 96, after every block has
// settled on the sine.
constexpr int kChangeAt = 96 * kBlock + kBlock / 2;
constexpr int kLength = 144 * kBlock;
// The steady sound is measured over this much before the change (up to the
// block that carries it) and at the end; the change is watched over this
// much from that block (the enhancer fades in 0.1 s late).
constexpr int kWindow = 4800;
constexpr int kWatch = 7200;

struct Take
{
	std::vector<float> left, right;
};

// Left 220 Hz, right 330 Hz (so that the input selector has something to
// change to), faded in over 0.2 s: an abrupt start would burst through the
// compressor and come back from the delay while we measure. Settings are
// clean so that the sine's own steps stay small beside a click: distortion
// off, or at its lowest drive when the change is about the distortion.
// Extra settings go in the first block too. The probe's figures are taken
// at kRate in blocks of kBlock; tests also run the same samples at other
// rates (the sines keep their frequencies) and in other host blocks.
inline Take RunChange(const std::shared_ptr<host::Module>& module, Steinberg::Vst::ParamID id, double dFrom,
                      double dTo, const std::vector<std::pair<Steinberg::Vst::ParamID, double>>& extra = {},
                      double dRate = kRate, int iBlock = kBlock)
{
	host::PluginInstance instance(module);
	instance.activate({dRate, iBlock, Steinberg::Vst::kRealtime});
	Take in{std::vector<float>(kLength), std::vector<float>(kLength)};
	for (int i = 0; i < kLength; ++i)
	{
		const double dFade = i < 9600 ? 0.5 - 0.5 * std::cos(M_PI * i / 9600.0) : 1.0;
		in.left[i] = static_cast<float>(0.25 * dFade * std::sin(2.0 * M_PI * 220.0 * i / dRate));
		in.right[i] = static_cast<float>(0.2 * dFade * std::sin(2.0 * M_PI * 330.0 * i / dRate));
	}
	Take out{std::vector<float>(kLength), std::vector<float>(kLength)};
	if (id == kDistortionOnOff)
		instance.block().inputChanges().add(kDistortionLevel, 0.0);
	else if (id != kDistortionLevel)
		instance.block().inputChanges().add(kDistortionOnOff, 0.0);
	for (const auto& [extraId, dValue] : extra)
		instance.block().inputChanges().add(extraId, dValue);
	instance.block().inputChanges().add(id, dFrom);
	for (int iDone = 0, n = 0; iDone < kLength; iDone += n)
	{
		n = std::min(iBlock, kLength - iDone);
		if (kChangeAt >= iDone && kChangeAt < iDone + n)
			instance.block().inputChanges().add(id, dTo, kChangeAt - iDone);
		float* apIn[2] = {&in.left[iDone], &in.right[iDone]};
		float* apOut[2] = {&out.left[iDone], &out.right[iDone]};
		if (instance.process({apIn, 2, apOut, 2, n, 0}) != Steinberg::kResultOk)
			throw host::HostError("process failed");
	}
	return out;
}

inline float LargestStep(const std::vector<float>& v, int iFrom, int iTo, int* piWhere = nullptr)
{
	float fStep = 0.0f;
	for (int i = std::max(1, iFrom); i < iTo; ++i)
		if (std::fabs(v[i] - v[i - 1]) > fStep)
		{
			fStep = std::fabs(v[i] - v[i - 1]);
			if (piWhere)
				*piWhere = i;
		}
	return fStep;
}

// The lowest RMS over 10 ms windows (two periods of 220 Hz, three of 330),
// one every millisecond, in dB.
inline double LowestLevel(const std::vector<float>& v, int iFrom, int iTo)
{
	constexpr int kRms = 480;
	double dLowest = 1e9;
	for (int i = iFrom; i + kRms <= iTo; i += kRms / 10)
	{
		double dSum = 0.0;
		for (int j = i; j < i + kRms; ++j)
			dSum += static_cast<double>(v[j]) * v[j];
		dLowest = std::min(dLowest, 10.0 * std::log10(dSum / kRms + 1e-30));
	}
	return dLowest;
}

// Per channel: the steady sound's largest step (before or after) against
// the largest one around the change, and the level around the change less
// the lower of the steady levels. The worse channel counts.
struct Figures
{
	float fSteadyStep = 0.0f;
	float fStep = 0.0f;
	double dRatio = 0.0;
	int iWhere = 0; // samples after the change
	double dDipDb = 1e9;
};

inline Figures Measure(const Take& take)
{
	Figures f;
	for (const std::vector<float>* pv : {&take.left, &take.right})
	{
		const int iWatchFrom = kChangeAt - kBlock;
		const float fSteady =
		    std::max(LargestStep(*pv, iWatchFrom - kWindow, iWatchFrom), LargestStep(*pv, kLength - kWindow, kLength));
		int iWhere = 0;
		const float fStep = LargestStep(*pv, iWatchFrom, kChangeAt + kWatch, &iWhere);
		if (fStep / fSteady > f.dRatio)
			f = {fSteady, fStep, fStep / fSteady, iWhere - kChangeAt, f.dDipDb};
		const double dSteady =
		    std::min(LowestLevel(*pv, iWatchFrom - kWindow, iWatchFrom), LowestLevel(*pv, kLength - kWindow, kLength));
		f.dDipDb = std::min(f.dDipDb, LowestLevel(*pv, iWatchFrom - 480, kChangeAt + kWatch) - dSteady);
	}
	return f;
}

} // namespace brontal::clicks
