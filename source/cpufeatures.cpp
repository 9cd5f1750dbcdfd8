#include "cpufeatures.h"

namespace {
bool ProcessorHasAvx2()
{
#if defined(__x86_64__) || defined(__i386__)
	__builtin_cpu_init();
	return __builtin_cpu_supports("avx2") != 0;
#else
	return false;
#endif
}

const bool g_bProcessorHasAvx2 = ProcessorHasAvx2();
} // namespace

std::atomic<bool> g_bUseAvx2{g_bProcessorHasAvx2};

void AllowAvx2(bool bAllow)
{
	g_bUseAvx2.store(bAllow && g_bProcessorHasAvx2, std::memory_order_relaxed);
}
