#include "fuzzreader.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace brontal::fuzz {

void fail(const char* szWhat, ...)
{
	std::va_list args;
	va_start(args, szWhat);
	std::fputs("invariant broken: ", stderr);
	std::vfprintf(stderr, szWhat, args);
	std::fputc('\n', stderr);
	va_end(args);
	std::abort();
}

} // namespace brontal::fuzz
