#pragma once

#include "simd.h"

#include <cstring>

// Half-band all-pass pairs (tools/gen_halfband.py) for the distortion's way
// into twice the rate and out of it; the even-numbered sections form one
// branch, the odd-numbered the other. Into twice the rate: pass band to 0.4
// of the host rate, 70 dB of rejection from 0.6 of it, which keeps the
// images of anything below 0.4 out of the curves. Out of it: pass band to
// 0.44, 57 dB from 0.56: what the curves make just above the host's Nyquist
// frequency folds back just below it, where the cabinet removes it at rates
// up to 48 kHz. Above, the cabinet passes that octave; there the pass band
// reaches 0.48 and 81 dB hold from 0.52.
inline constexpr float kUpHalfBand[] = {0.0798664242f, 0.283829331f, 0.54532367f, 0.834411919f};
inline constexpr float kDownHalfBand[] = {0.109106041f, 0.361632586f, 0.633477211f, 0.877443433f};
inline constexpr float kSteepDownHalfBand[] = {0.0575171858f, 0.205933034f, 0.392204434f, 0.569338799f,
                                               0.713911414f,  0.82295835f,  0.904270172f, 0.969458163f};
// Rates above this take the steep pair.
constexpr double kSteepDownRate = 50000.0;

// The state of a pair whose two branches run side by side in kLanes lanes:
// per pair of sections (one of each branch) the last output of each lane,
// and the last input of the first pair (a later pair's last input is the
// last output of the one before it).
template <int kPairs, int kLanes>
struct HalfBandState
{
	alignas(32) float afInput[kLanes];
	alignas(32) float afOutput[kPairs][kLanes];
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// A pair held in registers while a chunk runs through it: each branch a
// chain of first-order all-pass sections (β + z^-1) / (1 + β·z^-1), the
// even-numbered sections one branch, the odd-numbered the other. The two
// branches run side by side, each in half of V's lanes (the odd one in the
// first half where bOddFirst), one section of each per step.
template <typename V, int kPairs, bool bOddFirst>
struct HalfBandLanes
{
	static constexpr int kLanes = sizeof(V) / sizeof(float);
	V beta[kPairs];
	V input;
	V output[kPairs];

	// The state may hold more pairs than these lanes use.
	template <typename State>
	__attribute__((always_inline)) HalfBandLanes(const float* pfBetas, const State& state)
	{
		for (int i = 0; i < kPairs; ++i)
			for (int j = 0; j < kLanes; ++j)
				beta[i][j] = pfBetas[2 * i + ((j < kLanes / 2) == bOddFirst ? 1 : 0)];
		std::memcpy(&input, state.afInput, sizeof input);
		std::memcpy(output, state.afOutput, sizeof output);
	}

	template <typename State> __attribute__((always_inline)) void Save(State& state) const
	{
		const V in = Flushed(input);
		std::memcpy(state.afInput, &in, sizeof in);
		for (int i = 0; i < kPairs; ++i)
		{
			const V out = Flushed(output[i]);
			std::memcpy(state.afOutput[i], &out, sizeof out);
		}
	}

	// Once the input has stopped, the sections would otherwise circle at
	// the smallest denormals forever where the host does not flush them.
	__attribute__((always_inline)) static V Flushed(V v)
	{
		auto small = (v < 1e-30f) & (v > -1e-30f);
		return simd::BitCast<V>(simd::BitCast<decltype(small)>(v) & ~small);
	}

	__attribute__((always_inline)) V Run(V x)
	{
		V xBefore = input;
		input = x;
		for (int i = 0; i < kPairs; ++i)
		{
			const V y = beta[i] * (x - output[i]) + xBefore;
			xBefore = output[i];
			output[i] = y;
			x = y;
		}
		return x;
	}
};
#pragma GCC diagnostic pop

