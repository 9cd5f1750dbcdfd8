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

// Direct-form taps for the two cabinets: iTaps taps for 4 * kVectors
// outputs from pdNow on, four per vector, kVectors vectors side by side so
// that enough sums are under way; each output the products of a tap and a
// sample (exact in double) summed tap by tap. Reads back to pdNow - iTaps + 1.
template <int kVectors>
__attribute__((always_inline)) inline void DirectTaps(const double* pdTaps, int iTaps, const double* pdNow, double* pdSum)
{
	using simd::V4d;
	V4d avSum[kVectors];
	for (int v = 0; v < kVectors; ++v)
		avSum[v] = V4d{};
	for (int k = 0; k < iTaps; ++k)
	{
		const V4d vTap = V4d{} + pdTaps[k];
		for (int v = 0; v < kVectors; ++v)
		{
			V4d vX;
			__builtin_memcpy(&vX, pdNow + 4 * v - k, sizeof vX);
			avSum[v] += vTap * vX;
		}
	}
	for (int v = 0; v < kVectors; ++v)
		__builtin_memcpy(pdSum + 4 * v, &avSum[v], sizeof avSum[v]);
}

// The same for n outputs: 32 at a time, then 4, then one by one.
__attribute__((always_inline)) inline void DirectTapsRun(const double* pdTaps, int iTaps, const double* pdNow, double* pdSum, int n)
{
	int i = 0;
	for (; i + 32 <= n; i += 32)
		DirectTaps<8>(pdTaps, iTaps, pdNow + i, pdSum + i);
	for (; i + 4 <= n; i += 4)
		DirectTaps<1>(pdTaps, iTaps, pdNow + i, pdSum + i);
	for (; i < n; ++i)
	{
		double dSum = 0.0;
		for (int k = 0; k < iTaps; ++k)
			dSum += pdTaps[k] * pdNow[i - k];
		pdSum[i] = dSum;
	}
}
