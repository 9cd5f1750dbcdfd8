#pragma once
#include "pngfile.h"

#include <gtest/gtest.h>

namespace brontal::wintest {

// Write the documentation's Windows screenshots (--update-screenshots).
extern bool g_bWriteScreenshots;

inline void writeScreenshot(const gui::CBitmap& shot, const std::string& name)
{
	if (g_bWriteScreenshots)
	{
		EXPECT_TRUE(editortest::writePng(std::string(BRONTAL_SOURCE_DIR) + "/docs/img/" + name + ".png", shot)) << name;
	}
}

} // namespace brontal::wintest
