#include "brontalassert.h"

#include <atomic>

namespace brontal {
namespace {
std::atomic<AssertHandler> g_pHandler{nullptr};
}

void SetAssertHandler(AssertHandler pHandler)
{
	g_pHandler.store(pHandler, std::memory_order_release);
}

void ReportAssert(const char* szText, const char* szSource)
{
	if (AssertHandler pHandler = g_pHandler.load(std::memory_order_acquire))
		pHandler(szText, szSource);
}

} // namespace brontal
