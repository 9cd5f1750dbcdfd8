// Measures, through the bundle as a host runs it, what a change of a switch
// or a level does to a steady sine: the largest sample-to-sample step and
// the lowest short-time level around the change, next to the sine's own.
// Prints one row per change and writes the waveforms around two of them for
// docs/img (tools/plot_clicks.py). Deterministic: same module, same output.
//
//   brontal-clickprobe [BUNDLE] [WAVES.csv]

#include "brontalparams.h"
#include "host/module.h"
#include "host/plugininstance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

using namespace brontal::host;
using Steinberg::int32;
using Steinberg::Vst::ParamID;

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
// The change lands this far in, after every block has settled on the sine,
// half-way through a block.
constexpr int kChangeAt = 96 * kBlock + kBlock / 2;
constexpr int kLength = 144 * kBlock;
// Steps and levels are compared over this much before and after the change,
// and watched over this much from it (the enhancer fades in 0.1 s late).
constexpr int kWindow = 4800;
constexpr int kWatch = 7200;

struct Take
{
	std::vector<float> left, right;
};

// The sine on both inputs; the right one differs so that the input
// selector has something to change to.
Take Run(const std::shared_ptr<Module>& module, ParamID id, double dFrom, double dTo, int32 iOffset)
{
	PluginInstance instance(module);
	instance.activate({kRate, kBlock, Steinberg::Vst::kRealtime});
	Take in{std::vector<float>(kLength), std::vector<float>(kLength)};
	// Faded in over 0.2 s: an abrupt start would burst through the
	// compressor and come back from the delay while we measure.
	for (int i = 0; i < kLength; ++i)
	{
		const double dFade = i < 9600 ? 0.5 - 0.5 * std::cos(M_PI * i / 9600.0) : 1.0;
		in.left[i] = static_cast<float>(0.25 * dFade * std::sin(2.0 * M_PI * 220.0 * i / kRate));
		in.right[i] = static_cast<float>(0.2 * dFade * std::sin(2.0 * M_PI * 330.0 * i / kRate));
	}
	Take out{std::vector<float>(kLength), std::vector<float>(kLength)};
	// A clean sound, so that the sine's own steps stay small beside a click;
	// the distortion's changes are heard at its lowest drive.
	if (id == kDistortionOnOff)
		instance.block().inputChanges().add(kDistortionLevel, 0.0);
	else if (id != kDistortionLevel)
		instance.block().inputChanges().add(kDistortionOnOff, 0.0);
	instance.block().inputChanges().add(id, dFrom);
	for (int iDone = 0; iDone < kLength; iDone += kBlock)
	{
		if (iDone == kChangeAt - iOffset)
			instance.block().inputChanges().add(id, dTo, iOffset);
		float* apIn[2] = {&in.left[iDone], &in.right[iDone]};
		float* apOut[2] = {&out.left[iDone], &out.right[iDone]};
		if (instance.process({apIn, 2, apOut, 2, kBlock, 0}) != Steinberg::kResultOk)
			throw HostError("process failed");
	}
	return out;
}

float LargestStep(const std::vector<float>& v, int iFrom, int iTo, int* piWhere = nullptr)
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

// The lowest RMS over 2.5 ms windows (about half a period of the sine), in dB.
double LowestLevel(const std::vector<float>& v, int iFrom, int iTo)
{
	constexpr int kRms = 120;
	double dLowest = 1e9;
	for (int i = iFrom; i + kRms <= iTo; i += kRms / 4)
	{
		double dSum = 0.0;
		for (int j = i; j < i + kRms; ++j)
			dSum += static_cast<double>(v[j]) * v[j];
		dLowest = std::min(dLowest, 10.0 * std::log10(dSum / kRms + 1e-30));
	}
	return dLowest;
}

struct Change
{
	const char* szName;
	ParamID id;
	double dFrom, dTo;
};

} // namespace

int main(int argc, char** argv)
{
	const std::string bundle = argc > 1 ? argv[1] : BRONTAL_DEFAULT_BUNDLE;
	const std::string waves = argc > 2 ? argv[2] : "";
	try
	{
		const std::shared_ptr<Module> module = Module::load(bundle);
		const Change aChanges[] = {
		    {"bypass on", kBypass, 0.0, 1.0},           {"bypass off", kBypass, 1.0, 0.0},
		    {"gate/comp off", kGateCompOnOff, 1.0, 0.0}, {"gate/comp on", kGateCompOnOff, 0.0, 1.0},
		    {"drive off", kDistortionOnOff, 1.0, 0.0},   {"drive on", kDistortionOnOff, 0.0, 1.0},
		    {"chorus off", kModulationOnOff, 1.0, 0.0},  {"chorus on", kModulationOnOff, 0.0, 1.0},
		    {"delay off", kDelayOnOff, 1.0, 0.0},        {"delay on", kDelayOnOff, 0.0, 1.0},
		    {"reverb off", kReverbOnOff, 1.0, 0.0},      {"reverb on", kReverbOnOff, 0.0, 1.0},
		    {"input right", kInputSelection, 1.0, 0.0},  {"input left", kInputSelection, 0.0, 1.0},
		    {"stereo on", kStereoEnhancerOnOff, 0.0, 1.0}, {"stereo off", kStereoEnhancerOnOff, 1.0, 0.0},
		    {"drive 0 -> 1", kDistortionLevel, 0.0, 1.0}, {"comp 0 -> 1", kCompressorLevel, 0.0, 1.0},
		    {"chorus 0 -> 1", kChorusSpeed, 0.0, 1.0},   {"delay 0 -> 1", kDelayLevel, 0.0, 1.0},
		    {"reverb 0 -> 1", kReverbLevel, 0.0, 1.0},
		};
		std::printf("%-16s %10s %10s %6s %6s %9s %9s\n", "change", "sine step", "step at it", "ratio", "where",
		            "level dB", "lowest dB");
		std::ofstream csv;
		if (!waves.empty())
		{
			csv.open(waves);
			csv << "name,sample,left\n";
		}
		for (const Change& c : aChanges)
		{
			// Mid-block, so that a change applied at the block's start would show.
			const Take t = Run(module, c.id, c.dFrom, c.dTo, kBlock / 2);
			float fSine = 0.0f, fAt = 0.0f;
			int iWhere = 0;
			double dLevel = -1e9, dLowest = 1e9;
			for (const std::vector<float>* pv : {&t.left, &t.right})
			{
				fSine = std::max({fSine, LargestStep(*pv, kChangeAt - kWindow, kChangeAt - kBlock),
				                  LargestStep(*pv, kLength - kWindow, kLength)});
				int i = 0;
				const float fStep = LargestStep(*pv, kChangeAt - kBlock, kChangeAt + kWatch, &i);
				if (fStep > fAt)
				{
					fAt = fStep;
					iWhere = i - kChangeAt;
				}
				dLevel = std::max(dLevel, std::min(LowestLevel(*pv, kChangeAt - kWindow, kChangeAt - kBlock),
				                                   LowestLevel(*pv, kLength - kWindow, kLength)));
				dLowest = std::min(dLowest, LowestLevel(*pv, kChangeAt - kBlock, kChangeAt + kWatch));
			}
			std::printf("%-16s %10.5f %10.5f %6.2f %6d %9.1f %9.1f\n", c.szName, fSine, fAt, fAt / fSine, iWhere,
			            dLevel, dLowest);
			if (csv && (c.id == kDistortionLevel || c.id == kDistortionOnOff))
				for (int i = kChangeAt - 1200; i < kChangeAt + 2400; ++i)
					csv << c.szName << ',' << i - kChangeAt << ',' << t.left[i] << '\n';
		}
	}
	catch (const std::exception& error)
	{
		std::cerr << "brontal-clickprobe: " << error.what() << '\n';
		return 1;
	}
	return 0;
}
