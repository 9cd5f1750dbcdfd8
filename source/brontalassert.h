#pragma once

// Internal invariants. A failed check reports its text and source name to
// the installed handler and execution carries on as the caller decides.
// The default handler does nothing, so a check never logs, allocates or
// blocks on the audio thread; tests install a handler to observe failures.
namespace brontal {

using AssertHandler = void (*)(const char* szText, const char* szSource);

void SetAssertHandler(AssertHandler pHandler);
void ReportAssert(const char* szText, const char* szSource);

} // namespace brontal

#define BRONTAL_ASSERT(cond, text, source)                                          \
	do {                                                                         \
		if (!(cond))                                                             \
			::brontal::ReportAssert(text, source);                               \
	} while (0)
