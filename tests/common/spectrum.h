#pragma once

// A periodic tone's output split into its harmonics and everything else,
// from one windowed FFT.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

// In-place radix-2 FFT; the size must be a power of two.
inline void Fft(std::vector<std::complex<double>>& a)
{
	const size_t n = a.size();
	for (size_t i = 1, j = 0; i < n; ++i)
	{
		size_t bit = n >> 1;
		for (; j & bit; bit >>= 1)
			j ^= bit;
		j ^= bit;
		if (i < j)
			std::swap(a[i], a[j]);
	}
	// Each twiddle from its own angle: no drift along long transforms.
	std::vector<std::complex<double>> twiddles(n / 2);
	for (size_t k = 0; k < n / 2; ++k)
		twiddles[k] = std::polar(1.0, -2.0 * 3.141592653589793 * static_cast<double>(k) / static_cast<double>(n));
	for (size_t len = 2; len <= n; len <<= 1)
	{
		const size_t stride = n / len;
		for (size_t i = 0; i < n; i += len)
			for (size_t k = 0; k < len / 2; ++k)
			{
				const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * twiddles[k * stride];
				a[i + k] = u + v;
				a[i + k + len / 2] = u - v;
			}
	}
}

// Power per bin (0 .. n/2) of v[start, start + n) under a 7-term
// Blackman-Harris window: side lobes below -180 dB, main lobe 7 bins either
// side, so a strong harmonic leaks nothing into the measured floor. Scaled so
// that a sine of amplitude A sums to A² over its main lobe.
inline std::vector<double> PowerSpectrum(const std::vector<float>& v, size_t start, size_t n)
{
	static const double kTerms[] = {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
	                                0.01081174209837, 0.00077658482522, 0.00001388721735};
	std::vector<std::complex<double>> a(n);
	double dWindowEnergy = 0.0;
	for (size_t i = 0; i < n; ++i)
	{
		const double dPhase = 2.0 * 3.141592653589793 * static_cast<double>(i) / static_cast<double>(n);
		double w = 0.0;
		for (int k = 0; k < 7; ++k)
			w += (k % 2 ? -1.0 : 1.0) * kTerms[k] * std::cos(k * dPhase);
		a[i] = w * v[start + i];
		dWindowEnergy += w * w;
	}
	Fft(a);
	const double dScale = 4.0 / (static_cast<double>(n) * dWindowEnergy);
	std::vector<double> power(n / 2 + 1);
	for (size_t i = 0; i <= n / 2; ++i)
		power[i] = dScale * std::norm(a[i]);
	return power;
}

struct HarmonicSplit
{
	// Power of harmonic k (0 = DC) summed over its band, for every harmonic
	// below Nyquist.
	std::vector<double> adHarmonic;
	double dHarmonic = 0.0;
	double dRest = 0.0;
	// Everything that is not a harmonic over the harmonics, in dB.
	double RestDb() const { return 10.0 * std::log10(std::max(dRest, 1e-300) / std::max(dHarmonic, 1e-300)); }
	// Peak amplitude of harmonic k in dBFS.
	double HarmonicDb(size_t k) const { return 10.0 * std::log10(std::max(adHarmonic[k], 1e-300)); }
};

// Bins within iBand of a multiple of dFreq count as that harmonic.
inline HarmonicSplit SplitHarmonics(const std::vector<double>& power, double dFreq, double dRate, int iBand = 10)
{
	const size_t nBins = power.size();
	const double dBinsPerHarmonic = dFreq * 2.0 * static_cast<double>(nBins - 1) / dRate;
	HarmonicSplit split;
	split.adHarmonic.assign(static_cast<size_t>(0.5 * dRate / dFreq) + 1, 0.0);
	for (size_t i = 0; i < nBins; ++i)
	{
		const double dHarmonic = std::round(static_cast<double>(i) / dBinsPerHarmonic);
		const bool bNear = std::fabs(static_cast<double>(i) - dHarmonic * dBinsPerHarmonic) <= iBand;
		const size_t k = static_cast<size_t>(dHarmonic);
		if (bNear && k < split.adHarmonic.size())
		{
			split.adHarmonic[k] += power[i];
			split.dHarmonic += power[i];
		}
		else
			split.dRest += power[i];
	}
	return split;
}
