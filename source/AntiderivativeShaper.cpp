#include "AntiderivativeShaper.h"

#include "DistoTables.h"
#include "cpufeatures.h"
#include "simd.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// Functions that take or give vectors of four doubles are always inlined
// into Apply's two copies, so no call passes them between the plain and
// the AVX2 conventions.
#pragma GCC diagnostic ignored "-Wpsabi"

using namespace disto;
using namespace simd;

namespace {
// 25·q held within ±0.999.
constexpr double kClipGain = 25.0;
constexpr double kClipCeiling = 0.999;
constexpr double kClipKnee = kClipCeiling / kClipGain;

// The clipper's curve from the part of |q| up to the knee and the part
// beyond it: its magnitude and antiderivatives.
template <typename T> struct ClipParts
{
	T inside, beyond;

	__attribute__((always_inline)) T F() const { return kClipGain * inside; }
	__attribute__((always_inline)) T F1() const { return 0.5 * kClipGain * inside * inside + kClipCeiling * beyond; }
	__attribute__((always_inline)) T F2() const
	{
		return inside * inside * (kClipGain / 6.0 * inside + 0.5 * kClipGain * beyond) + 0.5 * kClipCeiling * beyond * beyond;
	}
};

// The parts of four samples, without a branch.
__attribute__((always_inline)) inline ClipParts<V4d> ClipPartsOf(V4d q)
{
	const V4d a = Abs(q);
	const V4l past = a > kClipKnee;
	return {Select(past, V4d{} + kClipKnee, a), Select(past, a - kClipKnee, V4d{})};
}

// The sign of x as the curves' values take it: 0 at 0.
double SignOf(double x)
{
	return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0);
}

__attribute__((always_inline)) inline V4d SignOf(V4d x)
{
	return Select(x > 0.0, V4d{} + 1.0, Select(x < 0.0, V4d{} - 1.0, V4d{}));
}

// The piece holding a driven sample's magnitude: below entry 0 the first,
// else the one the level index falls in (those of the negative half-wave
// follow those of the positive one). A level index a hair off near a
// piece's end only extends the neighbouring piece's line a hair, where the
// two meet.
int PieceOf(double x)
{
	const float fAbs = static_cast<float>(std::fabs(x));
	const int j = fAbs < 1e-6f ? 0 : static_cast<int>(LevelIndex(fAbs) * (1.0f / kEntriesPerPiece)) + 1;
	return j + (x < 0.0 ? kPieces : 0);
}

// Two neighbouring driven samples: their pieces' lanes side by side (shaper,
// soft of the first, then of the second), how far each lies past its
// piece's start, and the samples, each twice.
struct DrivenPair
{
	PiecePolynomial<V4d> lanes;
	V4d t, x;
};

__attribute__((always_inline)) inline DrivenPair DrivenPairAt(const Piece* pPieces, const double* pdStarts,
                                                             const int32_t* piPiece, const double* pdX)
{
	const Piece& p0 = pPieces[piPiece[0]];
	const Piece& p1 = pPieces[piPiece[1]];
	const double s0 = pdX[0], s1 = pdX[1];
	const double t0 = std::fabs(s0) - pdStarts[piPiece[0]], t1 = std::fabs(s1) - pdStarts[piPiece[1]];
	return {{V4d{p0.C2[0], p0.C2[1], p1.C2[0], p1.C2[1]}, V4d{p0.C1[0], p0.C1[1], p1.C1[0], p1.C1[1]},
	         V4d{p0.ph[0], p0.ph[1], p1.ph[0], p1.ph[1]}, V4d{p0.m6[0], p0.m6[1], p1.m6[0], p1.m6[1]}},
	        V4d{t0, t0, t1, t1},
	        V4d{s0, s0, s1, s1}};
}

// Neighbouring samples closer than this, relative to their size, leave too
// few digits in the mean of F1 over their step; samples two apart closer
// than this mark a path that turns back on itself. Elsewhere the divisions
// by the steps are as good as the rounding of F2 allows (the samples are
// floats, so the product of two steps never underflows).
constexpr double kNearMean = 1e-8;
constexpr double kNearTurn = 1e-6;

// Per sample of a group of four on one input: the steps back to the sample
// before (d1) and the one before that (d2), and which of them are too short
// for the divisions (all three masks all-ones where so).
struct GroupSteps
{
	V4d d1, d2;
	V4l near, nearMean, nearTurn;
};

__attribute__((always_inline)) inline GroupSteps StepsOfGroup(const double* pdX, V4l inChunk)
{
	const V4d x = Load<V4d>(pdX), x1 = Load<V4d>(pdX - 1), x2 = Load<V4d>(pdX - 2);
	const V4d d1 = x - x1, d2 = x - x2, scale = Abs(x) + Abs(x1);
	const V4l nearMean = ~(Abs(d1) > kNearMean * scale) & inChunk, nearTurn = ~(Abs(d2) > kNearTurn * scale) & inChunk;
	return {d1, d2, nearMean | nearTurn, nearMean, nearTurn};
}

// Each per-sample mask twice, for the pairs of lanes (shaper, soft) of two
// samples: those of samples 0 and 1, or of 2 and 3.
__attribute__((always_inline)) inline V4l PairsOf(V4l m, bool bSecond)
{
	return bSecond ? __builtin_shufflevector(m, m, 2, 2, 3, 3) : __builtin_shufflevector(m, m, 0, 0, 1, 1);
}

// Whether any lane of a mask is set.
__attribute__((always_inline)) inline bool Any(V4l m)
{
	return (m[0] | m[1] | m[2] | m[3]) != 0;
}
} // namespace

CAntiderivativeShaper::CurvePoint CAntiderivativeShaper::Evaluate(int iCurve, double x)
{
	const double dSign = SignOf(x);
	if (iCurve == kClipCurve)
	{
		const double a = std::fabs(x);
		const ClipParts<double> parts{std::min(a, kClipKnee), std::max(a - kClipKnee, 0.0)};
		return {dSign * parts.F(), parts.F1(), dSign * parts.F2()};
	}
	const size_t i = static_cast<size_t>(PieceOf(x));
	const PiecePolynomial<double> piece = LaneOf(Pieces().pieces[i], iCurve == kShaperCurve ? kShaperLane : kSoftLane);
	const double t = std::fabs(x) - Pieces().starts[i];
	return {dSign * piece.F(t), piece.F1(t), dSign * piece.F2(t)};
}

CAntiderivativeShaper::CAntiderivativeShaper()
{
	// Built here, on the thread that creates the chain, never while processing.
	Pieces();
	std::memset(m_adNearHalfCurve, 0, sizeof m_adNearHalfCurve);
	std::memset(m_adNearHalfClip, 0, sizeof m_adNearHalfClip);
	Reset();
}

void CAntiderivativeShaper::Reset()
{
	std::memset(m_adX, 0, sizeof m_adX);
	std::memset(m_aiPiece, 0, sizeof m_aiPiece);
	std::memset(m_adDrivenF2, 0, sizeof m_adDrivenF2);
	std::memset(m_adClipF2, 0, sizeof m_adClipF2);
	std::memset(m_adDrivenMean, 0, sizeof m_adDrivenMean);
	std::memset(m_adClipMean, 0, sizeof m_adClipMean);
}

bool CAntiderivativeShaper::AtRest() const
{
	// The next call reads the last two samples before it and the mean and
	// F2 at the last, which are 0 where those samples are.
	for (const auto& adX : m_adX)
		for (const double x : adX)
			if (x != 0.0)
				return false;
	return true;
}

// The groups of four with a step too short to divide by: the mean of F1
// over a step by the division where that step is long enough, else from the
// step's ends. Half the curve at the sample before is kept for the lanes
// whose path turns back on itself. F1 and the curve are formed by pieces as
// everywhere, vector by vector, and only for an input that has such lanes:
// a slowly decaying tail has long enough steps for the divisions.
__attribute__((always_inline)) inline void CAntiderivativeShaper::FixMeans(int iNearGroups, int iCount)
{
	const Piece* pPieces = Pieces().pieces.data();
	const double* pdStarts = Pieces().starts.data();
	for (int g = 0; g < iNearGroups; ++g)
	{
		const int k = m_aiNearGroups[g], a0 = kHistory + k;
		const V4l inChunk = V4l{0, 1, 2, 3} + k < iCount;
		// F1 and f at the group's samples and the one before, a0 - 2 first.
		alignas(32) double adF1[6][2], adF[6][2];
		const GroupSteps driven = StepsOfGroup(m_adX[kDrivenInput] + a0, inChunk);
		if (Any(driven.nearMean | driven.nearTurn))
			for (int s = 0; s < 6; s += 2)
			{
				const int a = a0 - 2 + s;
				const DrivenPair pair = DrivenPairAt(pPieces, pdStarts, m_aiPiece + a, m_adX[kDrivenInput] + a);
				Store(adF1[s], pair.lanes.F1(pair.t));
				Store(adF[s], SignOf(pair.x) * pair.lanes.F(pair.t));
			}
		for (int h = 0; h < 2; ++h)
		{
			const int s = 2 + 2 * h, a = a0 + 2 * h;
			const V4d d1 = {driven.d1[2 * h], driven.d1[2 * h], driven.d1[2 * h + 1], driven.d1[2 * h + 1]};
			V4d mean = (Load<V4d>(m_adDrivenF2[a]) - Load<V4d>(m_adDrivenF2[a - 1])) / d1;
			if (Any(driven.nearMean))
				mean = Select(PairsOf(driven.nearMean, h), 0.5 * (Load<V4d>(adF1[s]) + Load<V4d>(adF1[s - 1])), mean);
			Store(m_adDrivenMean[a], Select(PairsOf(driven.near, h), mean, Load<V4d>(m_adDrivenMean[a])));
			if (Any(driven.nearTurn))
				Store(m_adNearHalfCurve[k + 2 * h], 0.5 * Load<V4d>(adF[s - 1]));
		}

		const GroupSteps clip = StepsOfGroup(m_adX[kClipInput] + a0, inChunk);
		V4d mean = (Load<V4d>(m_adClipF2 + a0) - Load<V4d>(m_adClipF2 + a0 - 1)) / clip.d1;
		if (Any(clip.nearMean | clip.nearTurn))
		{
			// From a0 - 1, and from a0 (overlapping, so as not to read past the call's samples).
			alignas(32) double adClipF1[5], adClipF[5];
			for (int o = 0; o < 2; ++o)
			{
				const V4d q = Load<V4d>(m_adX[kClipInput] + a0 - 1 + o);
				const ClipParts<V4d> parts = ClipPartsOf(q);
				Store(adClipF1 + o, parts.F1());
				Store(adClipF + o, SignOf(q) * parts.F());
			}
			mean = Select(clip.nearMean, 0.5 * (Load<V4d>(adClipF1 + 1) + Load<V4d>(adClipF1)), mean);
			Store(m_adNearHalfClip + k, 0.5 * Load<V4d>(adClipF));
		}
		Store(m_adClipMean + a0, Select(clip.near, mean, Load<V4d>(m_adClipMean + a0)));
	}
}

// Then the curve from the means where the two steps are long enough, else
// at the sample before (the path turns back on itself); halved, like the
// others.
__attribute__((always_inline)) inline void CAntiderivativeShaper::FixCurves(float (*pafOut)[4], int iNearGroups,
                                                                            int iCount)
{
	for (int g = 0; g < iNearGroups; ++g)
	{
		const int k = m_aiNearGroups[g], a0 = kHistory + k;
		const V4l inChunk = V4l{0, 1, 2, 3} + k < iCount;
		const GroupSteps driven = StepsOfGroup(m_adX[kDrivenInput] + a0, inChunk);
		const GroupSteps clip = StepsOfGroup(m_adX[kClipInput] + a0, inChunk);
		alignas(32) double adDriven[4][2], adClip[4];
		for (int h = 0; h < 2; ++h)
		{
			const int a = a0 + 2 * h;
			const V4d d2 = {driven.d2[2 * h], driven.d2[2 * h], driven.d2[2 * h + 1], driven.d2[2 * h + 1]};
			const V4d y = (Load<V4d>(m_adDrivenMean[a]) - Load<V4d>(m_adDrivenMean[a - 1])) / d2;
			Store(adDriven[2 * h], Select(PairsOf(driven.nearTurn, h), Load<V4d>(m_adNearHalfCurve[k + 2 * h]), y));
		}
		const V4d y = (Load<V4d>(m_adClipMean + a0) - Load<V4d>(m_adClipMean + a0 - 1)) / clip.d2;
		Store(adClip, Select(clip.nearTurn, Load<V4d>(m_adNearHalfClip + k), y));
		for (int i = 0; i < 4; ++i)
		{
			float* pfOut = pafOut[k + i];
			if (driven.near[i])
			{
				pfOut[kShaperCurve] = static_cast<float>(adDriven[i][0]);
				pfOut[kSoftCurve] = static_cast<float>(adDriven[i][1]);
			}
			if (clip.near[i])
				pfOut[kClipCurve] = static_cast<float>(adClip[i]);
		}
	}
}

__attribute__((always_inline)) inline void CAntiderivativeShaper::Apply(const float (*pafIn)[kNumInputs],
                                                                        float (*pafOut)[4], int iCount)
{
	constexpr int H = kHistory;
	// Whole vectors of four; what lies past the call's samples is never read.
	const int iCount4 = (iCount + 3) & ~3;

	// The inputs in double, and the pieces the driven samples fall in
	// (those of the negative half-wave after the positive).
	for (int k = 0; k < iCount4; k += 4)
	{
		const V4f a = Load<V4f>(pafIn[k]), b = Load<V4f>(pafIn[k + 2]);
		const V4f driven = __builtin_shufflevector(a, b, 0, 2, 4, 6);
		const V4f clip = __builtin_shufflevector(a, b, 1, 3, 5, 7);
		const V4f fAbs = Abs(driven);
		const V4f index = LevelIndices(Select(fAbs > 0.0f, fAbs, V4f{} + 1.0f));
		V4i j = __builtin_convertvector(index * (1.0f / kEntriesPerPiece), V4i) + 1;
		j &= ~(fAbs < 1e-6f);
		j += (driven < 0.0f) & kPieces;
		std::memcpy(&m_aiPiece[H + k], &j, sizeof j);
		Store(m_adX[kDrivenInput] + H + k, __builtin_convertvector(driven, V4d));
		Store(m_adX[kClipInput] + H + k, __builtin_convertvector(clip, V4d));
	}

	// Per input and sample, from its steps back to the sample before (d1)
	// and the one before that (d2): 1 / d1 and 1 / d2 from one division.
	// Too close to divide by where either step is too short (the lanes past
	// the call's samples may say so too: they only cost the search below).
	V4l near = {};
	for (int k = 0; k < iCount4; k += 4)
		for (int i = 0; i < kNumInputs; ++i)
		{
			const double* pdX = m_adX[i] + H + k;
			const V4d x = Load<V4d>(pdX), x1 = Load<V4d>(pdX - 1), x2 = Load<V4d>(pdX - 2);
			const V4d d1 = x - x1, d2 = x - x2;
			const V4d scale = Abs(x) + Abs(x1);
			const V4d product = d1 * d2;
			near |= ~(Abs(d1) > kNearMean * scale) | ~(Abs(d2) > kNearTurn * scale);
			const V4d inverse = 1.0 / product;
			Store(m_adStep[i] + k, d2 * inverse);
			Store(m_adTurn[i] + k, d1 * inverse);
		}
	// The few groups of four with such a sample, rare while playing, are
	// worked out again below.
	int iNearGroups = 0;
	if (Any(near))
		for (int k = 0; k < iCount4; k += 4)
		{
			const V4l inChunk = V4l{0, 1, 2, 3} + k < iCount;
			if (Any(StepsOfGroup(m_adX[kDrivenInput] + H + k, inChunk).near |
			        StepsOfGroup(m_adX[kClipInput] + H + k, inChunk).near))
				m_aiNearGroups[iNearGroups++] = k;
		}

	// F2 per sample and curve: of the driven curves (shaper, soft) from the
	// sample's piece, two samples at a time, and with it the mean of F1 over
	// the step from the sample before (the difference of F2 over the step);
	// of the clipper, four samples at a time.
	const Piece* pPieces = Pieces().pieces.data();
	const double* pdStarts = Pieces().starts.data();
	V4d before = Load<V4d>(m_adDrivenF2[H - 2]);
	for (int a = H; a < H + iCount; a += 2)
	{
		const DrivenPair pair = DrivenPairAt(pPieces, pdStarts, m_aiPiece + a, m_adX[kDrivenInput] + a);
		const V4d F2 = WithSignOf(pair.x, pair.lanes.F2(pair.t));
		Store(m_adDrivenF2[a], F2);
		const double* pdStep = m_adStep[kDrivenInput] + (a - H);
		const V4d step = {pdStep[0], pdStep[0], pdStep[1], pdStep[1]};
		Store(m_adDrivenMean[a], (F2 - __builtin_shufflevector(before, F2, 2, 3, 4, 5)) * step);
		before = F2;
	}
	for (int k = 0; k < iCount4; k += 4)
	{
		const V4d q = Load<V4d>(m_adX[kClipInput] + H + k);
		Store(m_adClipF2 + H + k, WithSignOf(q, ClipPartsOf(q).F2()));
	}
	// The clipper's means likewise.
	for (int k = 0; k < iCount4; k += 4)
		Store(m_adClipMean + H + k,
		      (Load<V4d>(m_adClipF2 + H + k) - Load<V4d>(m_adClipF2 + H + k - 1)) * Load<V4d>(m_adStep[kClipInput] + k));
	FixMeans(iNearGroups, iCount);

	// The curve under a triangle two samples wide centred on the sample
	// before: the difference of those means over the two steps, halved (turn
	// is half of 2 / d2), one lane per curve for the half-band pair.
	// Four samples at a time; what lies past the call's samples is never read.
	for (int k = 0; k < iCount4; k += 4)
	{
		const V4f clip = __builtin_convertvector(
		    (Load<V4d>(m_adClipMean + H + k) - Load<V4d>(m_adClipMean + H + k - 1)) * Load<V4d>(m_adTurn[kClipInput] + k),
		    V4f);
		for (int h = 0; h < 4; h += 2)
		{
			const double* pdTurn = m_adTurn[kDrivenInput] + k + h;
			const V4d turn = {pdTurn[0], pdTurn[0], pdTurn[1], pdTurn[1]};
			const V4f driven = __builtin_convertvector(
			    (Load<V4d>(m_adDrivenMean[H + k + h]) - Load<V4d>(m_adDrivenMean[H + k + h - 1])) * turn, V4f);
			// The clipper's two samples, each followed by the idle lane's 0.
			const V4f clipPair =
			    h == 0 ? __builtin_shufflevector(clip, V4f{}, 0, 4, 1, 4) : __builtin_shufflevector(clip, V4f{}, 2, 4, 3, 4);
			Store(pafOut[k + h], __builtin_shufflevector(driven, clipPair, 0, 1, 4, 5));
			Store(pafOut[k + h + 1], __builtin_shufflevector(driven, clipPair, 2, 3, 6, 7));
		}
	}
	FixCurves(pafOut, iNearGroups, iCount);

	// The last samples are the next call's history.
	for (int a = 0; a < H; ++a)
	{
		const int b = a + iCount;
		for (int i = 0; i < kNumInputs; ++i)
			m_adX[i][a] = m_adX[i][b];
		m_aiPiece[a] = m_aiPiece[b];
		m_adDrivenF2[a][0] = m_adDrivenF2[b][0];
		m_adDrivenF2[a][1] = m_adDrivenF2[b][1];
		m_adDrivenMean[a][0] = m_adDrivenMean[b][0];
		m_adDrivenMean[a][1] = m_adDrivenMean[b][1];
		m_adClipF2[a] = m_adClipF2[b];
		m_adClipMean[a] = m_adClipMean[b];
	}
}

void CAntiderivativeShaper::Process(const float (*pafIn)[kNumInputs], float (*pafOut)[4], int iCount)
{
	RunBestBuild([&](auto) BRONTAL_INLINE { Apply(pafIn, pafOut, iCount); });
}
