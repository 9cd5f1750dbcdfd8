#pragma once

#include <atomic>
#include <type_traits>

// The hot loops of the chain have a second copy built for AVX2, chosen at
// run time. Both copies perform the same operations in the same order (no
// fused multiply-add is enabled), so they give the same samples.
#if defined(__x86_64__) || defined(__i386__)
#define BRONTAL_AVX2 __attribute__((target("avx2")))
#else
#define BRONTAL_AVX2
#endif

// Whether the AVX2 copies run: set when the module loads, from what the
// processor has.
extern std::atomic<bool> g_bUseAvx2;

inline bool HasAvx2()
{
	return g_bUseAvx2.load(std::memory_order_relaxed);
}

// Tests compare the two copies by turning the AVX2 ones off for a while;
// they are never turned on where the processor lacks AVX2.
void AllowAvx2(bool bAllow);

// The one dispatch: RunBestBuild(body) runs body compiled for AVX2 where it
// runs, else compiled for plain x86-64. body is a lambda marked
// BRONTAL_INLINE, so that each of the two functions below compiles a copy
// of its own; it is given std::true_type in the AVX2 copy and
// std::false_type in the plain one, for the few loops that differ.
#define BRONTAL_INLINE __attribute__((always_inline))

template <typename Body> BRONTAL_AVX2 auto RunBuiltForAvx2(const Body& body)
{
	return body(std::true_type{});
}

template <typename Body> auto RunBuiltPlain(const Body& body)
{
	return body(std::false_type{});
}

template <typename Body> inline auto RunBestBuild(const Body& body)
{
	return HasAvx2() ? RunBuiltForAvx2(body) : RunBuiltPlain(body);
}
