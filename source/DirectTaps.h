#pragma once

#include "simd.h"

#include <cmath>

// A cabinet's input: finite samples as they are up to a bound far above any
// real signal, which keeps every product and sum finite; louder ones at the
// bound, NaN 0.
constexpr float kConvolutionInputLimit = 1.0e6f;
inline float ConvolutionInput(float x)
{
	if (std::fabs(x) <= kConvolutionInputLimit)
		return x;
	return std::isnan(x) ? 0.0f : std::copysign(kConvolutionInputLimit, x);
}

// Direct-form taps for the two cabinets: iTaps taps for kVectors vectors of
// outputs from pNow on, side by side so that enough sums are under way; each
// output the products of a tap and a sample summed tap by tap, in T (the
// built-in cabinet in double, whose products are exact; the player's in
// float, twice as many a vector). Reads back to pNow - iTaps + 1.
template <typename V, int kVectors, typename T>
__attribute__((always_inline)) inline void DirectTaps(const T* pTaps, int iTaps, const T* pNow, T* pSum)
{
	constexpr int W = sizeof(V) / sizeof(T);
	V avSum[kVectors];
	for (int v = 0; v < kVectors; ++v)
		avSum[v] = V{};
	for (int k = 0; k < iTaps; ++k)
	{
		const V vTap = V{} + pTaps[k];
		for (int v = 0; v < kVectors; ++v)
		{
			V vX;
			__builtin_memcpy(&vX, pNow + W * v - k, sizeof vX);
			avSum[v] += vTap * vX;
		}
	}
	for (int v = 0; v < kVectors; ++v)
		__builtin_memcpy(pSum + W * v, &avSum[v], sizeof avSum[v]);
}

// The same for n outputs: kWide vectors at a time, then one, then one by one.
template <typename V, int kWide, typename T>
__attribute__((always_inline)) inline void DirectTapsRun(const T* pTaps, int iTaps, const T* pNow, T* pSum, int n)
{
	constexpr int W = sizeof(V) / sizeof(T);
	int i = 0;
	for (; i + kWide * W <= n; i += kWide * W)
		DirectTaps<V, kWide>(pTaps, iTaps, pNow + i, pSum + i);
	for (; i + W <= n; i += W)
		DirectTaps<V, 1>(pTaps, iTaps, pNow + i, pSum + i);
	for (; i < n; ++i)
	{
		T sum = 0;
		for (int k = 0; k < iTaps; ++k)
			sum += pTaps[k] * pNow[i - k];
		pSum[i] = sum;
	}
}
