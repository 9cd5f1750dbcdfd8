#pragma once

#include <atomic>

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
