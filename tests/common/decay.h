#pragma once

#include <cmath>
#include <vector>

// Decay of v's content below about 300 Hz (four one-pole low-passes) from t0
// to t1 seconds, in dB per second: a least-squares line through the energy of
// 50 ms windows. Low frequencies only, because the loops' fractional reads
// interpolate and so also damp the highest frequencies a little every pass.
inline double DecayDbPerSecond(const std::vector<float>& v, double dRate, double t0, double t1)
{
	const double a = 1.0 - std::exp(-2.0 * M_PI * 300.0 / dRate);
	std::vector<double> low(v.begin(), v.end());
	for (int pole = 0; pole < 4; ++pole)
	{
		double y = 0.0;
		for (size_t i = 0; i < v.size(); ++i)
			low[i] = y += a * (low[i] - y);
	}

	const size_t nWindow = static_cast<size_t>(0.05 * dRate);
	double sx = 0, sy = 0, sxx = 0, sxy = 0;
	int n = 0;
	for (size_t start = static_cast<size_t>(t0 * dRate); start + nWindow <= static_cast<size_t>(t1 * dRate);
	     start += nWindow)
	{
		double dEnergy = 0.0;
		for (size_t i = start; i < start + nWindow; ++i)
			dEnergy += low[i] * low[i];
		const double x = (static_cast<double>(start) + nWindow / 2.0) / dRate;
		const double dDb = 10.0 * std::log10(dEnergy);
		sx += x, sy += dDb, sxx += x * x, sxy += x * dDb, ++n;
	}
	return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}
