#pragma once
// What the editor should show and report, shared by the Linux and the
// Windows editor tests: the panel composed straight from the bitmap files
// by the layout, the committed golden images, and the host edits of a
// gesture.
#include "host/hostobjects.h"
#include "widgets/cbitmap.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brontal::editortest {

// What the panel should show: a frame per tag and lit segments per meter.
struct Look
{
	std::map<int, int> frames;
	int iLeftSegments = 0;
	int iRightSegments = 0;
	// The cabinet section's line and failure sentence.
	std::string sCabinet = "Built-in";
	std::string sCabinetMessage;
	// The preset bar's name; no bar where the program is no parameter (LV2).
	std::optional<std::string> program;
};

// The committed factory presets, in the order of their names (the program
// list's start).
std::vector<std::string> factoryPresetFiles();
std::string presetName(const std::string& path);
// The controller's defaults: program 0, the first factory preset.
Look defaultLook();
// A bitmap file of resource/bitmaps.
gui::CBitmap art(int iId);
// The panel composed from resource/bitmaps for a look.
gui::CBitmap compose(const Look& look);
// Pixels where some channel differs by more than iTolerance.
int differences(const gui::CBitmap& a, const gui::CBitmap& b, int iTolerance, std::string* pFirst = nullptr);
// A file of the test's output directory.
std::string outputPath(const std::string& name);

// The shot must be exactly the composed panel; on failure both images are
// left in the output directory.
void expectLook(const gui::CBitmap& shot, const Look& look, const std::string& name);
// Compares with tests/editor/golden/<name>.png: a few pixels may differ
// slightly unless bExact; with --update-images rewrites it and the
// documentation's copy first.
void expectGolden(const gui::CBitmap& shot, const std::string& name, bool bExact = false);

void expectCalls(const std::vector<host::EditCall>& actual, const std::vector<host::EditCall>& expected);
// One gesture on one parameter: a begin, performs, an end. Returns the
// performed values.
std::vector<double> gesture(const std::vector<host::EditCall>& actual, Steinberg::Vst::ParamID id);

} // namespace brontal::editortest
