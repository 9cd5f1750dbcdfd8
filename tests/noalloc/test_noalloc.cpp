// Counts every heap allocation the process makes while the plug-in runs
// audio: the allocator is replaced for the whole test binary, module
// included, and counting is on only around process calls.

#include "bundlefixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <malloc.h>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void note()
{
	if (g_counting.load(std::memory_order_relaxed))
		g_allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void* malloc(size_t size)
{
	note();
	return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
	note();
	return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size)
{
	note();
	return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size)
{
	note();
	return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size)
{
	note();
	return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size)
{
	note();
	*result = __libc_memalign(alignment, size);
	return *result ? 0 : 12;
}
void free(void* pointer)
{
	__libc_free(pointer);
}
}

using namespace bundletest;
using namespace Steinberg::Vst;

TEST(NoAllocation, ProcessNeverTouchesTheHeap)
{
	// Prove that the counter sees allocations at all.
	g_counting = true;
	::operator delete(::operator new(100));
	g_counting = false;
	ASSERT_EQ(g_allocations.load(), 1);
	g_allocations = 0;

	auto instance = activeInstance(48000.0, 8192);
	Stereo in = sine(8192, 110.0, 48000.0, 0.9f);
	Stereo out(8192);
	float* ins[2] = {in.left.data(), in.right.data()};
	float* outs[2] = {out.left.data(), out.right.data()};
	const std::pair<ParamID, double> settings[] = {
	    {kDistortionLevel, 1.0}, {kStereoEnhancerOnOff, 1.0}, {kReverbLevel, 1.0}, {kDelayLevel, 1.0},
	    {kDistortionOnOff, 0.0}, {kDistortionOnOff, 0.5}, {kModulationOnOff, 0.0}, {kBypass, 0.0}};
	int block = 0;
	for (Steinberg::int32 n : {1, 64, 1023, 1024, 1025, 4096, 8192, 333, 0})
		for (const auto& [id, value] : settings)
		{
			instance->block().inputChanges().add(id, value);
			instance->block().setTempo(60.0 + block++);
			g_counting = true;
			const auto result = instance->process({ins, 2, outs, 2, n, block % 5 == 0 ? 3u : 0u});
			g_counting = false;
			ASSERT_EQ(result, Steinberg::kResultOk);
		}
	EXPECT_EQ(g_allocations.load(), 0);
}
