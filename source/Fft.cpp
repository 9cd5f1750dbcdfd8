#include "Fft.h"

#include "cpufeatures.h"

#include <cmath>

namespace {
constexpr double kPi = 3.141592653589793;

typedef float Vec4 __attribute__((vector_size(16)));
typedef float Vec8 __attribute__((vector_size(32)));

// Unaligned loads and stores; the vectors pass by reference, so the plain
// build's calling convention never meets the AVX2 copy's wide vectors.
template <typename V> __attribute__((always_inline)) inline void Load(V& v, const float* pf)
{
	__builtin_memcpy(&v, pf, sizeof v);
}

template <typename V> __attribute__((always_inline)) inline void Store(float* pf, const V& v)
{
	__builtin_memcpy(pf, &v, sizeof v);
}

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
			V ar, ai, br, bi, c, s;
			Load(ar, pfAr);
			Load(ai, pfAi);
			Load(br, pfAr + iSpan);
			Load(bi, pfAi + iSpan);
			Load(c, pfCos + j);
			Load(s, pfSin + j);
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
			V ar, ai, br, bi, c, s;
			Load(ar, pfAr);
			Load(ai, pfAi);
			Load(br, pfAr + iSpan);
			Load(bi, pfAi + iSpan);
			Load(c, pfCos + j);
			Load(s, pfSin + j);
			const V tr = br * c + bi * s, ti = bi * c - br * s;
			Store(pfAr, ar + tr);
			Store(pfAi, ai + ti);
			Store(pfAr + iSpan, ar - tr);
			Store(pfAi + iSpan, ai - ti);
		}
}

// Four rows of four become four columns.
inline void Transpose(Vec4& a, Vec4& b, Vec4& c, Vec4& d)
{
	const Vec4 t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
	const Vec4 t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
	const Vec4 t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
	const Vec4 t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
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
				ForwardStage<Vec8>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
			else
				ForwardStage<Vec4>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
		}
		else
			ForwardStage<Vec4>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
		pfCos += iSpan;
		pfSin += iSpan;
	}
	for (int g = 0; g < n; g += 16)
	{
		Vec4 r0, r1, r2, r3, i0, i1, i2, i3;
		Load(r0, pfRe + g);
		Load(r1, pfRe + g + 4);
		Load(r2, pfRe + g + 8);
		Load(r3, pfRe + g + 12);
		Load(i0, pfIm + g);
		Load(i1, pfIm + g + 4);
		Load(i2, pfIm + g + 8);
		Load(i3, pfIm + g + 12);
		Transpose(r0, r1, r2, r3);
		Transpose(i0, i1, i2, i3);
		const Vec4 sr0 = r0 + r2, si0 = i0 + i2, dr0 = r0 - r2, di0 = i0 - i2;
		const Vec4 sr1 = r1 + r3, si1 = i1 + i3;
		// (1 - 3) times -i.
		const Vec4 dr1 = i1 - i3, di1 = r3 - r1;
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
		Vec4 or0, oi0, or1, oi1, or2, oi2, or3, oi3;
		Load(or0, pfRe + g);
		Load(oi0, pfIm + g);
		Load(or1, pfRe + g + 4);
		Load(oi1, pfIm + g + 4);
		Load(or2, pfRe + g + 8);
		Load(oi2, pfIm + g + 8);
		Load(or3, pfRe + g + 12);
		Load(oi3, pfIm + g + 12);
		const Vec4 sr0 = or0 + or1, si0 = oi0 + oi1, sr1 = or0 - or1, si1 = oi0 - oi1;
		const Vec4 dr0 = or2 + or3, di0 = oi2 + oi3, dr1 = or2 - or3, di1 = oi2 - oi3;
		// (1, 3) took -i forward: conj is +i.
		Vec4 r0 = sr0 + dr0, i0 = si0 + di0, r2 = sr0 - dr0, i2 = si0 - di0;
		Vec4 r1 = sr1 - di1, i1 = si1 + dr1, r3 = sr1 + di1, i3 = si1 - dr1;
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
				InverseStage<Vec8>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
			else
				InverseStage<Vec4>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
		}
		else
			InverseStage<Vec4>(pfRe, pfIm, n, iSpan, pfCos, pfSin);
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
