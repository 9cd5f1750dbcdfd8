#pragma once
#include "widgets/cbitmap.h"

#include <optional>
#include <string>

namespace brontal::editortest {

bool writePng(const std::string& path, const gui::CBitmap& image);
std::optional<gui::CBitmap> readPng(const std::string& path);

} // namespace brontal::editortest
