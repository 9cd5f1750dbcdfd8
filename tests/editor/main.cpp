// Runs the editor tests on a private X server. With --update-images the
// screenshot tests rewrite the golden images and the documentation's
// screenshots from what they capture (review the result before committing).
#include "testoptions.h"
#include "xvfbserver.h"

#include <gtest/gtest.h>

#include <cstring>

namespace brontal::editortest {
bool g_bUpdateImages = false;
}

int main(int argc, char** argv)
{
	::testing::InitGoogleTest(&argc, argv);
	for (int i = 1; i < argc; ++i)
		if (std::strcmp(argv[i], "--update-images") == 0)
			brontal::editortest::g_bUpdateImages = true;
	brontal::editortest::XvfbServer server;
	return RUN_ALL_TESTS();
}
