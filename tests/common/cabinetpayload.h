#pragma once

// A player's cabinet response as the processor takes it, written from the
// documented layout (the 'cabi' chunk's payload, version 1): flags (1
// normalise, 2 trim), name and path (each a 32-bit length and its bytes),
// rate, channels, frames, then each channel's samples as 32-bit floats,
// all little-endian. The tests' own writer: the contract, not a copy of
// the plug-in's.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace cabinettest {

inline std::vector<char> Payload(uint32_t uRate, const std::vector<float>& left, const std::vector<float>& right,
                                 uint32_t uFlags = 3, const std::string& sName = "Greenback 4x12.wav",
                                 const std::string& sPath = "/nowhere/irs/Greenback 4x12.wav")
{
	std::vector<char> b;
	auto word = [&](uint32_t v) {
		for (int i = 0; i < 4; ++i)
			b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
	};
	auto text = [&](const std::string& s) {
		word(static_cast<uint32_t>(s.size()));
		b.insert(b.end(), s.begin(), s.end());
	};
	word(uFlags);
	text(sName);
	text(sPath);
	word(uRate);
	word(right.empty() ? 1 : 2);
	word(static_cast<uint32_t>(left.size()));
	for (const std::vector<float>* p : {&left, &right})
		for (float x : *p)
		{
			uint32_t u;
			std::memcpy(&u, &x, 4);
			word(u);
		}
	return b;
}

// Noise decaying by e every 2000 samples, the same for the same seed on
// every platform (a small linear congruential generator, not the library's).
inline std::vector<float> Decaying(size_t n, uint32_t uSeed)
{
	std::vector<float> v(n);
	uint32_t u = uSeed * 2654435761u + 1u;
	for (size_t i = 0; i < n; ++i)
	{
		u = u * 1664525u + 1013904223u;
		const float fNoise = static_cast<float>(u >> 8) / 8388608.0f - 1.0f;
		v[i] = fNoise * std::exp(-static_cast<float>(i) / 2000.0f);
	}
	return v;
}

} // namespace cabinettest
