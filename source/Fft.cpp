#include "Fft.h"

#include "cpufeatures.h"
#include "simd.h"

#include <cmath>

// The loads give the AVX2 copy's wide vectors by value, always inlined.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {
constexpr double kPi = 3.141592653589793;

using simd::Load;
using simd::Store;
using simd::V4f;
using simd::V8f;

// One stage of butterflies of the given span, as many side by side as V
// holds (the span a multiple of that): forward a' = a + b, b' = (a - b) w;
// inverse a = a' + b' conj w, b = a' - b' conj w.
template <typename V>
__attribute__((always_inline)) inline void ForwardStage(float* pfRe, float* pfIm, int n, int iSpan, const float* pfCos,
                                                        const float* pfSin)
{
	constexpr int W = sizeof(V) / sizeof(float);
	for (int g = 0; g < n; g += 2 * iSpan)
		for (int j = 0; j < iSpan; j += W)
		{
			float* pfAr = pfRe + g + j;
			float* pfAi = pfIm + g + j;
			const V ar = Load<V>(pfAr), ai = Load<V>(pfAi);
			const V br = Load<V>(pfAr + iSpan), bi = Load<V>(pfAi + iSpan);
			const V c = Load<V>(pfCos + j), s = Load<V>(pfSin + j);
			const V dr = ar - br, di = ai - bi;
			Store(pfAr, ar + br);
			Store(pfAi, ai + bi);
			Store(pfAr + iSpan, dr * c - di * s);
			Store(pfAi + iSpan, dr * s + di * c);
		}
}

template <typename V>
__attribute__((always_inline)) inline void InverseStage(float* pfRe, float* pfIm, int n, int iSpan, const float* pfCos,
                                                        const float* pfSin)
{
	constexpr int W = sizeof(V) / sizeof(float);
	for (int g = 0; g < n; g += 2 * iSpan)
		for (int j = 0; j < iSpan; j += W)
		{
			float* pfAr = pfRe + g + j;
			float* pfAi = pfIm + g + j;
			const V ar = Load<V>(pfAr), ai = Load<V>(pfAi);
			const V br = Load<V>(pfAr + iSpan), bi = Load<V>(pfAi + iSpan);
			const V c = Load<V>(pfCos + j), s = Load<V>(pfSin + j);
			const V tr = br * c + bi * s, ti = bi * c - br * s;
			Store(pfAr, ar + tr);
			Store(pfAi, ai + ti);
			Store(pfAr + iSpan, ar - tr);
			Store(pfAi + iSpan, ai - ti);
		}
}

// Four rows of four become four columns.
inline void Transpose(V4f& a, V4f& b, V4f& c, V4f& d)
{
	const V4f t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
	const V4f t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
	const V4f t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
	const V4f t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
	a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
	b = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
	c = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
	d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}
} // namespace

CFft::CFft(int iSize) : m_iSize(iSize)
{
	const int n = iSize;
	for (int iSpan = n / 2; iSpan >= 1; iSpan /= 2)
		for (int j = 0; j < iSpan; ++j)
		{
			const double dAngle = kPi * j / iSpan;
			m_afCos.push_back(static_cast<float>(std::cos(dAngle)));
			m_afSin.push_back(static_cast<float>(-std::sin(dAngle)));
		}
	// In place, decimation in frequency leaves bin k at the bit reversal of
	// k; the last two stages then store element e of group g (of four) at
	// 16 (g / 4) + 4 e + g % 4.
	int iBits = 0;
	while ((1 << iBits) < n)
		++iBits;
	m_aiPosition.resize(static_cast<size_t>(n));
	for (int q = 0; q < n; ++q)
	{
		int k = 0;
		for (int b = 0; b < iBits; ++b)
			k |= ((q >> b) & 1) << (iBits - 1 - b);
		const int g = q / 4, e = q % 4;
		m_aiPosition[static_cast<size_t>(k)] = 16 * (g / 4) + 4 * e + g % 4;
	}
}

template <bool bWide> __attribute__((always_inline)) inline void CFft::ForwardIn(float* pfRe, float* pfIm) const
{
	// Decimation in frequency, four butterflies at a time while the spans
	// are four or more. The last two stages (spans 2 and 1, whose twiddles
	// are -i and 1) run on four groups of four at once, transposed, and
	// leave their results so.
	const int n = m_iSize;
	const float* pfCos = m_afCos.data();
	const float* pfSin = m_afSin.data();
	for (int iSpan = n / 2; iSpan >= 4; iSpan /= 2)
	{
		if constexpr (bWide)
		{
			if (iSpan >= 8)
				ForwardStage<V8f>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
			else
				ForwardStage<V4f>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
		}
		else
			ForwardStage<V4f>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
		pfCos += iSpan;
		pfSin += iSpan;
	}
	for (int g = 0; g < n; g += 16)
	{
		V4f r0 = Load<V4f>(pfRe + g), r1 = Load<V4f>(pfRe + g + 4);
		V4f r2 = Load<V4f>(pfRe + g + 8), r3 = Load<V4f>(pfRe + g + 12);
		V4f i0 = Load<V4f>(pfIm + g), i1 = Load<V4f>(pfIm + g + 4);
		V4f i2 = Load<V4f>(pfIm + g + 8), i3 = Load<V4f>(pfIm + g + 12);
		Transpose(r0, r1, r2, r3);
		Transpose(i0, i1, i2, i3);
		const V4f sr0 = r0 + r2, si0 = i0 + i2, dr0 = r0 - r2, di0 = i0 - i2;
		const V4f sr1 = r1 + r3, si1 = i1 + i3;
		// (1 - 3) times -i.
		const V4f dr1 = i1 - i3, di1 = r3 - r1;
		Store(pfRe + g, sr0 + sr1);
		Store(pfIm + g, si0 + si1);
		Store(pfRe + g + 4, sr0 - sr1);
		Store(pfIm + g + 4, si0 - si1);
		Store(pfRe + g + 8, dr0 + dr1);
		Store(pfIm + g + 8, di0 + di1);
		Store(pfRe + g + 12, dr0 - dr1);
		Store(pfIm + g + 12, di0 - di1);
	}
}

template <bool bWide> __attribute__((always_inline)) inline void CFft::InverseIn(float* pfRe, float* pfIm) const
{
	// Forward's butterflies undone in the opposite order, each with the
	// conjugate twiddle and without halving: a = a' + b' conj w, b = a' - b' conj w.
	const int n = m_iSize;
	for (int g = 0; g < n; g += 16)
	{
		const V4f or0 = Load<V4f>(pfRe + g), oi0 = Load<V4f>(pfIm + g);
		const V4f or1 = Load<V4f>(pfRe + g + 4), oi1 = Load<V4f>(pfIm + g + 4);
		const V4f or2 = Load<V4f>(pfRe + g + 8), oi2 = Load<V4f>(pfIm + g + 8);
		const V4f or3 = Load<V4f>(pfRe + g + 12), oi3 = Load<V4f>(pfIm + g + 12);
		const V4f sr0 = or0 + or1, si0 = oi0 + oi1, sr1 = or0 - or1, si1 = oi0 - oi1;
		const V4f dr0 = or2 + or3, di0 = oi2 + oi3, dr1 = or2 - or3, di1 = oi2 - oi3;
		// (1, 3) took -i forward: conj is +i.
		V4f r0 = sr0 + dr0, i0 = si0 + di0, r2 = sr0 - dr0, i2 = si0 - di0;
		V4f r1 = sr1 - di1, i1 = si1 + dr1, r3 = sr1 + di1, i3 = si1 - dr1;
		Transpose(r0, r1, r2, r3);
		Transpose(i0, i1, i2, i3);
		Store(pfRe + g, r0);
		Store(pfRe + g + 4, r1);
		Store(pfRe + g + 8, r2);
		Store(pfRe + g + 12, r3);
		Store(pfIm + g, i0);
		Store(pfIm + g + 4, i1);
		Store(pfIm + g + 8, i2);
		Store(pfIm + g + 12, i3);
	}
	const float* pfCos = m_afCos.data() + (n - 4);
	const float* pfSin = m_afSin.data() + (n - 4);
	for (int iSpan = 4; iSpan <= n / 2; iSpan *= 2)
	{
		pfCos -= iSpan;
		pfSin -= iSpan;
		if constexpr (bWide)
		{
			if (iSpan >= 8)
				InverseStage<V8f>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
			else
				InverseStage<V4f>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
		}
		else
			InverseStage<V4f>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
	}
}

void CFft::Forward(float* pfRe, float* pfIm) const
{
	RunBestBuild([&](auto avx2) BRONTAL_INLINE { ForwardIn<decltype(avx2)::value>(pfRe, pfIm); });
}

void CFft::Inverse(float* pfRe, float* pfIm) const
{
	RunBestBuild([&](auto avx2) BRONTAL_INLINE { InverseIn<decltype(avx2)::value>(pfRe, pfIm); });
}
