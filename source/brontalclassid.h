#pragma once

// The processor's class id, SDK-free: the LV2 build needs it to know the
// player's .vstpreset files (their header names the class as 32 hex digits).

#include <array>
#include <cstdint>

namespace brontal {

inline constexpr std::uint32_t kProcessorUidWords[4] = {0x22A5BA23, 0x96194566, 0xB73959C2, 0x4A0EBE80};

// The words as the SDK's FUID::toString writes them: big-endian, upper case.
constexpr std::array<char, 33> ClassIdText(const std::uint32_t (&auWords)[4])
{
	std::array<char, 33> text{};
	for (int i = 0; i < 32; ++i)
		text[static_cast<std::size_t>(i)] = "0123456789ABCDEF"[(auWords[i / 8] >> (28 - 4 * (i % 8))) & 0xF];
	return text;
}
inline constexpr std::array<char, 33> kProcessorClassId = ClassIdText(kProcessorUidWords);

} // namespace brontal
