// Runs the Windows suites. With --update-screenshots the editor and About
// tests also write docs/img/windows-*.png from what they capture (review
// them before committing).
#include "sdkgap/moduleentry.h"
#include "testoptions.h"
#include "testscreenshots.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

// The widget layer the expected panel is drawn with asks for the module it
// lives in: here that is the test program.
void* brontal::moduleHandle()
{
	return GetModuleHandleW(nullptr);
}

namespace brontal::editortest {
// The golden images belong to the Linux suite; these tests only compare.
bool g_bUpdateImages = false;
} // namespace brontal::editortest

namespace brontal::wintest {
bool g_bWriteScreenshots = false;
} // namespace brontal::wintest

int main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	for (int i = 1; i < argc; ++i)
		if (std::strcmp(argv[i], "--update-screenshots") == 0)
			brontal::wintest::g_bWriteScreenshots = true;
	return RUN_ALL_TESTS();
}
