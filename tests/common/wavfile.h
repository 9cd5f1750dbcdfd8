#pragma once

// A WAV file as a player brings one: 32-bit float samples (format tag 3),
// one or two channels interleaved, written from the RIFF layout by the
// tests themselves.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace wavtest {

inline void WriteWav(const std::filesystem::path& path, uint32_t uRate, const std::vector<float>& left,
                     const std::vector<float>& right = {})
{
	const uint32_t uChannels = right.empty() ? 1 : 2;
	std::vector<char> b;
	auto word = [&](uint32_t v, int iBytes) {
		for (int i = 0; i < iBytes; ++i)
			b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
	};
	auto tag = [&](const char* sz) { b.insert(b.end(), sz, sz + 4); };
	const auto uData = static_cast<uint32_t>(4 * uChannels * left.size());
	tag("RIFF");
	word(4 + 8 + 16 + 8 + uData, 4);
	tag("WAVE");
	tag("fmt ");
	word(16, 4);
	word(3, 2);
	word(uChannels, 2);
	word(uRate, 4);
	word(uRate * 4 * uChannels, 4);
	word(4 * uChannels, 2);
	word(32, 2);
	tag("data");
	word(uData, 4);
	for (size_t i = 0; i < left.size(); ++i)
		for (uint32_t c = 0; c < uChannels; ++c)
		{
			uint32_t u;
			std::memcpy(&u, c == 0 ? &left[i] : &right[i], 4);
			word(u, 4);
		}
	std::ofstream(path, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
}

} // namespace wavtest
