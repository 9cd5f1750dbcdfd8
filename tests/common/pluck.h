#pragma once

// A plucked string for the tuner's tests: a Karplus-Strong loop with a
// stiffness all-pass (its partials run sharp) and a pitch that starts high
// and settles, as a string's does after the attack. The fundamental it
// settles on is found from the loop's own phase, not from the figures it
// was built with.

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace pluck {

constexpr double kPi = 3.141592653589793;

struct String
{
	double dRate;
	// Whole and fractional delay of the line, read by linear interpolation.
	double dDelay;
	// Stiffness all-pass coefficient (negative: sharp partials).
	double dStiffness = -0.5;
	double dLoopGain = 0.996;
	// The attack: dDriftCents above the settled pitch, decaying over dDriftSeconds.
	double dDriftCents = 10.0;
	double dDriftSeconds = 0.015;
};

// The phase of one trip round the loop at w radians a sample.
inline double LoopPhase(const String& s, double w)
{
	const int iWhole = static_cast<int>(std::floor(s.dDelay));
	const double dFrac = s.dDelay - iWhole;
	const std::complex<double> z1 = std::polar(1.0, -w);
	const std::complex<double> h = std::pow(z1, iWhole) * ((1.0 - dFrac) + dFrac * z1) * (0.5 + 0.5 * z1) *
	                               (s.dStiffness + z1) / (1.0 + s.dStiffness * z1);
	return std::arg(h);
}

// The settled fundamental: where the loop's unwrapped phase reaches -2 pi,
// searched by bisection near the delay's own guess.
inline double FundamentalHz(const String& s)
{
	const double dGuess = 2.0 * kPi / (s.dDelay + 2.0);
	// Unwrapped phase of the loop, relative to the guess: continuous near it.
	const auto excess = [&](double w) {
		const double dPlain = -w * (s.dDelay + 2.0);
		return dPlain + std::remainder(LoopPhase(s, w) - dPlain, 2.0 * kPi) + 2.0 * kPi;
	};
	double lo = 0.8 * dGuess, hi = 1.25 * dGuess;
	for (int i = 0; i < 200; ++i)
	{
		const double mid = 0.5 * (lo + hi);
		(excess(mid) > 0.0 ? lo : hi) = mid;
	}
	return 0.5 * (lo + hi) * s.dRate / (2.0 * kPi);
}

// The line's delay that settles on dHz (first guess from the phase delays
// at dHz, then corrected by the solved fundamental twice).
inline String Tuned(double dHz, double dRate)
{
	String s{dRate, 0.0};
	const double w = 2.0 * kPi * dHz / dRate;
	const double a = s.dStiffness;
	// The all-pass's phase delay at w.
	const double dAllPass = -std::arg((a + std::polar(1.0, -w)) / (1.0 + a * std::polar(1.0, -w))) / w;
	s.dDelay = dRate / dHz - 0.5 - dAllPass;
	for (int k = 0; k < 3; ++k)
		s.dDelay *= FundamentalHz(s) / dHz;
	return s;
}

// iCount samples of the string plucked at sample 0 with peak near dAmplitude.
inline std::vector<float> Pluck(const String& s, size_t iCount, double dAmplitude, unsigned uSeed)
{
	const int iSettled = static_cast<int>(std::floor(s.dDelay));
	const size_t uCapacity = static_cast<size_t>(iSettled) * 2 + 8;
	std::vector<double> adLine(uCapacity, 0.0);
	std::mt19937 rng(uSeed);
	std::uniform_real_distribution<double> dist(-1.0, 1.0);
	std::vector<float> out(iCount);
	double dSmooth = 0.0, dPrev = 0.0, dApIn = 0.0, dApOut = 0.0;
	for (size_t n = 0; n < iCount; ++n)
	{
		const double t = static_cast<double>(n) / s.dRate;
		const double dCents = s.dDriftCents * std::exp(-t / s.dDriftSeconds);
		const double dDelay = s.dDelay * std::pow(2.0, -dCents / 1200.0);
		const int iWhole = static_cast<int>(std::floor(dDelay));
		const double dFrac = dDelay - iWhole;
		const auto at = [&](size_t k) { return adLine[(n + uCapacity - k) % uCapacity]; };
		const double dRead = (1.0 - dFrac) * at(static_cast<size_t>(iWhole)) + dFrac * at(static_cast<size_t>(iWhole) + 1);
		const double dLoss = s.dLoopGain * 0.5 * (dRead + dPrev);
		dPrev = dRead;
		const double dAp = s.dStiffness * dLoss + dApIn - s.dStiffness * dApOut;
		dApIn = dLoss;
		dApOut = dAp;
		double dExcite = 0.0;
		if (n < static_cast<size_t>(iSettled))
		{
			// A pick a fifth of the way along: the string's triangle shape for
			// one trip round the line, a little roughness, softened.
			const double x = static_cast<double>(n) / iSettled;
			const double dShape = x < 0.2 ? x / 0.2 : (1.0 - x) / 0.8;
			dSmooth = 0.7 * dSmooth + 0.3 * (dShape - 0.5 + 0.05 * dist(rng));
			dExcite = dAmplitude * dSmooth;
		}
		const double y = dAp + dExcite;
		adLine[n % uCapacity] = y;
		out[n] = static_cast<float>(y);
	}
	return out;
}

} // namespace pluck
