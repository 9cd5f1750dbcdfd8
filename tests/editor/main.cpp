// Runs the editor tests on a private X server. With --update-images the
// screenshot tests rewrite the golden images and the documentation's
// screenshots from what they capture (review the result before committing).
#include "testoptions.h"
#include "xvfbserver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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
	// The player's MIDI mappings and presets of this run are its own, never
	// the machine's.
	char szConfig[] = "/tmp/brontal-editor-config-XXXXXX";
	if (mkdtemp(szConfig))
	{
		setenv("XDG_CONFIG_HOME", szConfig, 1);
		setenv("HOME", szConfig, 1);
	}
	int iResult = 0;
	{
		brontal::editortest::XvfbServer server;
		iResult = RUN_ALL_TESTS();
	}
	std::error_code error;
	std::filesystem::remove_all(szConfig, error);
	return iResult;
}
