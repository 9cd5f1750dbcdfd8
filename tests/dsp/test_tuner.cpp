// The tuner: readings against tones whose pitch is known (sines, and plucked
// strings whose settled fundamental is solved from their loop), across the
// guitar's range and three rates; no note on silence and noise; the
// reference; the cells; the mute.

#include "Tuner.h"
#include "dspfixture.h"
#include "pluck.h"
#include "tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr double kA4 = 440.0;

double NoteHz(int iNote, double dCents, double dReference = kA4)
{
	return dReference * std::pow(2.0, (iNote - 69 + dCents / 100.0) / 12.0);
}

// Guitar notes from the seven-string's dropped low B to the 24th fret's E,
// a few per register.
const int kNotes[] = {23, 28, 35, 40, 45, 50, 55, 59, 64, 69, 76, 83, 88};
const double kOffsets[] = {0.0, 3.0, -3.0, 20.0, -20.0, 49.0, -49.0};
const double kRates[] = {44100.0, 48000.0, 96000.0};

// White noise at -40 dB below v's RMS over its first 0.2 s.
void AddNoise(std::vector<float>& v, double dRate, unsigned uSeed)
{
	const size_t n = std::min(v.size(), static_cast<size_t>(0.2 * dRate));
	double dSum = 0.0;
	for (size_t i = 0; i < n; ++i)
		dSum += static_cast<double>(v[i]) * v[i];
	const double dRms = std::sqrt(dSum / static_cast<double>(n));
	// Uniform in -1..1 has an RMS of 1/sqrt(3).
	const std::vector<float> noise = Noise(v.size(), uSeed);
	for (size_t i = 0; i < v.size(); ++i)
		v[i] += static_cast<float>(0.01 * dRms * std::sqrt(3.0) * noise[i]);
}

struct Worst
{
	double dCents = 0.0;
	std::string what;
	int iMisses = 0;
};

// Feeds v in 64-sample blocks; from 150 ms on, every reading must be held
// and its deviation from dTruthHz is tallied.
void Check(const std::vector<float>& v, double dRate, double dTruthHz, const std::string& what, Worst& worst)
{
	CPitchDetector detector;
	detector.SetSampleRate(dRate);
	const size_t uFrom = static_cast<size_t>(0.15 * dRate);
	for (size_t i = 0; i < v.size(); i += 64)
	{
		const int n = static_cast<int>(std::min<size_t>(64, v.size() - i));
		detector.Push(&v[i], n);
		if (i + static_cast<size_t>(n) < uFrom)
			continue;
		const double dHz = detector.HeldHz();
		if (dHz <= 0.0)
		{
			if (worst.iMisses++ == 0)
				worst.what = what + " not held at " + std::to_string(static_cast<double>(i) / dRate) + " s";
			continue;
		}
		const double dCents = 1200.0 * std::log2(dHz / dTruthHz);
		if (std::fabs(dCents) > std::fabs(worst.dCents))
		{
			worst.dCents = dCents;
			if (worst.iMisses == 0)
				worst.what = what;
		}
	}
}

TEST(Tuner, SinesReadWithinHalfACentFrom150msAtEveryRate)
{
	Worst worst;
	for (double dRate : kRates)
		for (int iNote : kNotes)
			for (double dOffset : kOffsets)
			{
				const double dHz = NoteHz(iNote, dOffset);
				std::vector<float> v = MakeTone(static_cast<size_t>(0.3 * dRate), dHz, dRate, 0.3);
				AddNoise(v, dRate, static_cast<unsigned>(iNote));
				Check(v, dRate, dHz, "sine " + std::to_string(dHz) + " Hz at " + std::to_string(dRate), worst);
			}
	EXPECT_EQ(worst.iMisses, 0) << worst.what;
	EXPECT_LE(std::fabs(worst.dCents), 0.5) << worst.what << ": " << worst.dCents << " cents";
}

TEST(Tuner, PluckedStringsReadTheirFundamentalWithinHalfACentFrom150ms)
{
	Worst worst;
	for (double dRate : kRates)
		for (int iNote : kNotes)
			for (double dOffset : kOffsets)
			{
				const pluck::String s = pluck::Tuned(NoteHz(iNote, dOffset), dRate);
				const double dTruth = pluck::FundamentalHz(s);
				// The string was tuned to within a hundredth of a cent of the note.
				ASSERT_NEAR(1200.0 * std::log2(dTruth / NoteHz(iNote, dOffset)), 0.0, 0.01);
				std::vector<float> v = pluck::Pluck(s, static_cast<size_t>(0.3 * dRate), 0.5, static_cast<unsigned>(iNote));
				AddNoise(v, dRate, static_cast<unsigned>(iNote) + 1000u);
				Check(v, dRate, dTruth, "pluck " + std::to_string(dTruth) + " Hz at " + std::to_string(dRate), worst);
			}
	EXPECT_EQ(worst.iMisses, 0) << worst.what;
	EXPECT_LE(std::fabs(worst.dCents), 0.5) << worst.what << ": " << worst.dCents << " cents";
}

// A string left to ring out: every reading while held stays within a
// quarter tone of its note (no octave, fifth or semitone away, the attack
// included), until it fades below the gate and is let go for good.
TEST(Tuner, DecayingStringsNeverJumpAndAreLetGo)
{
	for (int iNote : {23, 40, 52, 64, 76, 88})
	{
		const double dRate = 48000.0;
		pluck::String s = pluck::Tuned(NoteHz(iNote, 0.0), dRate);
		const double dTruth = pluck::FundamentalHz(s);
		// Decays by 60 dB in about 1.5 s whatever the pitch.
		s.dLoopGain = std::pow(10.0, -3.0 / (1.5 * dTruth));
		std::vector<float> v = pluck::Pluck(s, static_cast<size_t>(3.0 * dRate), 0.5, 7u);
		AddNoise(v, dRate, 8u);
		CPitchDetector detector;
		detector.SetSampleRate(dRate);
		bool bHeldOnce = false, bLetGo = false;
		for (size_t i = 0; i < v.size(); i += 256)
		{
			detector.Push(&v[i], static_cast<int>(std::min<size_t>(256, v.size() - i)));
			const double dHz = detector.HeldHz();
			if (dHz > 0.0)
			{
				bHeldOnce = true;
				EXPECT_FALSE(bLetGo) << "note " << iNote << " held again at " << static_cast<double>(i) / dRate << " s";
				EXPECT_NEAR(1200.0 * std::log2(dHz / dTruth), 0.0, 50.0)
				    << "note " << iNote << " at " << static_cast<double>(i) / dRate << " s";
			}
			else if (bHeldOnce)
				bLetGo = true;
		}
		EXPECT_TRUE(bHeldOnce) << iNote;
		EXPECT_TRUE(bLetGo) << iNote;
	}
}

// The analysis runs at fixed points of the decimated signal, whatever the
// host's blocks: blocks of 1, 37 and 1000 samples read exactly as 64 do.
TEST(Tuner, BlocksOfAnySizeReadAlike)
{
	const double dRate = 44100.0;
	std::vector<float> v = pluck::Pluck(pluck::Tuned(NoteHz(45, 7.0), dRate), static_cast<size_t>(0.5 * dRate), 0.5, 5u);
	// The readings at every 0.05 s, each reached by blocks of iBlock (the
	// last cut at the point).
	const auto readings = [&](int iBlock) {
		CPitchDetector detector;
		detector.SetSampleRate(dRate);
		std::vector<double> adHz;
		size_t i = 0;
		for (int k = 1; k <= 10; ++k)
		{
			const size_t uPoint = static_cast<size_t>(0.05 * k * dRate);
			for (; i < uPoint; i += static_cast<size_t>(iBlock))
				detector.Push(&v[i], static_cast<int>(std::min(uPoint - i, static_cast<size_t>(iBlock))));
			i = uPoint;
			adHz.push_back(detector.HeldHz());
		}
		return adHz;
	};
	const std::vector<double> reference = readings(1);
	EXPECT_GT(reference.back(), 0.0);
	for (int iBlock : {37, 64, 1000})
	{
		const std::vector<double> other = readings(iBlock);
		ASSERT_EQ(other.size(), reference.size()) << iBlock;
		for (size_t k = 0; k < other.size(); ++k)
			ASSERT_EQ(other[k], reference[k]) << iBlock << " at reading " << k;
	}
}

// The level below which there is no note, -60 dBFS RMS: sines 1 dB above
// it are read from 150 ms on, sines 1 dB below it never.
TEST(Tuner, TheGateOpensAt60DecibelsBelowFullScale)
{
	for (double dHz : {110.0, 440.0})
		for (double dRmsDb : {-59.0, -61.0})
		{
			const double dRate = 48000.0;
			const double dAmplitude = std::sqrt(2.0) * std::pow(10.0, dRmsDb / 20.0);
			const std::vector<float> v = MakeTone(static_cast<size_t>(0.5 * dRate), dHz, dRate, dAmplitude);
			CPitchDetector detector;
			detector.SetSampleRate(dRate);
			int iHeld = 0, iReadings = 0;
			for (size_t i = 0; i < v.size(); i += 64)
			{
				detector.Push(&v[i], static_cast<int>(std::min<size_t>(64, v.size() - i)));
				if (i + 64 < static_cast<size_t>(0.15 * dRate))
					continue;
				++iReadings;
				iHeld += detector.HeldHz() > 0.0 ? 1 : 0;
			}
			EXPECT_EQ(iHeld, dRmsDb > -60.0 ? iReadings : 0) << dHz << " Hz at " << dRmsDb << " dBFS RMS";
		}
}

TEST(Tuner, SilenceAndNoiseReadNoNote)
{
	for (double dRate : kRates)
	{
		const size_t n = static_cast<size_t>(2.0 * dRate);
		std::vector<float> white = Noise(n, 3u);
		for (float& f : white)
			f *= 0.3f;
		// Brown noise: the low rumble a pickup hears, integrated white noise.
		std::vector<float> brown = Noise(n, 4u);
		float fSum = 0.0f;
		for (float& f : brown)
			f = (fSum = 0.995f * fSum + 0.05f * f);
		const std::vector<float> silence(n, 0.0f);
		const std::vector<float>* const apInputs[] = {&silence, &white, &brown};
		for (const std::vector<float>* pv : apInputs)
		{
			CPitchDetector detector;
			detector.SetSampleRate(dRate);
			int iHeld = 0;
			for (size_t i = 0; i < n; i += 128)
			{
				detector.Push(&(*pv)[i], static_cast<int>(std::min<size_t>(128, n - i)));
				iHeld += detector.HeldHz() > 0.0 ? 1 : 0;
			}
			EXPECT_EQ(iHeld, 0)  << "input " << (pv == &silence ? "silence" : pv == &white ? "white" : "brown") << " at " << dRate;
		}
	}
}

TEST(Tuner, ReadingsNameTheNearestNoteAgainstTheReference)
{
	// A at 440 Hz: 69 and 0 cents; against A = 432 Hz it is that A,
	// 1200 log2(440 / 432) = 31.77 cents sharp.
	TunerReading r = ReadingOf(440.0, 440.0);
	EXPECT_EQ(r.iNote, 69);
	EXPECT_NEAR(r.dCents, 0.0, 1e-9);
	r = ReadingOf(440.0, 432.0);
	EXPECT_EQ(r.iNote, 69);
	EXPECT_NEAR(r.dCents, 31.77, 0.01);
	// 420 Hz: against 440 it is A less 80.5 cents, so G# + 19.5; against
	// 432 it is A less 48.8 cents.
	r = ReadingOf(420.0, 440.0);
	EXPECT_EQ(r.iNote, 68);
	EXPECT_NEAR(r.dCents, 19.46, 0.01);
	r = ReadingOf(420.0, 432.0);
	EXPECT_EQ(r.iNote, 69);
	EXPECT_NEAR(r.dCents, -48.77, 0.01);
	// The low B of a seven-string (B0) and the 24th fret's E (E6).
	EXPECT_EQ(ReadingOf(30.87, 440.0).iNote, 23);
	EXPECT_EQ(ReadingOf(1318.5, 440.0).iNote, 88);
	EXPECT_FALSE(ReadingOf(0.0, 440.0).bHeld);
}

// Through the block as the chain runs it: the cells hold the note (n / 127),
// the cents ((c + 50) / 100) and whether one is held; the reference's cell
// maps 0..1 onto 430..450 Hz.
TEST(Tuner, CellsHoldTheReadingAndTheReferenceMovesIt)
{
	BlockRig rig(48000.0);
	CTuner tuner;
	rig.Attach(tuner);
	rig.params.Set(kTunerOnOff, 1.0f);
	const std::vector<float> a432 = MakeTone(static_cast<size_t>(0.4 * rig.dRate), 432.0, rig.dRate, 0.3);
	const auto run = [&](float fReference) {
		rig.params.Set(kTunerReference, fReference);
		tuner.Reset();
		for (size_t i = 0; i < a432.size(); i += 256)
			tuner.Process(&a432[i], nullptr, nullptr, nullptr, 256);
	};
	run(0.5f); // 440 Hz
	EXPECT_EQ(rig.params.Get(kTunerHeld), 1.0f);
	// 432 against 440: A (69) at -31.77 cents.
	EXPECT_FLOAT_EQ(rig.params.Get(kTunerNote), 69.0f / 127.0f);
	EXPECT_NEAR(rig.params.Get(kTunerCents), (-31.77 + 50.0) / 100.0, 0.005);
	run(0.1f); // 432 Hz
	EXPECT_FLOAT_EQ(rig.params.Get(kTunerNote), 69.0f / 127.0f);
	EXPECT_NEAR(rig.params.Get(kTunerCents), 0.5, 0.005);
	run(1.0f); // 450 Hz: 1200 log2(432 / 450) = -70.7 cents, G# + 29.3
	EXPECT_FLOAT_EQ(rig.params.Get(kTunerNote), 68.0f / 127.0f);
	EXPECT_NEAR(rig.params.Get(kTunerCents), (29.33 + 50.0) / 100.0, 0.005);

	// Switched off, nothing is held.
	rig.params.Set(kTunerOnOff, 0.0f);
	tuner.Process(a432.data(), nullptr, nullptr, nullptr, 256);
	EXPECT_EQ(rig.params.Get(kTunerHeld), 0.0f);
}

// The mute: a straight 10 ms fade (480 samples at 48 kHz) down to exact
// zeros, held there, and the same fade back up when the tuner is off.
TEST(Tuner, MutesWithATenMillisecondFadeToExactSilence)
{
	BlockRig rig(48000.0);
	CTuner tuner;
	rig.Attach(tuner);
	const int n = 64;
	std::vector<float> in(n, 0.0f), out1(n), out2(n), s1(n), s2(n);
	std::vector<float> gains;
	const auto block = [&](float fOn) {
		rig.params.Set(kTunerOnOff, fOn);
		tuner.Process(in.data(), nullptr, nullptr, nullptr, n);
		std::fill(out1.begin(), out1.end(), 1.0f);
		std::fill(out2.begin(), out2.end(), -0.5f);
		tuner.Mute(out1.data(), out2.data(), s1.data(), s2.data(), n);
		for (int i = 0; i < n; ++i)
		{
			gains.push_back(out1[i]);
			ASSERT_EQ(out2[i], -0.5f * out1[i]);
		}
	};
	for (int b = 0; b < 4; ++b)
		block(0.0f);
	for (int b = 0; b < 20; ++b)
		block(1.0f);
	for (int b = 0; b < 20; ++b)
		block(0.0f);
	const size_t uOn = 4 * n, uOff = 24 * n;
	for (size_t i = 0; i < uOn; ++i)
		ASSERT_EQ(gains[i], 1.0f) << i;
	for (size_t i = uOn; i < uOff; ++i)
	{
		const double dExpected = std::max(0.0, 1.0 - static_cast<double>(i - uOn + 1) / 480.0);
		ASSERT_NEAR(gains[i], dExpected, 1e-6) << i;
		if (i >= uOn + 479)
		{
			ASSERT_EQ(gains[i], 0.0f) << i;
		}
	}
	for (size_t i = uOff; i < gains.size(); ++i)
		ASSERT_NEAR(gains[i], std::min(1.0, static_cast<double>(i - uOff + 1) / 480.0), 1e-6) << i;
}

} // namespace
