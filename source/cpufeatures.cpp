#include "cpufeatures.h"

#include <atomic>

namespace {
std::atomic<bool> g_bAllowed{true};

bool ProcessorHasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
	__builtin_cpu_init();
	return __builtin_cpu_supports("avx2") != 0;
#else
	return false;
#endif
}
} // namespace

bool HasAvx2()
{
	static const bool bHas = ProcessorHasAvx2();
	return bHas && g_bAllowed.load(std::memory_order_relaxed);
}

void AllowAvx2(bool bAllow)
{
	g_bAllowed.store(bAllow, std::memory_order_relaxed);
}
