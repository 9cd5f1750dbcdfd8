#pragma once

#include "LevelGlide.h"
#include "MyEffect.h"

#include <cstdint>

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

	// The three memoryless curves of the driven branches.
	enum
	{
		kShaperCurve, // the four table shapers with their mix weights
		kSoftCurve,   // 1 - e^-25s, odd
		kClipCurve,   // 25·q held within ±0.999
		kNumCurves
	};
	// A curve's value at x and its first and second antiderivatives from 0.
	struct CurvePoint
	{
		double f, F1, F2;
	};
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
	static constexpr int kChunk2 = 2 * kChunk;
	// Twice-rate samples kept from the chunk before: two are read, four
	// keep the vectors aligned.
	static constexpr int kHistory = 4;
	// All-pass sections of the half-band pairs into and out of twice the
	// rate; out of it, a steeper pair at rates where the cabinet passes the
	// octave above 24 kHz.
	static constexpr int kUpSections = 4;
	static constexpr int kDownSections = 4;
	static constexpr int kSteepDownSections = 8;

	// The two twice-rate inputs and the curves reading them.
	enum
	{
		kDrivenInput,
		kClipInput,
		kNumInputs
	};

	void DesignFilters();
	// Whether every filter state and the curves' history are zero, so that
	// a chunk of silence would leave them so and give silence.
	bool AtRest() const;
	// One chunk of at most kChunk samples, in the best build the processor
	// runs; the drive moves by fDriveStep a sample from fDrive.
	void ProcessChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount, float fDrive, float fDriveStep);
	void RunChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount, float fDrive, float fDriveStep);
	template <bool bRamp> void DriveChunk(const float* pfIn, int iCount, float fDrive, float fDriveStep);
	void ApplyCurves(int iCount2);
	void FixMeans(int iNearGroups, int iCount2);
	void FixCurves(int iNearGroups, int iCount2);
	template <int kSections>
	void Finish(const float* pfBetas, float* pfOut1, float* pfOut2, int iCount);

	// Second-order sections side by side, one per lane.
	template <int kLanes>
	struct SectionBank
	{
		alignas(16) double b0[kLanes], b1[kLanes], b2[kLanes], a1[kLanes], a2[kLanes], z1[kLanes], z2[kLanes];
	};
	// A half-band pair of all-pass branches, the two side by side in kLanes
	// lanes: per pair of sections (one of each branch) the last output of
	// each lane, and the last input of the first pair (a later pair's last
	// input is the last output of the one before it).
	template <int kPairs, int kLanes>
	struct HalfBandState
	{
		alignas(32) float afInput[kLanes];
		alignas(32) float afOutput[kPairs][kLanes];
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
	float m_fLastMix = 0.0f;

	// Twice-rate inputs of the curves as the pair leaves them.
	alignas(16) float m_afInput[kChunk2][kNumInputs];
	// Per twice-rate sample, the chunk's after kHistory of the chunk before
	// (zeros after a reset): the inputs in double, the piece each driven
	// sample falls in, F2 and the mean of F1 over the step from the sample
	// before, of the driven curves (each: shaper, soft) and of the clipper.
	alignas(32) double m_adX[kNumInputs][kHistory + kChunk2];
	alignas(32) int32_t m_aiPiece[kHistory + kChunk2];
	alignas(32) double m_adDrivenF2[kHistory + kChunk2][2];
	alignas(32) double m_adClipF2[kHistory + kChunk2];
	alignas(32) double m_adDrivenMean[kHistory + kChunk2][2];
	alignas(32) double m_adClipMean[kHistory + kChunk2];
	// Per input and sample of the chunk: 1 / d1 and 1 / d2, d1 and d2 the
	// steps back to the sample before and to the one before that.
	alignas(32) double m_adStep[kNumInputs][kChunk2];
	alignas(32) double m_adTurn[kNumInputs][kChunk2];
	// The first samples of the groups of four with a step too short to
	// divide by.
	int m_aiNearGroups[kChunk2 / 4];
	// In those groups, per sample, half of each curve at the sample before:
	// the driven curves (shaper, soft), the clipper.
	alignas(32) double m_adNearHalfCurve[kChunk2][2];
	alignas(32) double m_adNearHalfClip[kChunk2];
	// The curves' outputs at twice the rate, one lane per curve, after the
	// last (odd) one of the chunk before.
	alignas(16) float m_afCurveOut[1 + kChunk2][4];
};
