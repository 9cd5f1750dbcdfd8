#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

constexpr double kTestPi = 3.141592653589793;

inline std::vector<float> MakeTone(size_t n, double dFreq, double dRate, double dAmplitude)
{
	std::vector<float> v(n);
	for (size_t i = 0; i < n; ++i)
		v[i] = static_cast<float>(dAmplitude * std::sin(2.0 * kTestPi * dFreq * static_cast<double>(i) / dRate));
	return v;
}

// Amplitude of the dFreq component of v[start, start + n), by correlation
// with a sine and a cosine; n must span a whole number of periods.
inline double ToneAmplitude(const std::vector<float>& v, size_t start, size_t n, double dFreq, double dRate)
{
	double dSin = 0.0, dCos = 0.0;
	for (size_t i = start; i < start + n; ++i)
	{
		const double dPhase = 2.0 * kTestPi * dFreq * static_cast<double>(i) / dRate;
		dSin += v[i] * std::sin(dPhase);
		dCos += v[i] * std::cos(dPhase);
	}
	return 2.0 * std::hypot(dSin, dCos) / static_cast<double>(n);
}

inline double ToDb(double dRatio)
{
	return 20.0 * std::log10(dRatio);
}
