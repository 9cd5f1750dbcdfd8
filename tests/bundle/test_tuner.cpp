// The tuner through the bundle, as a host meets it: the readings arrive as
// output parameter changes, the output fades to exact silence and back
// without a click, the selected input is the one measured, and the switch
// and the reference live in the state.

#include "bundlefixture.h"
#include "clicks/clickmeasure.h"
#include "pluck.h"

#include <gtest/gtest.h>

#include <map>

using namespace bundletest;
using namespace Steinberg;
using namespace Steinberg::Vst;
namespace clicks = brontal::clicks;

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;

double NoteHz(int iNote, double dCents, double dReference = 440.0)
{
	return dReference * std::pow(2.0, (iNote - 69 + dCents / 100.0) / 12.0);
}

// What a host knows of the readings: the last value reported for each,
// block by block, from the indicators' defaults on.
struct Readings
{
	std::map<ParamID, double> last = {{kTunerNote, 0.0}, {kTunerCents, 0.5}, {kTunerHeld, 0.0}};
	void Take(host::PluginInstance& instance)
	{
		for (auto& [id, value] : last)
			if (auto reported = instance.block().outputChanges().lastValue(id))
				value = *reported;
	}
	bool Held() const { return last.at(kTunerHeld) == 1.0; }
	int Note() const { return static_cast<int>(std::lround(127.0 * last.at(kTunerNote))); }
	double Cents() const { return 100.0 * last.at(kTunerCents) - 50.0; }
};

// Runs [iFrom, iTo) of in, taking the readings after every block; changes
// go with the first block.
void Play(host::PluginInstance& instance, const Stereo& in, Stereo& out, size_t iFrom, size_t iTo, Readings& readings,
          const std::vector<std::pair<ParamID, double>>& changes = {}, std::vector<double>* pCentsAfter = nullptr,
          size_t iCentsFrom = 0)
{
	for (const auto& [id, value] : changes)
		instance.block().inputChanges().add(id, value);
	for (size_t i = iFrom; i < iTo; i += kBlock)
	{
		float* ins[2] = {const_cast<float*>(&in.left[i]), const_cast<float*>(&in.right[i])};
		float* outs[2] = {&out.left[i], &out.right[i]};
		ASSERT_EQ(instance.process({ins, 2, outs, 2, kBlock, 0}), kResultOk);
		readings.Take(instance);
		if (pCentsAfter && i >= iCentsFrom)
			pCentsAfter->push_back(readings.Held() ? readings.Cents() : 1e9);
	}
}

// Left: a plucked low E (E2) 3 cents sharp; right: a G3 sine 20 cents flat.
// The tuner reads the left while the input selection is on, the right when
// it is off, each within half a cent from 150 ms after the tuner or the
// selection changed; the output is exact silence from 10 ms after the
// switch until it is off again.
TEST(TunerBundle, ReadsTheSelectedInputAndMutesTheOutput)
{
	auto instance = activeInstance(kRate, 1024);
	const size_t n = static_cast<size_t>(2.0 * kRate) / kBlock * kBlock;
	const pluck::String e2 = pluck::Tuned(NoteHz(40, 3.0), kRate);
	Stereo in(n);
	const std::vector<float> plucked = pluck::Pluck(e2, n, 0.5, 11u);
	for (size_t i = 0; i < n; ++i)
	{
		in.left[i] = plucked[i];
		in.right[i] = static_cast<float>(0.2 * std::sin(2.0 * M_PI * NoteHz(55, -20.0) * static_cast<double>(i) / kRate));
	}
	Stereo out(n);
	Readings readings;
	const size_t uSwitch = 16 * kBlock, uSelect = uSwitch + 160 * kBlock, uEnd = n;
	Play(*instance, in, out, 0, uSwitch, readings);
	EXPECT_FALSE(readings.Held());
	EXPECT_GT(peak(out.left, 0, uSwitch), 0.01f);

	std::vector<double> leftCents, rightCents;
	const size_t uSettled = static_cast<size_t>(0.15 * kRate);
	Play(*instance, in, out, uSwitch, uSelect, readings, {{kTunerOnOff, 1.0}}, &leftCents, uSwitch + uSettled);
	EXPECT_EQ(readings.Note(), 40);
	for (double c : leftCents)
		ASSERT_NEAR(c, 1200.0 * std::log2(pluck::FundamentalHz(e2) / NoteHz(40, 0.0)), 0.5);
	Play(*instance, in, out, uSelect, uEnd, readings, {{kInputSelection, 0.0}}, &rightCents, uSelect + uSettled);
	EXPECT_EQ(readings.Note(), 55);
	for (double c : rightCents)
		ASSERT_NEAR(c, -20.0, 0.5);
	EXPECT_FALSE(leftCents.empty());
	EXPECT_FALSE(rightCents.empty());

	// Silent from the fade's end (480 samples after the block that switched).
	for (size_t i = uSwitch + 480; i < uEnd; ++i)
	{
		ASSERT_EQ(out.left[i], 0.0f) << i;
		ASSERT_EQ(out.right[i], 0.0f) << i;
	}
	EXPECT_GT(peak(out.left, uSwitch, uSwitch + 240), 0.001f);

	// Bypassed, the tuner lets the note go and the host hears of it.
	Play(*instance, in, out, 0, kBlock, readings, {{kBypass, 1.0}});
	Play(*instance, in, out, kBlock, 8 * kBlock, readings);
	EXPECT_FALSE(readings.Held());
}

// The reference moves the names: a 440 Hz A against A = 432 Hz is that A,
// 1200 log2(440 / 432) = 31.77 cents sharp; against 450 Hz it is the A,
// 1200 log2(440 / 450) = -38.9 cents.
TEST(TunerBundle, TheReferenceMovesTheNames)
{
	const size_t n = static_cast<size_t>(0.5 * kRate) / kBlock * kBlock;
	const Stereo in = sine(n, 440.0, kRate, 0.2f);
	for (const auto& [dReference, iNote, dCents] :
	     {std::tuple{0.1, 69, 31.77}, {0.5, 69, 0.0}, {1.0, 69, -38.91}, {0.0, 69, 39.80}})
	{
		SCOPED_TRACE(dReference);
		auto instance = activeInstance(kRate, 1024);
		Stereo out(n);
		Readings readings;
		Play(*instance, in, out, 0, n, readings, {{kTunerOnOff, 1.0}, {kTunerReference, dReference}});
		ASSERT_TRUE(readings.Held());
		EXPECT_EQ(readings.Note(), iNote);
		EXPECT_NEAR(readings.Cents(), dCents, 0.5);
	}
}

// Switching the tuner on fades the sound out, off fades it back, on the
// 10 ms straight line: no step beyond the steady sine's own.
TEST(TunerBundle, MutesAndComesBackWithoutAClick)
{
	for (const double dFrom : {0.0, 1.0})
	{
		const clicks::Figures f = clicks::Measure(clicks::RunChange(bundle(), kTunerOnOff, dFrom, 1.0 - dFrom));
		EXPECT_LE(f.dRatio, 1.1) << dFrom << ": step " << f.fStep << " at " << f.iWhere << ", steady " << f.fSteadyStep;
	}
}

} // namespace
