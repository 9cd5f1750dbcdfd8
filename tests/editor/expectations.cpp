#include "expectations.h"

#include "cabinetpanel.h"
#include "pngfile.h"
#include "testoptions.h"
#include "widgets/ctext.h"

#include "widgets/ctext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace brontal::editortest {

using gui::CBitmap;
using host::EditCall;

namespace {

// The panel's layout: tag, bitmap id, frames in the strip, position.
struct Placement
{
	int iTag;
	int iBitmap;
	int iFrames;
	int x;
	int y;
};

const Placement kPlacements[] = {
	{1, 112, 2, 482, 209},  {2, 107, 2, 88, 310},   {3, 115, 16, 148, 251}, {4, 108, 2, 263, 310},
	{5, 116, 16, 308, 251}, {6, 113, 2, 543, 209},  {7, 110, 2, 600, 310},  {8, 109, 2, 431, 310},
	{9, 117, 16, 471, 251}, {10, 111, 2, 765, 310}, {11, 118, 16, 631, 251}, {12, 114, 16, 789, 251},
	{15, 106, 2, 121, 279}, {16, 104, 2, 872, 283}, {17, 105, 2, 230, 284}, {18, 152, 1, 968, 0},
	{21, 123, 2, 110, 542},
};

struct MeterPlacement
{
	int iOn;
	int iOff;
	int x;
	int y;
};
const MeterPlacement kLeftMeter = {120, 119, 610, 194};
const MeterPlacement kRightMeter = {122, 121, 610, 222};

// The preset bar (bmp153, 320 x 30) and its name's room, 40 px in from
// either end, the name centred there on the bar's middle row of cells.
constexpr int kBarBitmap = 153, kBarX = 352, kBarY = 56, kBarWidth = 320, kBarHeight = 30, kNameInset = 40;
constexpr brontal::gui::CColor kNameInk{232, 236, 240};

} // namespace

CBitmap art(int iId)
{
	const std::string path = std::string(BRONTAL_SOURCE_DIR) + "/resource/bitmaps/bmp" + std::to_string(iId) + ".bmp";
	std::ifstream file(path, std::ios::binary);
	const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	CBitmap bitmap = CBitmap::fromBmp(bytes.data(), bytes.size());
	if (bitmap.isEmpty())
		ADD_FAILURE() << "cannot read " << path;
	return bitmap;
}

namespace {

gui::CColor ink(unsigned uRgb)
{
	return {uint8_t(uRgb >> 16), uint8_t(uRgb >> 8), uint8_t(uRgb), 255};
}

// Text of the typeface in one cell row, vertically centred in the box, from
// its left or centred; cut to the box's width.
void write(CBitmap& panel, const int (&aiBox)[4], int iInset, const std::string& text, unsigned uInk, bool bCentre)
{
	const gui::CRect box{aiBox[0] + iInset, aiBox[1], aiBox[2] - iInset, aiBox[3]};
	const int iWidth = std::min(box.getWidth(), gui::CFont::lengthOf(text) * gui::CFont::kCellWidth);
	const int x = bCentre ? box.left + (box.getWidth() - iWidth) / 2 : box.left;
	gui::CDrawContext context(panel, box);
	gui::CFont::standard().draw(context, {x, box.top + (box.getHeight() - gui::CFont::kCellHeight) / 2}, text, ink(uInk),
	                            box.getWidth());
}

void blit(CBitmap& target, const CBitmap& source, int iSrcX, int iSrcY, int iWidth, int iHeight, int x, int y)
{
	for (int j = 0; j < iHeight; ++j)
		for (int i = 0; i < iWidth; ++i)
			target.row(y + j)[x + i] = source.pixel(iSrcX + i, iSrcY + j);
}

} // namespace

std::vector<std::string> factoryPresetFiles()
{
	std::vector<std::string> files;
	for (const auto& entry :
	     std::filesystem::recursive_directory_iterator(std::string(BRONTAL_SOURCE_DIR) + "/resource/presets"))
		if (entry.path().extension() == ".vstpreset")
			files.push_back(entry.path().string());
	std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
		return std::filesystem::path(a).filename() < std::filesystem::path(b).filename();
	});
	return files;
}

std::string presetName(const std::string& path)
{
	return std::filesystem::path(path).stem().string();
}

// Defaults: switches on but the stereo enhancer; knob k of 16 frames shows
// round(15 v): 0.8 -> 12, 0.55 -> 8.25 -> 8, 0.1 -> 1.5 -> 2, 0.75 -> 11.25 -> 11.
Look defaultLook()
{
	Look look;
	look.frames = {{1, 1}, {2, 1}, {3, 12}, {4, 1}, {5, 8},  {6, 0},  {7, 1},  {8, 1},
	               {9, 2}, {10, 1}, {11, 11}, {12, 8}, {15, 0}, {16, 0}, {17, 0}, {18, 0}, {21, 0}};
	look.program = presetName(factoryPresetFiles().at(0));
	return look;
}

// The panel composed straight from the bitmap files.
CBitmap compose(const Look& look)
{
	CBitmap panel(1024, 768);
	const CBitmap background = art(150);
	blit(panel, background, 0, 0, 1024, 768, 0, 0);
	for (const Placement& p : kPlacements)
	{
		const CBitmap strip = art(p.iBitmap);
		const int iFrameHeight = strip.getHeight() / p.iFrames;
		blit(panel, strip, 0, look.frames.at(p.iTag) * iFrameHeight, strip.getWidth(), iFrameHeight, p.x, p.y);
	}
	for (const auto& [meter, iSegments] : {std::pair{kLeftMeter, look.iLeftSegments}, {kRightMeter, look.iRightSegments}})
	{
		const CBitmap on = art(meter.iOn);
		const CBitmap off = art(meter.iOff);
		const int iSplit = iSegments * on.getWidth() / 26;
		blit(panel, on, 0, 0, iSplit, on.getHeight(), meter.x, meter.y);
		blit(panel, off, iSplit, 0, off.getWidth() - iSplit, off.getHeight(), meter.x + iSplit, meter.y);
	}
	using namespace cabinetpanel;
	write(panel, kDisplay, 6, look.sCabinet, kDisplayInk, false);
	write(panel, kMessage, 0, look.sCabinetMessage, kMessageInk, false);
	write(panel, kLoad, 0, "LOAD", kButtonInk, true);
	write(panel, kPrevious, 0, "<", kButtonInk, true);
	write(panel, kNext, 0, ">", kButtonInk, true);
	write(panel, kBuiltIn, 0, "BUILT-IN", kButtonInk, true);
	if (look.program)
	{
		blit(panel, art(kBarBitmap), 0, 0, kBarWidth, kBarHeight, kBarX, kBarY);
		const int iRoom = kBarWidth - 2 * kNameInset;
		const int iWidth = std::min(iRoom, gui::CFont::lengthOf(*look.program) * gui::CFont::kCellWidth);
		gui::CDrawContext context(panel, gui::CRect::fromSize(0, 0, 1024, 768));
		gui::CFont::standard().draw(context,
		                            {kBarX + kNameInset + (iRoom - iWidth) / 2,
		                             kBarY + (kBarHeight - gui::CFont::kCellHeight) / 2},
		                            *look.program, kNameInk, iRoom);
	}
	return panel;
}

int differences(const CBitmap& a, const CBitmap& b, int iTolerance, std::string* pFirst)
{
	if (a.getWidth() != b.getWidth() || a.getHeight() != b.getHeight())
		return a.getWidth() * a.getHeight();
	int iCount = 0;
	for (int y = 0; y < a.getHeight(); ++y)
		for (int x = 0; x < a.getWidth(); ++x)
			for (int iShift = 0; iShift <= 16; iShift += 8)
			{
				const int d = int((a.pixel(x, y) >> iShift) & 0xff) - int((b.pixel(x, y) >> iShift) & 0xff);
				if (d > iTolerance || d < -iTolerance)
				{
					if (iCount++ == 0 && pFirst)
						*pFirst = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
					break;
				}
			}
	return iCount;
}

std::string outputPath(const std::string& name)
{
	return std::string(BRONTAL_TEST_OUTPUT_DIR) + "/" + name;
}

void expectLook(const CBitmap& shot, const Look& look, const std::string& name)
{
	const CBitmap expected = compose(look);
	std::string first;
	const int iDiff = differences(shot, expected, 0, &first);
	EXPECT_EQ(iDiff, 0) << name << ": " << first << "; see " << outputPath(name + "-actual.png");
	if (iDiff)
	{
		writePng(outputPath(name + "-actual.png"), shot);
		writePng(outputPath(name + "-expected.png"), expected);
	}
}

void expectGolden(const CBitmap& shot, const std::string& name, bool bExact)
{
	const std::string golden = std::string(BRONTAL_SOURCE_DIR) + "/tests/editor/golden/" + name + ".png";
	if (g_bUpdateImages)
	{
		ASSERT_TRUE(writePng(golden, shot));
		ASSERT_TRUE(writePng(std::string(BRONTAL_SOURCE_DIR) + "/docs/img/" + name + ".png", shot));
	}
	const auto reference = readPng(golden);
	ASSERT_TRUE(reference.has_value()) << "missing " << golden;
	std::string first;
	const int iDiff = differences(shot, *reference, bExact ? 0 : 2, &first);
	EXPECT_LE(iDiff, bExact ? 0 : 1024 * 768 / 10000) << name << ": " << iDiff << " pixels differ, " << first;
	if (iDiff)
		writePng(outputPath(name + "-actual.png"), shot);
}

void expectCalls(const std::vector<EditCall>& actual, const std::vector<EditCall>& expected)
{
	ASSERT_EQ(actual.size(), expected.size());
	for (std::size_t i = 0; i < expected.size(); ++i)
	{
		EXPECT_EQ(actual[i].kind, expected[i].kind) << i;
		EXPECT_EQ(actual[i].id, expected[i].id) << i;
		EXPECT_DOUBLE_EQ(actual[i].value, expected[i].value) << i;
	}
}

std::vector<double> gesture(const std::vector<EditCall>& actual, Steinberg::Vst::ParamID id)
{
	std::vector<double> aValues;
	EXPECT_GE(actual.size(), 3u);
	if (actual.size() < 3)
		return aValues;
	EXPECT_EQ(actual.front().kind, EditCall::Kind::Begin);
	EXPECT_EQ(actual.back().kind, EditCall::Kind::End);
	for (const EditCall& call : actual)
		EXPECT_EQ(call.id, id);
	for (std::size_t i = 1; i + 1 < actual.size(); ++i)
	{
		EXPECT_EQ(actual[i].kind, EditCall::Kind::Perform) << i;
		aValues.push_back(actual[i].value);
	}
	return aValues;
}

} // namespace brontal::editortest
