#include "MyDisto.h"

#include "Biquad.h"
#include "brontalassert.h"
#include "brontaldata.h"
#include "brontalparams.h"
#include "cpufeatures.h"
#include "fastmath.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

// Functions that take or give vectors of four doubles are always inlined
// into the chunk's two copies, so no call passes them between the plain and
// the AVX2 conventions.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {
typedef double V2d __attribute__((vector_size(16)));
typedef int64_t V2l __attribute__((vector_size(16)));
typedef float V4f __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));

struct FilterSetting
{
	int iType;
	float fHz;
};

// Every section has Q 0.55; the peaks raise their band by 20 dB.
constexpr double kFilterQ = 0.55;
constexpr double kPeakGainDb = 20.0;
const FilterSetting kPreEmphasis[3] = {{Biquad::kPeak, 500.0f}, {Biquad::kPeak, 800.0f}, {Biquad::kPeak, 2000.0f}};
// In the order of the section enumeration.
const FilterSetting kSectionSettings[] = {{Biquad::kHighPass, 200.0f}, {Biquad::kPeak, 2500.0f}};
// The lowpasses after the clipper and after the shapers.
const FilterSetting kLowPasses[2] = {{Biquad::kLowPass, 4500.0f}, {Biquad::kLowPass, 10000.0f}};

// Mix weights of the branches.
constexpr float kSoftWeight = 0.6364f;
constexpr float kClipWeight = 0.5504f;
const double kShaperWeights[4] = {0.47000003f, 0.3334f, 0.31313998f, 0.411f};

// -10.528 dB after the mix, then the fixed 0.7 of the switched-on path.
const float kOutputTrim = static_cast<float>(std::pow(10.0, -0.5264));
constexpr float kOnGain = 0.7f;

// Far above any real signal, low enough that the drive and the filters stay
// finite: non-finite input would otherwise stick in the filter state.
constexpr float kInputLimit = 1.0e6f;

// The soft clipper's slope at 0 and the hard clipper's gain and ceiling.
constexpr double kSoftSlope = 25.0;
constexpr double kClipGain = 25.0;
constexpr double kClipCeiling = 0.999;

// Half-band all-pass pairs (tools/gen_halfband.py); the even-numbered
// sections form one branch, the odd-numbered the other. Into twice the rate:
// pass band to 0.4 of the host rate, 70 dB of rejection from 0.6 of it, which
// keeps the images of anything below 0.4 out of the curves. Out of it: pass
// band to 0.44, 57 dB from 0.56: what the curves make just above the host's
// Nyquist frequency folds back just below it, where the cabinet removes it
// at rates up to 48 kHz. Above, the cabinet passes that octave; there the
// pass band reaches 0.48 and 81 dB hold from 0.52.
const float kUpHalfBand[] = {0.0798664242f, 0.283829331f, 0.54532367f, 0.834411919f};
const float kDownHalfBand[] = {0.109106041f, 0.361632586f, 0.633477211f, 0.877443433f};
const float kSteepDownHalfBand[] = {0.0575171858f, 0.205933034f, 0.392204434f, 0.569338799f,
                                    0.713911414f,  0.82295835f,  0.904270172f, 0.969458163f};
// Rates above this take the steep pair.
constexpr double kSteepDownRate = 50000.0;

// The triangular window of the antiderivative method at twice the rate
// loses sinc²(f / 2fs); 1 + c - c·z^-1 puts it back within 0.03 dB up to
// 0.275 of the host rate.
constexpr float kWindowLossBoost = 0.05157f;

// The finest table has 200 entries per dB; the others fall on its entries
// (every 10th for shaper 1, every 4th for shapers 2 and 3), so one curve
// sampled at its spacing is their weighted sum.
constexpr int kLast = 24000;
// 200 entries per dB of 20·log10|s| = 200 · 20·log10(2) per octave.
constexpr float kEntriesPerOctave = 1204.1199826559248f;

const float* TableData(brontal::Blob blob, int iEntries)
{
	BRONTAL_ASSERT(blob.size == sizeof(float) * static_cast<size_t>(iEntries), "0", "MyDisto");
	return reinterpret_cast<const float*>(blob.data);
}

// The curves of the driven signal, the shaper's and the soft clipper's, as
// linear pieces in the sample's magnitude on every 8th entry of the finest
// table (0.04 dB): within 6e-6 of the tables' own interpolation (the coarser
// tables' corners fall between the pieces' ends) and within 1.5e-6 of the
// soft clipper. Piece 0 runs from 0 to entry 0 (-120 dBFS), piece k from
// entry 8(k - 1), the last one on above 0 dBFS.
constexpr int kEntriesPerPiece = 8;
constexpr int kPieces = kLast / kEntriesPerPiece + 2;
// The curves of the driven signal, in the two lanes of a piece.
enum
{
	kShaperLane,
	kSoftLane
};

// One piece, per lane: the magnitude 2·ph + 6·m6·(|x| - u) and the curve's
// two antiderivatives from 0, C1 and C2, at u, its start. One cache line;
// the starts are kept apart.
struct alignas(64) Piece
{
	double C2[2], C1[2], ph[2], m6[2];
};

struct PieceTable
{
	std::vector<Piece> pieces;
	std::vector<double> starts;
};

// Entry i of the finest table lies at 10^(6i/kLast - 6).
double EntryAmplitude(int i)
{
	return std::pow(10.0, 6.0 * i / kLast - 6.0);
}

// F2 of a piece, t past its start; the same sums wherever F2 is formed.
template <typename T>
__attribute__((always_inline)) inline T PieceF2(T C2, T C1, T ph, T m6, T t)
{
	return C2 + t * (C1 + t * (ph + t * m6));
}

// Each half-wave's pieces (positive first): the values at their starts from
// the tables, the slopes reaching the next piece, the antiderivatives
// accumulated from 0.
const PieceTable& Pieces()
{
	static const PieceTable table = [] {
		namespace data = brontal::data;
		struct Table
		{
			const float* pfPos;
			const float* pfNeg;
			int iLast;
		};
		const Table tables[4] = {
			{TableData(data::afShape1_Pos(), 2401), TableData(data::afShape1_Neg(), 2401), 2400},
			{TableData(data::afShape2(), 6001), TableData(data::afShape2(), 6001), 6000},
			{TableData(data::afShape3(), 6001), TableData(data::afShape3(), 6001), 6000},
			{TableData(data::afShape4_Pos(), 24001), TableData(data::afShape4_Neg(), 24001), 24000},
		};
		PieceTable t{std::vector<Piece>(2 * kPieces), std::vector<double>(2 * kPieces)};
		for (int iHalf = 0; iHalf < 2; ++iHalf)
		{
			Piece* p = &t.pieces[static_cast<size_t>(iHalf * kPieces)];
			double* u = &t.starts[static_cast<size_t>(iHalf * kPieces)];
			for (int k = 1; k < kPieces; ++k)
			{
				// The four tables' weighted sum at the piece's first entry.
				const int iEntry = (k - 1) * kEntriesPerPiece;
				double dShaper = 0.0;
				for (int i = 0; i < 4; ++i)
				{
					const Table& tb = tables[i];
					const float* pf = iHalf == 0 ? tb.pfPos : tb.pfNeg;
					const int iStep = kLast / tb.iLast, j = iEntry / iStep;
					const double f = static_cast<double>(iEntry - j * iStep) / iStep;
					dShaper += kShaperWeights[i] * (f > 0.0 ? (1.0 - f) * pf[j] + f * pf[j + 1] : pf[j]);
				}
				u[k] = EntryAmplitude(iEntry);
				p[k].ph[kShaperLane] = 0.5 * dShaper;
				p[k].ph[kSoftLane] = -0.5 * std::expm1(-kSoftSlope * u[k]);
			}
			// Below entry 0 the shaper holds entry 0's value and the soft
			// clipper rises in a line from 0.
			u[0] = 0.0;
			p[0].ph[kShaperLane] = p[1].ph[kShaperLane];
			p[0].ph[kSoftLane] = 0.0;
			for (int iLane = 0; iLane < 2; ++iLane)
			{
				p[0].C1[iLane] = p[0].C2[iLane] = 0.0;
				for (int k = 0; k < kPieces; ++k)
				{
					const bool bLast = k + 1 == kPieces;
					const double w = bLast ? 0.0 : u[k + 1] - u[k];
					const double ph = p[k].ph[iLane];
					const double m6 = bLast || (k == 0 && iLane == kShaperLane) ? 0.0 : (p[k + 1].ph[iLane] - ph) / (3.0 * w);
					p[k].m6[iLane] = m6;
					if (!bLast)
					{
						p[k + 1].C1[iLane] = p[k].C1[iLane] + w * (2.0 * ph + 3.0 * m6 * w);
						p[k + 1].C2[iLane] = PieceF2(p[k].C2[iLane], p[k].C1[iLane], ph, m6, w);
					}
				}
			}
		}
		return t;
	}();
	return table;
}

V4f AsFloat(V4i v)
{
	V4f f;
	std::memcpy(&f, &v, sizeof f);
	return f;
}

V4i AsInt(V4f v)
{
	V4i i;
	std::memcpy(&i, &v, sizeof i);
	return i;
}

V4f Select(V4i mask, V4f a, V4f b)
{
	return AsFloat((mask & AsInt(a)) | (~mask & AsInt(b)));
}

V4f Abs(V4f v)
{
	return AsFloat(AsInt(v) & 0x7fffffff);
}

V4f Load(const float* pf)
{
	V4f v;
	std::memcpy(&v, pf, sizeof v);
	return v;
}

void Store(float* pf, V4f v)
{
	std::memcpy(pf, &v, sizeof v);
}

// Base-2 logarithm of positive normal numbers: the exponent, and a
// degree-4 polynomial of the mantissa in [1, 2), within 2.1e-4 (a quarter
// of an entry of the finest table, a thirtieth of a piece).
V4f FastLog2(V4f x)
{
	const V4i bits = AsInt(x);
	const V4i e = ((bits >> 23) & 0xff) - 127;
	const V4f t = AsFloat((bits & 0x7fffff) | 0x3f800000) - 1.0f;
	V4f p = V4f{} - 0.0791503658f;
	p = p * t + 0.312214266f;
	p = p * t - 0.66951521f;
	p = p * t + 1.43609808f;
	p = p * t + 0.000204158913f;
	return p + __builtin_convertvector(e, V4f);
}

// Level index on the finest table, clamped to 0..kLast while still a float
// so NaN and out-of-range levels never reach an integer; |s| must not be 0.
V4f LevelIndices(V4f fAbs)
{
	V4f fIndex = FastLog2(fAbs) * kEntriesPerOctave + static_cast<float>(kLast);
	fIndex = Select(fIndex > 0.0f, fIndex, V4f{} + 0.0f);
	return Select(fIndex > static_cast<float>(kLast), V4f{} + static_cast<float>(kLast), fIndex);
}

// 25·q held within ±0.999 and its antiderivatives, from the part of |q|
// up to the knee and the part beyond it.
constexpr double kClipKnee = kClipCeiling / kClipGain;

template <typename T>
__attribute__((always_inline)) inline T ClipF2Magnitude(T inside, T beyond)
{
	return inside * inside * (kClipGain / 6.0 * inside + 0.5 * kClipGain * beyond) + 0.5 * kClipCeiling * beyond * beyond;
}

CMyDisto::CurvePoint ClipPoint(double x)
{
	const double a = std::fabs(x);
	const double inside = std::min(a, kClipKnee), beyond = std::max(a - kClipKnee, 0.0);
	const double dSign = x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0);
	return {dSign * kClipGain * inside, 0.5 * kClipGain * inside * inside + kClipCeiling * beyond,
	        dSign * ClipF2Magnitude(inside, beyond)};
}

// Double vectors: pairs for the sections, fours for the curves.
typedef double V4d __attribute__((vector_size(32)));
typedef int64_t V4l __attribute__((vector_size(32)));
template <typename V> using MaskOf = decltype(V{} < V{});

template <typename To, typename From> __attribute__((always_inline)) inline To BitCast(const From& v)
{
	static_assert(sizeof(To) == sizeof(From), "same size");
	To t;
	std::memcpy(&t, &v, sizeof t);
	return t;
}

constexpr int64_t kSignBit = static_cast<int64_t>(0x8000000000000000ULL);

template <typename V> __attribute__((always_inline)) inline V AbsD(V v)
{
	return BitCast<V>(BitCast<MaskOf<V>>(v) & ~kSignBit);
}

template <typename V> __attribute__((always_inline)) inline V SelectD(MaskOf<V> mask, V a, V b)
{
	return BitCast<V>((mask & BitCast<MaskOf<V>>(a)) | (~mask & BitCast<MaskOf<V>>(b)));
}

template <typename V> __attribute__((always_inline)) inline V WithSignOf(V s, V v)
{
	return BitCast<V>(BitCast<MaskOf<V>>(v) ^ (BitCast<MaskOf<V>>(s) & kSignBit));
}

template <typename V> __attribute__((always_inline)) inline V LoadD(const double* pd)
{
	V v;
	std::memcpy(&v, pd, sizeof v);
	return v;
}

template <typename V> __attribute__((always_inline)) inline void StoreD(double* pd, V v)
{
	std::memcpy(pd, &v, sizeof v);
}

// The clipper's F2 alone, as the processing reads it: the part up to the
// knee and the part beyond, without a branch.
template <typename V> __attribute__((always_inline)) inline V ClipF2(V q)
{
	const V a = AbsD(q);
	const MaskOf<V> past = a > kClipKnee;
	return WithSignOf(q, ClipF2Magnitude(SelectD(past, V{} + kClipKnee, a), SelectD(past, a - kClipKnee, V{})));
}

// Lanes of a bank of second-order sections held in registers while a chunk
// runs through them (transposed direct form II), as many as V holds.
template <typename V> struct Sections
{
	V b0, b1, b2, a1, a2, z1, z2;

	template <typename Bank>
	__attribute__((always_inline)) Sections(const Bank& bank, int iFirst)
	    : b0(LoadD<V>(bank.b0 + iFirst)), b1(LoadD<V>(bank.b1 + iFirst)), b2(LoadD<V>(bank.b2 + iFirst)),
	      a1(LoadD<V>(bank.a1 + iFirst)), a2(LoadD<V>(bank.a2 + iFirst)), z1(LoadD<V>(bank.z1 + iFirst)),
	      z2(LoadD<V>(bank.z2 + iFirst))
	{
	}

	template <typename Bank> __attribute__((always_inline)) void Save(Bank& bank, int iFirst) const
	{
		StoreD(bank.z1 + iFirst, z1);
		StoreD(bank.z2 + iFirst, z2);
	}

	__attribute__((always_inline)) V Run(V x)
	{
		const V y = b0 * x + z1;
		z1 = b1 * x + z2 - a1 * y;
		z2 = b2 * x - a2 * y;
		return y;
	}
};

typedef float V8f __attribute__((vector_size(32)));

// A half-band pair held in registers while a chunk runs through it: each
// branch a chain of first-order all-pass sections (β + z^-1) / (1 + β·z^-1),
// the even-numbered sections one branch, the odd-numbered the other. The
// two branches run side by side, each in half of V's lanes (the odd one in
// the first half where bOddFirst), one section of each per step.
template <typename V, int kPairs, bool bOddFirst>
struct HalfBandLanes
{
	static constexpr int kLanes = sizeof(V) / sizeof(float);
	V beta[kPairs];
	V input;
	V output[kPairs];

	template <typename State>
	__attribute__((always_inline)) HalfBandLanes(const float* pfBetas, const State& state)
	{
		for (int i = 0; i < kPairs; ++i)
			for (int j = 0; j < kLanes; ++j)
				beta[i][j] = pfBetas[2 * i + ((j < kLanes / 2) == bOddFirst ? 1 : 0)];
		std::memcpy(&input, state.afInput, sizeof input);
		std::memcpy(output, state.afOutput, sizeof output);
	}

	template <typename State> __attribute__((always_inline)) void Save(State& state) const
	{
		// Once the input has stopped, the sections would otherwise circle at
		// the smallest denormals forever where the host does not flush them.
		const auto flush = [](V v) {
			auto small = (v < 1e-30f) & (v > -1e-30f);
			return BitCast<V>(BitCast<decltype(small)>(v) & ~small);
		};
		const V in = flush(input);
		std::memcpy(state.afInput, &in, sizeof in);
		for (int i = 0; i < kPairs; ++i)
		{
			const V out = flush(output[i]);
			std::memcpy(state.afOutput[i], &out, sizeof out);
		}
	}

	__attribute__((always_inline)) V Run(V x)
	{
		V xBefore = input;
		input = x;
		for (int i = 0; i < kPairs; ++i)
		{
			const V y = beta[i] * (x - output[i]) + xBefore;
			xBefore = output[i];
			output[i] = y;
			x = y;
		}
		return x;
	}
};

// The piece holding a driven sample's magnitude: below entry 0 the first,
// else the one the level index falls in (those of the negative half-wave
// follow those of the positive one). A level index a hair off near a
// piece's end only extends the neighbouring piece's line a hair, where the
// two meet.
inline int PieceOf(double x)
{
	const float fAbs = static_cast<float>(std::fabs(x));
	const int j = fAbs < 1e-6f ? 0 : static_cast<int>(CMyDisto::LevelIndex(fAbs) * (1.0f / kEntriesPerPiece)) + 1;
	return j + (x < 0.0 ? kPieces : 0);
}

CMyDisto::CurvePoint PiecePoint(const Piece& p, double u, int iLane, double x)
{
	const double t = std::fabs(x) - u;
	const double dSign = x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0);
	const double ph = p.ph[iLane], m6 = p.m6[iLane];
	return {dSign * (2.0 * ph + 6.0 * m6 * t), p.C1[iLane] + t * (2.0 * ph + 3.0 * m6 * t),
	        dSign * PieceF2(p.C2[iLane], p.C1[iLane], ph, m6, t)};
}

// A curve at x, a driven sample in the given piece or the clipper's input.
CMyDisto::CurvePoint CurveAt(int iCurve, double x, int iPiece)
{
	if (iCurve == CMyDisto::kClipCurve)
		return ClipPoint(x);
	const int iLane = iCurve == CMyDisto::kShaperCurve ? kShaperLane : kSoftLane;
	const size_t i = static_cast<size_t>(iPiece);
	return PiecePoint(Pieces().pieces[i], Pieces().starts[i], iLane, x);
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
	const V4d x = LoadD<V4d>(pdX), x1 = LoadD<V4d>(pdX - 1), x2 = LoadD<V4d>(pdX - 2);
	const V4d d1 = x - x1, d2 = x - x2, scale = AbsD(x) + AbsD(x1);
	const V4l nearMean = ~(AbsD(d1) > kNearMean * scale) & inChunk, nearTurn = ~(AbsD(d2) > kNearTurn * scale) & inChunk;
	return {d1, d2, nearMean | nearTurn, nearMean, nearTurn};
}

// The sign of x as the curves' values take it: 0 at 0.
__attribute__((always_inline)) inline V4d SignOf(V4d x)
{
	return SelectD(x > 0.0, V4d{} + 1.0, SelectD(x < 0.0, V4d{} - 1.0, V4d{}));
}

// Each per-sample mask twice, for the pairs of lanes (shaper, soft) of two
// samples: those of samples 0 and 1, or of 2 and 3.
__attribute__((always_inline)) inline V4l PairsOf(V4l m, bool bSecond)
{
	return bSecond ? __builtin_shufflevector(m, m, 2, 2, 3, 3) : __builtin_shufflevector(m, m, 0, 0, 1, 1);
}
} // namespace

// Whether any lane of a mask is set.
__attribute__((always_inline)) inline bool Any(V4l m)
{
	return (m[0] | m[1] | m[2] | m[3]) != 0;
}

// The groups of four with a step too short to divide by: the mean of F1
// over a step by the division where that step is long enough, else from the
// step's ends. Half the curve at the sample before is kept for the lanes
// whose path turns back on itself. F1 and the curve are formed by pieces as
// everywhere, vector by vector, and only for an input that has such lanes:
// a slowly decaying tail has long enough steps for the divisions.
__attribute__((always_inline)) inline void CMyDisto::FixMeans(int iNearGroups, int iCount2)
{
	const Piece* pPieces = Pieces().pieces.data();
	const double* pdStarts = Pieces().starts.data();
	for (int g = 0; g < iNearGroups; ++g)
	{
		const int k = m_aiNearGroups[g], a0 = kHistory + k;
		const V4l inChunk = V4l{0, 1, 2, 3} + k < iCount2;
		// F1 and f at the group's samples and the one before, a0 - 2 first.
		alignas(32) double adF1[6][2], adF[6][2];
		const GroupSteps driven = StepsOfGroup(m_adX[kDrivenInput] + a0, inChunk);
		if (Any(driven.nearMean | driven.nearTurn))
			for (int s = 0; s < 6; s += 2)
			{
				const int a = a0 - 2 + s;
				const Piece& p0 = pPieces[m_aiPiece[a]];
				const Piece& p1 = pPieces[m_aiPiece[a + 1]];
				const double s0 = m_adX[kDrivenInput][a], s1 = m_adX[kDrivenInput][a + 1];
				const double t0 = std::fabs(s0) - pdStarts[m_aiPiece[a]];
				const double t1 = std::fabs(s1) - pdStarts[m_aiPiece[a + 1]];
				const V4d t = {t0, t0, t1, t1};
				const V4d ph = {p0.ph[0], p0.ph[1], p1.ph[0], p1.ph[1]};
				const V4d m6 = {p0.m6[0], p0.m6[1], p1.m6[0], p1.m6[1]};
				const V4d C1 = {p0.C1[0], p0.C1[1], p1.C1[0], p1.C1[1]};
				StoreD(adF1[s], C1 + t * (2.0 * ph + 3.0 * m6 * t));
				StoreD(adF[s], SignOf(V4d{s0, s0, s1, s1}) * (2.0 * ph + 6.0 * m6 * t));
			}
		for (int h = 0; h < 2; ++h)
		{
			const int s = 2 + 2 * h, a = a0 + 2 * h;
			const V4d d1 = {driven.d1[2 * h], driven.d1[2 * h], driven.d1[2 * h + 1], driven.d1[2 * h + 1]};
			V4d mean = (LoadD<V4d>(m_adDrivenF2[a]) - LoadD<V4d>(m_adDrivenF2[a - 1])) / d1;
			if (Any(driven.nearMean))
				mean = SelectD(PairsOf(driven.nearMean, h), 0.5 * (LoadD<V4d>(adF1[s]) + LoadD<V4d>(adF1[s - 1])), mean);
			StoreD(m_adDrivenMean[a], SelectD(PairsOf(driven.near, h), mean, LoadD<V4d>(m_adDrivenMean[a])));
			if (Any(driven.nearTurn))
				StoreD(m_adNearHalfCurve[k + 2 * h], 0.5 * LoadD<V4d>(adF[s - 1]));
		}

		const GroupSteps clip = StepsOfGroup(m_adX[kClipInput] + a0, inChunk);
		V4d mean = (LoadD<V4d>(m_adClipF2 + a0) - LoadD<V4d>(m_adClipF2 + a0 - 1)) / clip.d1;
		if (Any(clip.nearMean | clip.nearTurn))
		{
			// From a0 - 1, and from a0 (overlapping, so as not to read past the chunk).
			alignas(32) double adClipF1[5], adClipF[5];
			for (int o = 0; o < 2; ++o)
			{
				const V4d q = LoadD<V4d>(m_adX[kClipInput] + a0 - 1 + o);
				const V4d a = AbsD(q);
				const V4l past = a > kClipKnee;
				const V4d inside = SelectD(past, V4d{} + kClipKnee, a), beyond = SelectD(past, a - kClipKnee, V4d{});
				StoreD(adClipF1 + o, 0.5 * kClipGain * inside * inside + kClipCeiling * beyond);
				StoreD(adClipF + o, SignOf(q) * kClipGain * inside);
			}
			mean = SelectD(clip.nearMean, 0.5 * (LoadD<V4d>(adClipF1 + 1) + LoadD<V4d>(adClipF1)), mean);
			StoreD(m_adNearHalfClip + k, 0.5 * LoadD<V4d>(adClipF));
		}
		StoreD(m_adClipMean + a0, SelectD(clip.near, mean, LoadD<V4d>(m_adClipMean + a0)));
	}
}

// Then the curve from the means where the two steps are long enough, else
// at the sample before (the path turns back on itself); halved, like the
// others.
__attribute__((always_inline)) inline void CMyDisto::FixCurves(int iNearGroups, int iCount2)
{
	for (int g = 0; g < iNearGroups; ++g)
	{
		const int k = m_aiNearGroups[g], a0 = kHistory + k;
		const V4l inChunk = V4l{0, 1, 2, 3} + k < iCount2;
		const GroupSteps driven = StepsOfGroup(m_adX[kDrivenInput] + a0, inChunk);
		const GroupSteps clip = StepsOfGroup(m_adX[kClipInput] + a0, inChunk);
		alignas(32) double adDriven[4][2], adClip[4];
		for (int h = 0; h < 2; ++h)
		{
			const int a = a0 + 2 * h;
			const V4d d2 = {driven.d2[2 * h], driven.d2[2 * h], driven.d2[2 * h + 1], driven.d2[2 * h + 1]};
			const V4d y = (LoadD<V4d>(m_adDrivenMean[a]) - LoadD<V4d>(m_adDrivenMean[a - 1])) / d2;
			StoreD(adDriven[2 * h], SelectD(PairsOf(driven.nearTurn, h), LoadD<V4d>(m_adNearHalfCurve[k + 2 * h]), y));
		}
		const V4d y = (LoadD<V4d>(m_adClipMean + a0) - LoadD<V4d>(m_adClipMean + a0 - 1)) / clip.d2;
		StoreD(adClip, SelectD(clip.nearTurn, LoadD<V4d>(m_adNearHalfClip + k), y));
		for (int i = 0; i < 4; ++i)
		{
			float* pfOut = m_afCurveOut[1 + k + i];
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

CMyDisto::CMyDisto()
{
	// Built here, on the thread that creates the chain, never while processing.
	Pieces();
	std::memset(m_afInput, 0, sizeof m_afInput);
	std::memset(m_afCurveOut, 0, sizeof m_afCurveOut);
	std::memset(m_adNearHalfCurve, 0, sizeof m_adNearHalfCurve);
	std::memset(m_adNearHalfClip, 0, sizeof m_adNearHalfClip);
	Reset();
}

int CMyDisto::Reset()
{
	// A reset chain starts clean: nothing of the last take rings on.
	for (Section& q : m_aSections)
		q.z1 = q.z2 = 0.0;
	std::memset(m_peaks.z1, 0, sizeof m_peaks.z1);
	std::memset(m_peaks.z2, 0, sizeof m_peaks.z2);
	std::memset(m_lowPasses.z1, 0, sizeof m_lowPasses.z1);
	std::memset(m_lowPasses.z2, 0, sizeof m_lowPasses.z2);
	m_up = {};
	m_down = {};
	std::memset(m_afCurveOut, 0, sizeof m_afCurveOut);
	std::memset(m_adX, 0, sizeof m_adX);
	std::memset(m_aiPiece, 0, sizeof m_aiPiece);
	std::memset(m_adDrivenF2, 0, sizeof m_adDrivenF2);
	std::memset(m_adClipF2, 0, sizeof m_adClipF2);
	std::memset(m_adDrivenMean, 0, sizeof m_adDrivenMean);
	std::memset(m_adClipMean, 0, sizeof m_adClipMean);
	m_fLastMix = 0.0f;
	m_bAtRest = true;
	m_driveGlide.Snap();
	return 1;
}

bool CMyDisto::AtRest() const
{
	const auto zero = [](const auto& state) {
		for (const auto& v : state)
			if (v != 0)
				return false;
		return true;
	};
	bool bZero = zero(m_peaks.z1) && zero(m_peaks.z2) && zero(m_lowPasses.z1) && zero(m_lowPasses.z2) &&
	             zero(m_up.afInput) && zero(m_down.afInput) && zero(m_afCurveOut[0]) && m_fLastMix == 0.0f;
	for (const Section& q : m_aSections)
		bZero = bZero && q.z1 == 0.0 && q.z2 == 0.0;
	for (const auto& out : m_up.afOutput)
		bZero = bZero && zero(out);
	for (const auto& out : m_down.afOutput)
		bZero = bZero && zero(out);
	// The next chunk reads the last two samples before it and the mean and
	// F2 at the last, which are 0 where those samples are.
	for (const auto& x : m_adX)
		bZero = bZero && zero(x);
	return bZero;
}

int CMyDisto::SetSampleRate(const double* pdSampleRate)
{
	const int iResult = CMyEffect::SetSampleRate(pdSampleRate);
	if (iResult)
		DesignFilters();
	return iResult;
}

float CMyDisto::DriveGain(float fLevel)
{
	const double dDriveDb = 45.0 * fLevel - 40.0;
	return static_cast<float>(std::pow(10.0, dDriveDb / 20.0));
}

float CMyDisto::LevelIndex(float fDriven)
{
	const float fAbs = std::fabs(fDriven);
	if (!(fAbs > 0.0f))
		return 0.0f;
	return LevelIndices(V4f{} + fAbs)[0];
}

CMyDisto::CurvePoint CMyDisto::EvaluateCurve(int iCurve, double x)
{
	return CurveAt(iCurve, x, PieceOf(x));
}

void CMyDisto::DesignFilters()
{
	// The normalised frequency in single precision, widened, as the chain's
	// filter element is given it; the designs follow the rate, nothing else.
	const double dRate = *m_pdSampleRate;
	const float fRate = static_cast<float>(dRate);
	Biquad design;
	const auto setLane = [&design, fRate](auto& bank, int iLane, const FilterSetting& setting) {
		design.SetParameters(setting.iType, static_cast<double>(setting.fHz / fRate), kFilterQ, kPeakGainDb);
		design.GetCoefficients(bank.b0[iLane], bank.b1[iLane], bank.b2[iLane], bank.a1[iLane], bank.a2[iLane]);
	};
	for (int i = 0; i < 3; ++i)
		setLane(m_peaks, i, kPreEmphasis[i]);
	m_peaks.b0[3] = m_peaks.b1[3] = m_peaks.b2[3] = m_peaks.a1[3] = m_peaks.a2[3] = 0.0;
	for (int i = 0; i < 2; ++i)
		setLane(m_lowPasses, i, kLowPasses[i]);
	for (int i = 0; i < kNumSections; ++i)
	{
		design.SetParameters(kSectionSettings[i].iType, static_cast<double>(kSectionSettings[i].fHz / fRate),
		                     kFilterQ, kPeakGainDb);
		Section& q = m_aSections[i];
		design.GetCoefficients(q.b0, q.b1, q.b2, q.a1, q.a2);
	}
	m_bSteepDown = dRate > kSteepDownRate;
	m_dDesignedRate = dRate;
}

__attribute__((always_inline)) inline void CMyDisto::ApplyCurves(int iCount2)
{
	constexpr int H = kHistory;
	// Whole vectors of four; what lies past the chunk is never read.
	const int iCount4 = (iCount2 + 3) & ~3;

	// The inputs in double, and the pieces the driven samples fall in
	// (those of the negative half-wave after the positive).
	for (int k = 0; k < iCount4; k += 4)
	{
		const V4f a = Load(m_afInput[k]), b = Load(m_afInput[k + 2]);
		const V4f driven = __builtin_shufflevector(a, b, 0, 2, 4, 6);
		const V4f clip = __builtin_shufflevector(a, b, 1, 3, 5, 7);
		const V4f fAbs = Abs(driven);
		const V4f index = LevelIndices(Select(fAbs > 0.0f, fAbs, V4f{} + 1.0f));
		V4i j = __builtin_convertvector(index * (1.0f / kEntriesPerPiece), V4i) + 1;
		j &= ~(fAbs < 1e-6f);
		j += (driven < 0.0f) & kPieces;
		std::memcpy(&m_aiPiece[H + k], &j, sizeof j);
		StoreD(m_adX[kDrivenInput] + H + k, __builtin_convertvector(driven, V4d));
		StoreD(m_adX[kClipInput] + H + k, __builtin_convertvector(clip, V4d));
	}

	// Per input and sample, from its steps back to the sample before (d1)
	// and the one before that (d2): 1 / d1 and 1 / d2 from one division.
	// Too close to divide by where either step is too short (the lanes past
	// the chunk may say so too: they only cost the search below).
	V4l near = {};
	for (int k = 0; k < iCount4; k += 4)
		for (int i = 0; i < kNumInputs; ++i)
		{
			const double* pdX = m_adX[i] + H + k;
			const V4d x = LoadD<V4d>(pdX), x1 = LoadD<V4d>(pdX - 1), x2 = LoadD<V4d>(pdX - 2);
			const V4d d1 = x - x1, d2 = x - x2;
			const V4d scale = AbsD(x) + AbsD(x1);
			const V4d product = d1 * d2;
			near |= ~(AbsD(d1) > kNearMean * scale) | ~(AbsD(d2) > kNearTurn * scale);
			const V4d inverse = 1.0 / product;
			StoreD(m_adStep[i] + k, d2 * inverse);
			StoreD(m_adTurn[i] + k, d1 * inverse);
		}
	// The few groups of four with such a sample, rare while playing, are
	// worked out again below.
	int iNearGroups = 0;
	if (Any(near))
		for (int k = 0; k < iCount4; k += 4)
		{
			const V4l inChunk = V4l{0, 1, 2, 3} + k < iCount2;
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
	V4d before = LoadD<V4d>(m_adDrivenF2[H - 2]);
	for (int a = H; a < H + iCount2; a += 2)
	{
		const int j0 = m_aiPiece[a], j1 = m_aiPiece[a + 1];
		const Piece& p0 = pPieces[j0];
		const Piece& p1 = pPieces[j1];
		const double s0 = m_adX[kDrivenInput][a], s1 = m_adX[kDrivenInput][a + 1];
		const double t0 = std::fabs(s0) - pdStarts[j0], t1 = std::fabs(s1) - pdStarts[j1];
		const V4d magnitude = PieceF2(V4d{p0.C2[0], p0.C2[1], p1.C2[0], p1.C2[1]},
		                              V4d{p0.C1[0], p0.C1[1], p1.C1[0], p1.C1[1]},
		                              V4d{p0.ph[0], p0.ph[1], p1.ph[0], p1.ph[1]},
		                              V4d{p0.m6[0], p0.m6[1], p1.m6[0], p1.m6[1]}, V4d{t0, t0, t1, t1});
		const V4d F2 = WithSignOf(V4d{s0, s0, s1, s1}, magnitude);
		StoreD(m_adDrivenF2[a], F2);
		const double* pdStep = m_adStep[kDrivenInput] + (a - H);
		const V4d step = {pdStep[0], pdStep[0], pdStep[1], pdStep[1]};
		StoreD(m_adDrivenMean[a], (F2 - __builtin_shufflevector(before, F2, 2, 3, 4, 5)) * step);
		before = F2;
	}
	for (int k = 0; k < iCount4; k += 4)
		StoreD(m_adClipF2 + H + k, ClipF2(LoadD<V4d>(m_adX[kClipInput] + H + k)));
	// The clipper's means likewise.
	for (int k = 0; k < iCount4; k += 4)
		StoreD(m_adClipMean + H + k, (LoadD<V4d>(m_adClipF2 + H + k) - LoadD<V4d>(m_adClipF2 + H + k - 1)) *
		                                 LoadD<V4d>(m_adStep[kClipInput] + k));
	FixMeans(iNearGroups, iCount2);

	// The curve under a triangle two samples wide centred on the sample
	// before: the difference of those means over the two steps, halved (turn
	// is half of 2 / d2), one lane per curve for the half-band pair.
	// Four samples at a time; what lies past the chunk is never read.
	for (int k = 0; k < iCount4; k += 4)
	{
		const V4f clip = __builtin_convertvector(
		    (LoadD<V4d>(m_adClipMean + H + k) - LoadD<V4d>(m_adClipMean + H + k - 1)) *
		        LoadD<V4d>(m_adTurn[kClipInput] + k),
		    V4f);
		for (int h = 0; h < 4; h += 2)
		{
			const double* pdTurn = m_adTurn[kDrivenInput] + k + h;
			const V4d turn = {pdTurn[0], pdTurn[0], pdTurn[1], pdTurn[1]};
			const V4f driven = __builtin_convertvector(
			    (LoadD<V4d>(m_adDrivenMean[H + k + h]) - LoadD<V4d>(m_adDrivenMean[H + k + h - 1])) * turn, V4f);
			// The clipper's two samples, each followed by the idle lane's 0.
			const V4f clipPair =
			    h == 0 ? __builtin_shufflevector(clip, V4f{}, 0, 4, 1, 4) : __builtin_shufflevector(clip, V4f{}, 2, 4, 3, 4);
			Store(m_afCurveOut[1 + k + h], __builtin_shufflevector(driven, clipPair, 0, 1, 4, 5));
			Store(m_afCurveOut[2 + k + h], __builtin_shufflevector(driven, clipPair, 2, 3, 6, 7));
		}
	}
	FixCurves(iNearGroups, iCount2);

	// The last samples are the next chunk's history.
	for (int a = 0; a < H; ++a)
	{
		const int b = a + iCount2;
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

template <int kSections>
__attribute__((always_inline)) inline void CMyDisto::Finish(const float* pfBetas, float* pfOut1, float* pfOut2, int iCount)
{
	// Back to the host rate: even samples through the even branch, the odd
	// sample before them through the odd branch; the sum is the host-rate
	// sample (the curves come in halved). Then the branches' lowpasses, the
	// mix, the window's loss put back.
	// Each step reads the odd sample and the even one after it, the odd one
	// (the chunk before's last, first) in the first half of the lanes.
	HalfBandLanes<V8f, kSections / 2, true> pair(pfBetas, m_down);
	Sections<V2d> lowPasses(m_lowPasses, 0);
	float fLast = m_fLastMix;
	for (int n = 0; n < iCount; ++n)
	{
		V8f x;
		std::memcpy(&x, m_afCurveOut[2 * n], sizeof x);
		const V8f y = pair.Run(x);
		alignas(16) float pf[4];
		Store(pf, V4f{y[4], y[5], y[6], y[7]} + V4f{y[0], y[1], y[2], y[3]});
		const V2d filtered = lowPasses.Run(V2d{pf[kClipCurve], pf[kShaperCurve]});
		const float P = static_cast<float>(filtered[0]), R = static_cast<float>(filtered[1]);
		const float fMix = -(kSoftWeight * pf[kSoftCurve] + kClipWeight * P + R) * kOutputTrim;
		float y0 = (1.0f + kWindowLossBoost) * fMix - kWindowLossBoost * fLast;
		fLast = fMix;
		y0 *= kOnGain;
		pfOut1[n] = y0;
		pfOut2[n] = y0;
	}
	std::memcpy(m_afCurveOut[0], m_afCurveOut[2 * iCount], sizeof m_afCurveOut[0]);
	pair.Save(m_down);
	m_fLastMix = fLast;
	lowPasses.Save(m_lowPasses, 0);
}

// Host rate, recursive: pre-emphasis, drive and the clipper's filters; then
// both signals into twice the rate. A settled drive costs no ramp.
template <bool bRamp>
__attribute__((always_inline)) inline void CMyDisto::DriveChunk(const float* pfIn, int iCount, float fDrive,
                                                                float fDriveStep)
{
	{
		Sections<V4d> peaks(m_peaks, 0);
		// Copies, so that their state stays in registers.
		Section highPass = m_aSections[kClipInputHighPass];
		Section presence = m_aSections[kClipPresence];
		HalfBandLanes<V4f, kUpSections / 2, false> up(kUpHalfBand, m_up);
		for (int n = 0; n < iCount; ++n)
		{
			float x = pfIn[n];
			if (!(std::fabs(x) <= kInputLimit))
				x = std::isnan(x) ? 0.0f : std::copysign(kInputLimit, x);
			const double dx = x;
			const V4d y = peaks.Run(V4d{dx, dx, dx, dx});
			const V4f yf = __builtin_convertvector(y, V4f);
			const float s = (yf[2] + yf[0] + yf[1] + x) * (bRamp ? fDrive + fDriveStep * static_cast<float>(n + 1) : fDrive);
			const float fClip = presence.Run(highPass.Run(s));
			// The even output sample from the even branch, the odd one from the odd.
			Store(m_afInput[2 * n], up.Run(V4f{s, fClip, s, fClip}));
		}
		peaks.Save(m_peaks, 0);
		m_aSections[kClipInputHighPass] = highPass;
		m_aSections[kClipPresence] = presence;
		up.Save(m_up);
	}
}

__attribute__((always_inline)) inline void CMyDisto::RunChunk(const float* pfIn, float* pfOut1, float* pfOut2,
                                                              int iCount, float fDrive, float fDriveStep)
{
	if (fDriveStep == 0.0f)
		DriveChunk<false>(pfIn, iCount, fDrive, fDriveStep);
	else
		DriveChunk<true>(pfIn, iCount, fDrive, fDriveStep);
	ApplyCurves(2 * iCount);
	if (m_bSteepDown)
		Finish<kSteepDownSections>(kSteepDownHalfBand, pfOut1, pfOut2, iCount);
	else
		Finish<kDownSections>(kDownHalfBand, pfOut1, pfOut2, iCount);
}

void CMyDisto::ProcessChunk(const float* pfIn, float* pfOut1, float* pfOut2, int iCount, float fDrive,
                            float fDriveStep)
{
	RunBestBuild([&](auto) BRONTAL_INLINE { RunChunk(pfIn, pfOut1, pfOut2, iCount, fDrive, fDriveStep); });
}

int CMyDisto::Process(const float* pfIn1, const float* pfIn2, float* pfOut1, float* pfOut2, int iCount)
{
	if (!m_afParams)
	{
		BRONTAL_ASSERT(false, "m_afParams", "MyDisto");
		return 0;
	}
	if (*m_pdSampleRate != m_dDesignedRate)
		DesignFilters();
	if (!IsSwitchOn(GetParam(kDistortionOnOff)))
	{
		m_driveGlide.Snap();
		CopyStereo(pfIn1, pfIn2, pfOut1, pfOut2, iCount);
		return 1;
	}

	m_driveGlide.Follow(GetParam(kDistortionLevel), *m_pdSampleRate);
	// The switch is written between blocks only, so it stays on for the whole
	// block and the 0.7 of the on path applies to every sample.
	for (int iRunStart = 0; iRunStart < iCount;)
	{
		// A gliding level ramps the drive, sample by sample, across the run.
		const CLevelGlide::Run run = m_driveGlide.Next(iCount - iRunStart);
		const float fDriveFrom = DriveGain(run.fFrom);
		const float fDriveStep = run.Moving() ? (DriveGain(run.fTo) - fDriveFrom) / static_cast<float>(run.iCount) : 0.0f;
		for (int iDone = iRunStart; iDone < iRunStart + run.iCount; iDone += kChunk)
		{
			const int n = std::min(kChunk, iRunStart + run.iCount - iDone);
			const float fDrive = fDriveStep == 0.0f ? fDriveFrom : fDriveFrom + fDriveStep * static_cast<float>(iDone - iRunStart);
			// Silence into a stage at rest stays silence and leaves it at rest;
			// tails decay into this after a second or so.
			const bool bSilent = std::all_of(pfIn1 + iDone, pfIn1 + iDone + n, [](float f) { return f == 0.0f; });
			if (bSilent && m_bAtRest)
			{
				std::fill(pfOut1 + iDone, pfOut1 + iDone + n, 0.0f);
				std::fill(pfOut2 + iDone, pfOut2 + iDone + n, 0.0f);
				continue;
			}
			ProcessChunk(pfIn1 + iDone, pfOut1 + iDone, pfOut2 + iDone, n, fDrive, fDriveStep);
			m_bAtRest = bSilent && AtRest();
		}
		iRunStart += run.iCount;
	}
	return 1;
}
