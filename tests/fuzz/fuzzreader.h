#pragma once

// Reads a fuzz input front to back in fixed-size little-endian fields; past
// the end every field reads as zero. tools/gen_fuzz_seeds.py writes seeds in
// the same layout.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brontal::fuzz {

class FuzzReader
{
public:
	FuzzReader(const std::uint8_t* pData, std::size_t nSize) : m_pData(pData), m_nSize(nSize) {}

	bool empty() const { return m_nPos >= m_nSize; }
	std::size_t remaining() const { return empty() ? 0 : m_nSize - m_nPos; }

	std::uint8_t u8() { return static_cast<std::uint8_t>(uint(1)); }
	std::uint16_t u16() { return static_cast<std::uint16_t>(uint(2)); }
	std::uint32_t u32() { return static_cast<std::uint32_t>(uint(4)); }
	float f32()
	{
		const std::uint32_t uBits = u32();
		float f;
		std::memcpy(&f, &uBits, sizeof f);
		return f;
	}
	double f64()
	{
		const std::uint64_t uBits = uint(8);
		double d;
		std::memcpy(&d, &uBits, sizeof d);
		return d;
	}
	// Up to nCount bytes as they are; fewer at the end of the input.
	std::size_t bytes(std::uint8_t* pOut, std::size_t nCount)
	{
		const std::size_t n = nCount < remaining() ? nCount : remaining();
		if (n > 0)
			std::memcpy(pOut, m_pData + m_nPos, n);
		m_nPos += n;
		return n;
	}

private:
	std::uint64_t uint(int iBytes)
	{
		std::uint64_t u = 0;
		for (int i = 0; i < iBytes; ++i, ++m_nPos)
			if (m_nPos < m_nSize)
				u |= static_cast<std::uint64_t>(m_pData[m_nPos]) << (8 * i);
		return u;
	}

	const std::uint8_t* m_pData;
	std::size_t m_nSize;
	std::size_t m_nPos = 0;
};

// Stops the fuzzer with a message when an invariant does not hold: libFuzzer
// keeps the input that did it.
[[noreturn]] void fail(const char* szWhat, ...);
#define FUZZ_CHECK(cond, ...)                                       \
	do {                                                            \
		if (!(cond))                                                \
			::brontal::fuzz::fail(__VA_ARGS__);                     \
	} while (0)

} // namespace brontal::fuzz
