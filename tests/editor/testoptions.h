#pragma once

namespace brontal::editortest {
// Rewrite golden images and documentation screenshots instead of only comparing.
extern bool g_bUpdateImages;
} // namespace brontal::editortest
