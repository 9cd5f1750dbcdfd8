// Every switch and the host's bypass switch for real, through the bundle:
// turned on -> off -> on and off -> on -> off, with time to settle between,
// at every rate and host block size, with either input selected and on a
// mono bus. After each change has settled the output is that of a fresh
// instance set that way from the start: sample for sample for the blocks
// whose memory is short; for the chorus (whose oscillator stands still
// while it is off) and the delay (whose lines are frozen while it is off)
// the effect is back at its full strength and its old echoes die away.

#include "bundlefixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace bundletest {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

enum class Input
{
	kLeft,
	kRight,
	kMono
};

const char* InputName(Input input)
{
	return input == Input::kLeft ? "left" : input == Input::kRight ? "right" : "mono";
}

struct Change
{
	size_t iAt;
	ParamID id;
	double dValue;
};

// Strings on both channels (different notes, so that the selector is heard)
// over a bed of noise that the chorus and the enhancer decorrelate, faded in
// over 50 ms.
Stereo Signal(size_t n, double dRate)
{
	Stereo s(n);
	uint32 uSeed = 12345;
	for (size_t i = 0; i < n; ++i)
	{
		const double t = static_cast<double>(i) / dRate;
		const double dFade = std::min(1.0, t / 0.05);
		uSeed = uSeed * 1664525u + 1013904223u;
		const double dNoise = (static_cast<double>(uSeed >> 8) / 8388608.0 - 1.0) * 0.02;
		s.left[i] = static_cast<float>(dFade * (0.2 * std::sin(2.0 * M_PI * 196.0 * t) +
		                                        0.05 * std::sin(2.0 * M_PI * 587.3 * t) + dNoise));
		s.right[i] = static_cast<float>(dFade * (0.15 * std::sin(2.0 * M_PI * 246.9 * t) + dNoise));
	}
	return s;
}

// Runs in through a fresh instance in host blocks of iBlock, with the
// settings in the first block and each change as a point at its own offset.
Stereo RunCase(double dRate, int iBlock, Input input, double dTempo, const std::vector<std::pair<ParamID, double>>& settings,
           const std::vector<Change>& changes, const Stereo& in)
{
	host::PluginInstance instance(bundle());
	host::ProcessSetup setup;
	setup.sampleRate = dRate;
	setup.maxBlockSize = iBlock;
	if (input == Input::kMono)
		setup.inputArrangement = setup.outputArrangement = SpeakerArr::kMono;
	instance.activate(setup);
	instance.block().setTempo(dTempo);
	Stereo out(in.size());
	if (input != Input::kMono)
		instance.block().inputChanges().add(kInputSelection, input == Input::kLeft ? 1.0 : 0.0);
	for (const auto& [id, dValue] : settings)
		instance.block().inputChanges().add(id, dValue);
	auto next = changes.begin();
	const int32 iChannels = input == Input::kMono ? 1 : 2;
	for (size_t i = 0; i < in.size(); i += static_cast<size_t>(iBlock))
	{
		const auto n = static_cast<int32>(std::min(in.size() - i, static_cast<size_t>(iBlock)));
		for (; next != changes.end() && next->iAt < i + static_cast<size_t>(n); ++next)
			instance.block().inputChanges().add(next->id, next->dValue, static_cast<int32>(next->iAt - i));
		float* ins[2] = {const_cast<float*>(&in.left[i]), const_cast<float*>(&in.right[i])};
		float* outs[2] = {&out.left[i], &out.right[i]};
		if (instance.process({ins, iChannels, outs, iChannels, n, 0}) != kResultOk)
			throw host::HostError("process failed");
	}
	if (input == Input::kMono)
		out.right = out.left;
	return out;
}

// The difference between a and b over [iFrom, iTo), both channels: its
// RMS against b's, and its largest sample against b's peak, in dB.
struct Difference
{
	double dRmsDb, dPeakDb;
};

Difference DifferenceDb(const Stereo& a, const Stereo& b, size_t iFrom, size_t iTo)
{
	double dDiff = 0.0, dSignal = 0.0;
	float fWorst = 0.0f, fPeak = 0.0f;
	for (size_t i = iFrom; i < iTo; ++i)
		for (const auto* pChannel : {&a.left, &a.right})
		{
			const std::vector<float>& other = pChannel == &a.left ? b.left : b.right;
			const float fDiff = (*pChannel)[i] - other[i];
			dDiff += static_cast<double>(fDiff) * fDiff;
			dSignal += static_cast<double>(other[i]) * other[i];
			fWorst = std::max(fWorst, std::fabs(fDiff));
			fPeak = std::max(fPeak, std::fabs(other[i]));
		}
	if (fWorst == 0.0f)
		return {-400.0, -400.0};
	return {10.0 * std::log10(dDiff / dSignal), 20.0 * std::log10(fWorst / fPeak)};
}

// RMS of a - b over [iFrom, iTo) on one channel, in dB.
double DifferenceRmsDb(const std::vector<float>& a, const std::vector<float>& b, size_t iFrom, size_t iTo)
{
	double dSum = 0.0;
	for (size_t i = iFrom; i < iTo; ++i)
		dSum += static_cast<double>(a[i] - b[i]) * (a[i] - b[i]);
	return 10.0 * std::log10(dSum / static_cast<double>(iTo - iFrom) + 1e-30);
}

struct Toggle
{
	ParamID id;
	const char* szName;
};

// The other switches stand where a change of the one under test leaves the
// sound behind it with a short memory: no chorus, no echoes, the
// reverberators unheard.
std::vector<std::pair<ParamID, double>> SettingsFor(ParamID id, double dValue)
{
	std::vector<std::pair<ParamID, double>> settings = {
		{kModulationOnOff, 0.0}, {kDelayOnOff, 0.0}, {kReverbOnOff, 0.0}, {kStereoEnhancerOnOff, 1.0}};
	if (id == kStereoEnhancerOnOff || id == kBypass)
		settings.back().second = id == kStereoEnhancerOnOff ? dValue : 1.0;
	else
		settings.push_back({id, dValue});
	if (id == kBypass)
		settings.push_back({kBypass, dValue});
	return settings;
}

struct Figures
{
	double dWorstExactDb = -400.0;
	double dWorstPeakDb = -400.0;
	double dWorstEffectDb = 0.0;
	double dWorstStaleDb = -400.0;
	int iCases = 0;
	std::string worst;
};

// Each case's rate and block: every rate at 256 samples, every block at
// 48 kHz, and the longest blocks at the highest rate; the inputs take turns.
struct Case
{
	double dRate;
	int iBlock;
	Input input;
};

std::vector<Case> Cases()
{
	std::vector<Case> cases;
	int k = 0;
	for (const double dRate : {44100.0, 96000.0, 192000.0})
		cases.push_back({dRate, 256, static_cast<Input>(k++ % 3)});
	for (const int iBlock : {1, 37, 256, 1024, 4096, 8192})
		cases.push_back({48000.0, iBlock, static_cast<Input>(k++ % 3)});
	cases.push_back({192000.0, 8192, static_cast<Input>(k++ % 3)});
	cases.push_back({96000.0, 4096, static_cast<Input>(k++ % 3)});
	return cases;
}

} // namespace

// The switches whose paths have a short memory, and the host's bypass: after
// each change and its settling time, every sample is the fresh instance's.
TEST(SwitchCycles, EverySwitchSoundsLikeAFreshInstanceAfterEachChange)
{
	const Toggle aToggles[] = {
		{kBypass, "bypass"},          {kGateCompOnOff, "gate/comp"},  {kDistortionOnOff, "distortion"},
		{kReverbOnOff, "reverb"},     {kInputSelection, "input"},     {kStereoEnhancerOnOff, "stereo"},
		{kModulationOnOff, "chorus"}, {kDelayOnOff, "delay"},
	};
	std::map<std::string, Figures> figures;
	for (const Case& c : Cases())
		for (const Toggle& t : aToggles)
		{
			const bool bChorus = t.id == kModulationOnOff, bDelay = t.id == kDelayOnOff;
			// A phase is long enough for the chain's memory (the enhancer's
			// 0.1 s, the fill and the fade) and a window to compare; the
			// chorus and the delay are measured over longer ones.
			const double dPhase = bChorus || bDelay ? 0.9 : 0.35;
			const double dSettle = bChorus || bDelay ? 0.5 : 0.2;
			const size_t iPhase = static_cast<size_t>(dPhase * c.dRate);
			const size_t iSettle = static_cast<size_t>(dSettle * c.dRate);
			// Off the block grid, so that a change lands inside a block.
			const size_t iFirst = iPhase + 101, iSecond = 2 * iPhase + 57, iEnd = 3 * iPhase + 200;
			const Stereo in = Signal(iEnd, c.dRate);
			// A quick tempo, so that the delay's old echoes die within the phase.
			const double dTempo = 300.0;
			// Input selection as the case says, unless it is the switch under test.
			const Input input = t.id == kInputSelection && c.input == Input::kRight ? Input::kLeft : c.input;
			const Stereo ref[2] = {RunCase(c.dRate, c.iBlock, input, dTempo, SettingsFor(t.id, 0.0), {}, in),
			                       RunCase(c.dRate, c.iBlock, input, dTempo, SettingsFor(t.id, 1.0), {}, in)};
			for (const int iFrom : {1, 0})
			{
				const int iTo = 1 - iFrom;
				const Stereo out =
				    RunCase(c.dRate, c.iBlock, input, dTempo, SettingsFor(t.id, iFrom),
				        {{iFirst, t.id, static_cast<double>(iTo)}, {iSecond, t.id, static_cast<double>(iFrom)}}, in);
				const std::string name = std::string(t.szName) + (iFrom ? " on-off-on" : " off-on-off") + " at " +
				                         std::to_string(static_cast<int>(c.dRate)) + " Hz, blocks of " +
				                         std::to_string(c.iBlock) + ", " + InputName(input);
				Figures& f = figures[t.szName];
				++f.iCases;
				// Each phase from its settling time to the block that carries
				// the next change (a switch moves at the start of its block).
				const size_t iSecondBlock = iSecond - iSecond % static_cast<size_t>(c.iBlock);
				const struct
				{
					size_t iFrom, iTo;
					int iValue;
				} aPhases[] = {{iFirst + iSettle, iSecondBlock, iTo}, {iSecond + iSettle, iEnd, iFrom}};
				// Bypassed, the output is the dry input as soon as the fade
				// is over, from the block that carries the change on, however
				// long that block is.
				if (t.id == kBypass)
				{
					const size_t iFade = static_cast<size_t>(std::ceil(0.01 * c.dRate)) + 1;
					const size_t iChange = iTo == 1 ? iFirst : iSecond;
					const size_t iRest = iChange - iChange % static_cast<size_t>(c.iBlock) + iFade;
					const size_t iRestEnd = iTo == 1 ? iSecondBlock : iEnd;
					EXPECT_LT(DifferenceDb(out, ref[1], iRest, iRestEnd).dPeakDb, -140.0)
					    << name << ": the bypassed block after its fade";
				}
				for (const auto& phase : aPhases)
				{
					const Stereo& expected = ref[phase.iValue];
					const bool bMeasured = (bChorus || bDelay) && phase.iValue == 1;
					if (!bMeasured)
					{
						const Difference d = DifferenceDb(out, expected, phase.iFrom, phase.iTo);
						if (d.dRmsDb >= f.dWorstExactDb)
							f.worst = name + (phase.iValue ? ", on" : ", off");
						f.dWorstExactDb = std::max(f.dWorstExactDb, d.dRmsDb);
						f.dWorstPeakDb = std::max(f.dWorstPeakDb, d.dPeakDb);
						// Not every bit: where a line's cursor stands after a
						// rest moves the rounding of its single-precision read
						// positions (the enhancer's, on noisy input, to -65 dB),
						// and the drive magnifies rounding-level differences of
						// the filters before it while those die away.
						EXPECT_LT(d.dRmsDb, -60.0) << name << ", " << (phase.iValue ? "on" : "off") << " phase";
						continue;
					}
					// The effect's own part of the sound, against the fresh
					// instance's: the chorus's full wet share whatever its
					// phase; the delay's echoes, with the old ones under them.
					const Stereo& dry = ref[0];
					using Channel = std::vector<float> Stereo::*;
					for (const Channel channel : {&Stereo::left, &Stereo::right})
					{
						const double dWanted = DifferenceRmsDb(expected.*channel, dry.*channel, phase.iFrom, phase.iTo);
						const double dHeard = DifferenceRmsDb(out.*channel, dry.*channel, phase.iFrom, phase.iTo);
						const double dStale =
						    DifferenceRmsDb(out.*channel, expected.*channel, phase.iFrom, phase.iTo) - dWanted;
						if (bDelay)
							f.dWorstStaleDb = std::max(f.dWorstStaleDb, dStale);
						ASSERT_GT(dWanted, -60.0) << name << ": the effect must be heard";
						f.dWorstEffectDb = std::max(f.dWorstEffectDb, std::fabs(dHeard - dWanted));
						// The chorus's wet share over 0.4 s depends a little on
						// where its oscillator stands.
						EXPECT_NEAR(dHeard, dWanted, bChorus ? 4.0 : 1.0) << name;
						// The lines loop 0.315 of an echo a quarter note (0.2 s
						// at this tempo): the old echoes, or the missing ones,
						// are 12 to 25 dB down over the window.
						if (bDelay)
						{
							EXPECT_LT(dStale, -20.0) << name << ": old echoes";
						}
					}
				}
			}
		}
	for (const auto& [name, f] : figures)
	{
		std::printf("%-10s %2d cases: settled, to %.1f dB RMS (%.1f dB peak) of a fresh instance (worst: %s)",
		            name.c_str(), f.iCases, f.dWorstExactDb, f.dWorstPeakDb, f.worst.c_str());
		if (f.dWorstEffectDb > 0.0)
			std::printf("; back on, the effect within %.2f dB of its level", f.dWorstEffectDb);
		if (f.dWorstStaleDb > -400.0)
			std::printf(", the old echoes %.1f dB under it", f.dWorstStaleDb);
		std::printf("\n");
	}
}

} // namespace bundletest
