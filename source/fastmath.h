#pragma once

#include "simd.h"

#include <cstdint>

// The base-10 logarithm and the base-2 power of four floats at a time,
// evaluated in double precision with nothing but additions, products and
// one division, then rounded once to float: within about 1e-13 of the exact
// value before that rounding, so almost every result is the correctly rounded
// one, and the same on every processor, compiler and C library (the per-sample
// paths call no libm function). Always inlined, so the AVX2 copies of the
// loops that use them get AVX2 code.
namespace fastmath {

using simd::BitCast;
using simd::CopyBits;
using simd::V4d;
using simd::V4f;
using simd::V4i;
using simd::V4l;
using simd::V4u;

// Four floats or integers as doubles. Written lane by lane: GCC turns this
// into one AVX conversion, __builtin_convertvector into two and a shuffle.
template <typename V> __attribute__((always_inline)) inline void Widen(V4d& d, const V& v)
{
	d = V4d{static_cast<double>(v[0]), static_cast<double>(v[1]), static_cast<double>(v[2]),
	        static_cast<double>(v[3])};
}

// log10(x) for positive normal x. x = 2^k m with m in [sqrt(1/2), sqrt(2)),
// ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.1716, as its series to
// s^15 (what is left is below 4e-14 of ln m).
__attribute__((always_inline)) inline V4f Log10(const V4f& x)
{
	constexpr uint32_t kSqrtHalfBits = 0x3f3504f3u;
	const V4u u = BitCast<V4u>(x);
	const V4i k = BitCast<V4i>(u - kSqrtHalfBits) >> 23;
	V4d m, e;
	Widen(m, BitCast<V4f>(u - (BitCast<V4u>(k) << 23)));
	Widen(e, k);
	const V4d s = (m - 1.0) / (m + 1.0);
	const V4d z = s * s, z2 = z * z;
	const V4d q = (1.0 + z * (1.0 / 3.0)) + z2 * ((1.0 / 5.0 + z * (1.0 / 7.0)) +
	                                             z2 * ((1.0 / 9.0 + z * (1.0 / 11.0)) + z2 * (1.0 / 13.0 + z * (1.0 / 15.0))));
	const V4d lnM = (s + s) * q;
	constexpr double kLog10Of2 = 0.30102999566398119521;
	constexpr double kLog10OfE = 0.43429448190325182765;
	return __builtin_convertvector(e * kLog10Of2 + lnM * kLog10OfE, V4f);
}

// 2^x for |x| up to 1000. x = n + f, n the nearest integer, 2^f = e^(f ln 2)
// as its series to degree 10 (what is left is below 3e-13 of it), times the
// double 2^n. Results beyond the float range come out as 0 or infinity.
__attribute__((always_inline)) inline V4f Exp2(const V4f& x)
{
	// Adding 1.5 * 2^52 rounds to an integer, which the low bits then hold.
	constexpr double kRound = 6755399441055744.0;
	V4d d;
	Widen(d, x);
	const V4d t = d + kRound;
	const V4d f = d - (t - kRound);
	constexpr double c1 = 0.69314718055994530942;
	constexpr double c2 = c1 * c1 / 2.0, c3 = c2 * c1 / 3.0, c4 = c3 * c1 / 4.0, c5 = c4 * c1 / 5.0;
	constexpr double c6 = c5 * c1 / 6.0, c7 = c6 * c1 / 7.0, c8 = c7 * c1 / 8.0, c9 = c8 * c1 / 9.0;
	constexpr double c10 = c9 * c1 / 10.0;
	// Pairs of terms side by side, so the products need not wait for each other.
	const V4d f2 = f * f, f4 = f2 * f2;
	const V4d p = ((1.0 + f * c1) + f2 * (c2 + f * c3)) +
	              f4 * (((c4 + f * c5) + f2 * (c6 + f * c7)) + f4 * ((c8 + f * c9) + f2 * c10));
	// t's bits less kRound's are n; n + 1023 in the exponent field is 2^n.
	V4l n;
	CopyBits(n, t);
	constexpr int64_t kRoundBits = 0x4338000000000000;
	V4d scale;
	CopyBits(scale, (n - kRoundBits + 1023) << 52);
	return __builtin_convertvector(p * scale, V4f);
}

} // namespace fastmath
