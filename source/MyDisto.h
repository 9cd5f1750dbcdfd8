#pragma once

#include "AntiderivativeShaper.h"
#include "HalfBand.h"
#include "LevelGlide.h"
#include "MyEffect.h"

#include <iterator>

// Six-branch amplifier distortion: one pre-emphasised, driven signal feeds a
// hard clipper, an exponential soft clipper and four shapers whose curves
// are tables indexed by the input level in dB. Mono while on.
//
// The three curves are sampled without folding their upper harmonics back
// into the band: the driven signal and the clipper's input are brought to
// twice the rate by a half-band all-pass pair, each curve is applied there
// as the mean of the curve along the straight path between neighbouring
// samples under a triangular window (second-order antiderivative method),
// and the results come back to the host rate through the same kind of
// half-band pair. The window's gentle high-frequency loss is put back after
// the mix. No latency is reported: the pairs and the window delay the
// driven sound by about 2.6 samples at 44.1 and 48 kHz and 3.2 at 96 kHz,
// evenly across the band, a phase shift like the filters' own.
class CMyDisto : public CMyEffect
{
public:
	CMyDisto();

	int Reset() override;
	int SetSampleRate(const double* pdSampleRate) override;
	int Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount) override;
	void Snap() override { m_driveGlide.Snap(); }

	// Drive factor for a normalised kDistortionLevel: -40 dB at 0, +5 dB at 1.
	static float DriveGain(float fLevel);

	// Level index of a driven sample on the finest table (200 entries per dB,
	// entry 0 at -120 dBFS), clamped to the table; 0 for 0 and NaN.
	static float LevelIndex(float fDriven);

	// The three memoryless curves of the driven branches (CAntiderivativeShaper's).
	enum
	{
		kShaperCurve = CAntiderivativeShaper::kShaperCurve,
		kSoftCurve = CAntiderivativeShaper::kSoftCurve,
		kClipCurve = CAntiderivativeShaper::kClipCurve,
		kNumCurves = CAntiderivativeShaper::kNumCurves
	};
	// A curve's value at x and its first and second antiderivatives from 0.
	using CurvePoint = CAntiderivativeShaper::CurvePoint;
	static CurvePoint EvaluateCurve(int iCurve, double x);

private:
	// One second-order section, transposed direct form II, coefficients and
	// state in double as the chain's filter element keeps them.
	struct Section
	{
		double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
		double z1 = 0.0, z2 = 0.0;

		float Run(float fIn)
		{
			const double x = fIn;
			const double y = b0 * x + z1;
			z1 = b1 * x + z2 - a1 * y;
			z2 = b2 * x - a2 * y;
			return static_cast<float>(y);
		}
	};

	enum
	{
		kClipInputHighPass,
		kClipPresence,
		kNumSections
	};
	// Host samples handled per pass over the block's stages.
	static constexpr int kChunk = 64;
	static_assert(2 * kChunk <= CAntiderivativeShaper::kMaxCount, "a chunk at twice the rate fits the shaper");
	// All-pass sections of the half-band pairs into and out of twice the
	// rate; out of it, a steeper pair at rates where the cabinet passes the
	// octave above 24 kHz.
	static constexpr int kUpSections = static_cast<int>(std::size(kUpHalfBand));
	static constexpr int kDownSections = static_cast<int>(std::size(kDownHalfBand));
	static constexpr int kSteepDownSections = static_cast<int>(std::size(kSteepDownHalfBand));
	static constexpr int kNumInputs = CAntiderivativeShaper::kNumInputs;

	void DesignFilters();
	// Whether every filter state and the curves' history are zero, so that
	// a chunk of silence would leave them so and give silence.
	bool AtRest() const;
	// One chunk of at most kChunk samples, in the best build the processor
	// runs; the drive moves by fDriveStep a sample from fDrive.
	void ProcessChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount, float fDrive, float fDriveStep);
	void RunChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount, float fDrive, float fDriveStep);
	float DriveFor(float fLevel);
	template <bool bRamp> void DriveChunk(const float* pfIn, int iCount, float fDrive, float fDriveStep);
	template <int kSections>
	void Finish(const float* pfBetas, float* pfOut1, float* pfOut2, int iCount);

	// Second-order sections side by side, one per lane.
	template <int kLanes>
	struct SectionBank
	{
		alignas(16) double b0[kLanes], b1[kLanes], b2[kLanes], a1[kLanes], a2[kLanes], z1[kLanes], z2[kLanes];
	};

	// The three pre-emphasis peaks filter the same input (the fourth lane
	// idle); the lowpasses after the clipper and after the shapers run in
	// step.
	SectionBank<4> m_peaks = {};
	SectionBank<2> m_lowPasses = {};
	Section m_aSections[kNumSections];
	// Into twice the rate: lanes (driven, clipper's input) of the even
	// branch, then the same of the odd one. Out of it: lanes (shaper, soft,
	// clipper, idle) of the odd branch, then of the even one.
	HalfBandState<kUpSections / 2, 4> m_up = {};
	HalfBandState<kSteepDownSections / 2, 8> m_down = {};
	bool m_bSteepDown = false;
	bool m_bAtRest = true;
	double m_dDesignedRate = 0.0;
	CLevelGlide m_driveGlide;
	// The last level's gain (levels lie in 0..1).
	float m_fGainLevel = -1.0f;
	float m_fGain = 0.0f;
	float m_fLastMix = 0.0f;

	// Twice-rate inputs of the curves as the pair leaves them.
	alignas(16) float m_afInput[CAntiderivativeShaper::kMaxCount][kNumInputs];
	CAntiderivativeShaper m_shaper;
	// The curves' outputs at twice the rate, one lane per curve, after the
	// last (odd) one of the chunk before.
	alignas(16) float m_afCurveOut[1 + CAntiderivativeShaper::kMaxCount][4];
};
