#pragma once

#include <cstdint>

// The distortion's three memoryless curves at twice the rate, without
// folding their upper harmonics back into the band: each output is the mean
// of its curve along the straight path between neighbouring samples under
// a triangular window two samples wide, centred on the sample before
// (second-order antiderivative method), from the curves' second
// antiderivatives F2 at the samples. The driven curves are pieces
// (DistoTables.h); the hard clipper's F2 has a closed form.
class CAntiderivativeShaper
{
public:
	// The curves, in the order of the output lanes.
	enum
	{
		kShaperCurve, // the four table shapers with their mix weights
		kSoftCurve,   // 1 - e^-25s, odd
		kClipCurve,   // 25·q held within ±0.999
		kNumCurves
	};
	// The inputs, in the order of the input lanes: the driven signal feeds
	// the shapers and the soft clipper, the clipper's input the clipper.
	enum
	{
		kDrivenInput,
		kClipInput,
		kNumInputs
	};
	// Samples per call at most.
	static constexpr int kMaxCount = 128;

	// A curve's value at x and its first and second antiderivatives from 0,
	// as the processing forms them.
	struct CurvePoint
	{
		double f, F1, F2;
	};
	static CurvePoint Evaluate(int iCurve, double x);

	CAntiderivativeShaper();

	// Forgets the samples before.
	void Reset();
	// Whether the samples before are zero, so that zeros in give zeros out.
	bool AtRest() const;

	// iCount samples in the best build the processor runs: pafIn holds each
	// sample's inputs, pafOut receives the curves (with 0 in the fourth
	// lane), halved. Both are read and written in whole groups of four, so
	// they hold kMaxCount samples.
	void Process(const float (*pafIn)[kNumInputs], float (*pafOut)[4], int iCount);

private:
	// Samples kept from the call before: two are read, four keep the
	// vectors aligned.
	static constexpr int kHistory = 4;

	void Apply(const float (*pafIn)[kNumInputs], float (*pafOut)[4], int iCount);
	void FixMeans(int iNearGroups, int iCount);
	void FixCurves(float (*pafOut)[4], int iNearGroups, int iCount);

	// Per sample, the call's after kHistory of the call before (zeros after
	// a reset): the inputs in double, the piece each driven sample falls in,
	// F2 and the mean of F1 over the step from the sample before, of the
	// driven curves (each: shaper, soft) and of the clipper.
	alignas(32) double m_adX[kNumInputs][kHistory + kMaxCount];
	alignas(32) int32_t m_aiPiece[kHistory + kMaxCount];
	alignas(32) double m_adDrivenF2[kHistory + kMaxCount][2];
	alignas(32) double m_adClipF2[kHistory + kMaxCount];
	alignas(32) double m_adDrivenMean[kHistory + kMaxCount][2];
	alignas(32) double m_adClipMean[kHistory + kMaxCount];
	// Per input and sample of the call: 1 / d1 and 1 / d2, d1 and d2 the
	// steps back to the sample before and to the one before that.
	alignas(32) double m_adStep[kNumInputs][kMaxCount];
	alignas(32) double m_adTurn[kNumInputs][kMaxCount];
	// The first samples of the groups of four with a step too short to
	// divide by.
	int m_aiNearGroups[kMaxCount / 4];
	// In those groups, per sample, half of each curve at the sample before:
	// the driven curves (shaper, soft), the clipper.
	alignas(32) double m_adNearHalfCurve[kMaxCount][2];
	alignas(32) double m_adNearHalfClip[kMaxCount];
};
