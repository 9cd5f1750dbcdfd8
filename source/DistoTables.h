#pragma once

#include "simd.h"

#include <vector>

// The distortion's driven curves, the four table shapers' weighted sum and
// the soft clipper, as linear pieces in the sample's magnitude, and the
// level index that finds a sample's piece.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
namespace disto {

// The finest table has 200 entries per dB; the others fall on its entries
// (every 10th for shaper 1, every 4th for shapers 2 and 3), so one curve
// sampled at its spacing is their weighted sum.
constexpr int kLast = 24000;
// 200 entries per dB of 20·log10|s| = 200 · 20·log10(2) per octave.
constexpr float kEntriesPerOctave = 1204.1199826559248f;

// The pieces lie on every 8th entry of the finest table (0.04 dB): within
// 6e-6 of the tables' own interpolation (the coarser tables' corners fall
// between the pieces' ends) and within 1.5e-6 of the soft clipper. Piece 0
// runs from 0 to entry 0 (-120 dBFS), piece k from entry 8(k - 1), the last
// one on above 0 dBFS.
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

// Each half-wave's pieces, positive first, and their starts.
struct PieceTable
{
	std::vector<Piece> pieces;
	std::vector<double> starts;
};

// Built on the first call; the block calls it when it is created, never
// first while processing.
const PieceTable& Pieces();

// A piece's lane, or lanes of pieces side by side, t past the piece's
// start: the magnitude and its two antiderivatives. The table is built
// from these sums and every sample is evaluated by them.
template <typename T> struct PiecePolynomial
{
	T C2, C1, ph, m6;

	__attribute__((always_inline)) T F(T t) const { return 2.0 * ph + 6.0 * m6 * t; }
	__attribute__((always_inline)) T F1(T t) const { return C1 + t * (2.0 * ph + 3.0 * m6 * t); }
	__attribute__((always_inline)) T F2(T t) const { return C2 + t * (C1 + t * (ph + t * m6)); }
};

__attribute__((always_inline)) inline PiecePolynomial<double> LaneOf(const Piece& p, int iLane)
{
	return {p.C2[iLane], p.C1[iLane], p.ph[iLane], p.m6[iLane]};
}

// Base-2 logarithm of positive normal numbers: the exponent, and a
// degree-4 polynomial of the mantissa in [1, 2), within 2.1e-4 (a quarter
// of an entry of the finest table, a thirtieth of a piece).
__attribute__((always_inline)) inline simd::V4f FastLog2(simd::V4f x)
{
	using simd::BitCast;
	const simd::V4i bits = BitCast<simd::V4i>(x);
	const simd::V4i e = ((bits >> 23) & 0xff) - 127;
	const simd::V4f t = BitCast<simd::V4f>((bits & 0x7fffff) | 0x3f800000) - 1.0f;
	simd::V4f p = simd::V4f{} - 0.0791503658f;
	p = p * t + 0.312214266f;
	p = p * t - 0.66951521f;
	p = p * t + 1.43609808f;
	p = p * t + 0.000204158913f;
	return p + __builtin_convertvector(e, simd::V4f);
}

// Level index on the finest table, clamped to 0..kLast while still a float
// so NaN and out-of-range levels never reach an integer; |s| must not be 0.
__attribute__((always_inline)) inline simd::V4f LevelIndices(simd::V4f fAbs)
{
	using simd::Select;
	using simd::V4f;
	V4f fIndex = FastLog2(fAbs) * kEntriesPerOctave + static_cast<float>(kLast);
	fIndex = Select(fIndex > 0.0f, fIndex, V4f{} + 0.0f);
	return Select(fIndex > static_cast<float>(kLast), V4f{} + static_cast<float>(kLast), fIndex);
}

// Level index of a driven sample on the finest table (200 entries per dB,
// entry 0 at -120 dBFS), clamped to the table; 0 for 0 and NaN.
float LevelIndex(float fDriven);

} // namespace disto
#pragma GCC diagnostic pop
