// Prints, for every switch and level change on a steady sine through the
// bundle, the largest sample-to-sample step around it beside the steady
// sound's own, and how far the level dips; writes the waveforms around the
// distortion switched off and the drive automated for docs/img
// (tools/plot_clicks.py). Deterministic: the same module gives the same
// output.
//
//   brontal-clickprobe [BUNDLE] [WAVES.csv]

#include "clicks/clickmeasure.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

using namespace brontal;
using namespace brontal::clicks;

namespace {
struct Change
{
	const char* szName;
	Steinberg::Vst::ParamID id;
	double dFrom, dTo;
	std::vector<std::pair<Steinberg::Vst::ParamID, double>> extra = {};
};
} // namespace

int main(int argc, char** argv)
{
	const std::string bundle = argc > 1 ? argv[1] : BRONTAL_DEFAULT_BUNDLE;
	const std::string waves = argc > 2 ? argv[2] : "";
	try
	{
		const std::shared_ptr<host::Module> module = host::Module::load(bundle);
		const Change aChanges[] = {
		    {"bypass on", kBypass, 0.0, 1.0},           {"bypass off", kBypass, 1.0, 0.0},
		    {"gate/comp off", kGateCompOnOff, 1.0, 0.0}, {"gate/comp on", kGateCompOnOff, 0.0, 1.0},
		    {"drive off", kDistortionOnOff, 1.0, 0.0},   {"drive on", kDistortionOnOff, 0.0, 1.0},
		    {"chorus off", kModulationOnOff, 1.0, 0.0},  {"chorus on", kModulationOnOff, 0.0, 1.0},
		    {"delay off", kDelayOnOff, 1.0, 0.0},        {"delay on", kDelayOnOff, 0.0, 1.0},
		    {"reverb off", kReverbOnOff, 1.0, 0.0},      {"reverb on", kReverbOnOff, 0.0, 1.0},
		    {"input right", kInputSelection, 1.0, 0.0},  {"input left", kInputSelection, 0.0, 1.0},
		    {"stereo on", kStereoEnhancerOnOff, 0.0, 1.0}, {"stereo off", kStereoEnhancerOnOff, 1.0, 0.0},
		    {"drive 0 -> 1", kDistortionLevel, 0.0, 1.0},
		    // The drive alone: it takes the sine from nearly clean to clipped.
		    {"drive only 0->1",
		     kDistortionLevel,
		     0.0,
		     1.0,
		     {{kGateCompOnOff, 0.0}, {kModulationOnOff, 0.0}, {kDelayOnOff, 0.0}, {kReverbOnOff, 0.0}}},
		    {"comp 0 -> 1", kCompressorLevel, 0.0, 1.0},
		    {"chorus 0 -> 1", kChorusSpeed, 0.0, 1.0},   {"delay 0 -> 1", kDelayLevel, 0.0, 1.0},
		    {"reverb 0 -> 1", kReverbLevel, 0.0, 1.0},
		};
		std::printf("%-16s %10s %10s %6s %6s %7s\n", "change", "sine step", "step at it", "ratio", "where", "dip dB");
		std::ofstream csv;
		if (!waves.empty())
		{
			csv.open(waves);
			csv << "name,sample,left\n";
		}
		for (const Change& c : aChanges)
		{
			const Take t = RunChange(module, c.id, c.dFrom, c.dTo, c.extra);
			const Figures f = Measure(t);
			std::printf("%-16s %10.5f %10.5f %6.2f %6d %7.1f\n", c.szName, f.fSteadyStep, f.fStep, f.dRatio, f.iWhere,
			            f.dDipDb);
			// The two that docs/img/clicks.png shows.
			const std::string name = c.szName;
			if (csv && (name == "drive off" || name == "drive only 0->1"))
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
