#pragma once

#include "brontalassert.h"

#include <string>

// Records the last internal assertion while in scope.
struct AssertCapture
{
	static inline std::string s_text, s_source;
	static inline int s_iCount = 0;

	AssertCapture()
	{
		s_text.clear();
		s_source.clear();
		s_iCount = 0;
		brontal::SetAssertHandler([](const char* szText, const char* szSource) {
			s_text = szText;
			s_source = szSource;
			++s_iCount;
		});
	}
	~AssertCapture() { brontal::SetAssertHandler(nullptr); }
};
