#pragma once

#include "MyEffect.h"
#include "SwitchFade.h"

#include <vector>

// What the tuner reads: the nearest note to the reference (MIDI numbering,
// 69 is the reference's A) and how far off it is, while a note is held.
struct TunerReading
{
	bool bHeld = false;
	int iNote = 0;
	double dCents = 0.0;
};

// The nearest note to dHz and its deviation in cents, against an A of
// dReferenceHz.
TunerReading ReadingOf(double dHz, double dReferenceHz);

// Pitch of a monophonic string, in two rates. The audio thread only low-passes
// and keeps every D-th sample (D a power of two, bringing the rate to 5 to
// 10 kHz); every 20 ms of that (40 ms while a note is held), the analysis
// runs on the newest stretch, on the audio thread, within the same call:
// a normalised autocorrelation at half that rate finds the period when no
// note is held, and the phase advance of the fundamental between windows
// gives its frequency to a fraction of a cent. Held, the fundamental is
// followed where it is, so that a decaying note never jumps an octave; it
// is let go when its share of the signal or the signal's level falls away.
// Nothing here allocates after SetSampleRate.
class CPitchDetector
{
public:
	static constexpr double kLowestHz = 29.0;
	static constexpr double kHighestHz = 1400.0;
	static constexpr double kHopSeconds = 0.02;

	// Allocates: never on the audio thread.
	void SetSampleRate(double dRate);
	void Reset();
	void Push(const float* pfIn, int iCount);

	// The fundamental's frequency while a note is held, else 0.
	double HeldHz() const { return m_dTrackHz; }

private:
	void PushIn(const float* pfIn, int iCount);
	void Analyse();
	static constexpr int kCandidates = 4;
	// Fundamentals the normalised autocorrelation of the newest stretch
	// suggests, the likeliest first; none where no period is clear enough.
	int CoarseHz(const float* pfFrame, int iFrame, double (&adHz)[kCandidates]);
	// The fundamental near dHz from its phase advance, or 0 where it is
	// no longer what the signal holds.
	double FineHz(const float* pfFrame, int iFrame, double dHz);
	// The frequency near dHz from its phase advance over iLag samples, by
	// Hann windows of dPeriods; 0 where the fundamental's share is too small.
	double Advance(const float* pfFrame, int iFrame, double dHz, double dPeriods, int iLag);

	double m_dRate = 0.0;
	int m_iFactor = 1;
	int m_iPhase = 0;
	std::vector<float> m_afTaps;
	// The input before the present piece (one fewer than the taps), then the piece.
	std::vector<float> m_afHistory;
	// Decimated samples, a power-of-two ring written twice over (its second
	// half a copy of the first), so that any stretch of it is one run.
	std::vector<float> m_afRing;
	int m_iFrame = 0;
	unsigned m_uWritten = 0;
	int m_iHop = 1;
	int m_iToHop = 1;
	// Analysis scratch, sized once.
	std::vector<float> m_afCoarse;
	std::vector<float> m_afNsdf;
	std::vector<double> m_adEnergy;
	std::vector<float> m_afKernelRe, m_afKernelIm;
	double m_dTrackHz = 0.0;
};

// The tuner in the chain: measures the selected input and, while on, mutes
// the output with a switch fade. Off and settled, it costs nothing.
class CTuner : public CMyEffect
{
public:
	int SetSampleRate(const double* pdSampleRate) override;
	int Reset() override;
	void Snap() override;
	// Measures pfIn1; writes no audio.
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	// The chain's output, faded to exact silence while the tuner is on;
	// the two work buffers hold the silent side of a fade.
	void Mute(float* pfOut1, float* pfOut2, float* pfSilence1, float* pfSilence2, int iCount);

	// The readings as their cells hold them (normalised).
	static float NoteValue(int iNote) { return static_cast<float>(iNote) / 127.0f; }
	static float CentsValue(double dCents) { return static_cast<float>((dCents + 50.0) / 100.0); }
	static double ReferenceHz(float fValue) { return 430.0 + 20.0 * static_cast<double>(fValue); }

private:
	void Publish();
	void Forget();

	CPitchDetector m_detector;
	CSwitchFade m_fade;
	bool m_bMeasuring = false;
};
