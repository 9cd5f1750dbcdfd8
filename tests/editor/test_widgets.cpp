// The widget layer on its own: no display, no plug-in. Controls are drawn
// into a frame's offscreen image and driven with synthetic mouse events.
#include "aboutdialog.h"
#include "widgets/cframe.h"
#include "widgets/controls.h"
#include "widgets/ctext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace brontal::gui;

namespace {

void putLE(std::vector<unsigned char>& bytes, std::size_t uAt, uint32_t uValue, int iBytes)
{
	for (int i = 0; i < iBytes; ++i)
		bytes[uAt + i] = static_cast<unsigned char>(uValue >> (8 * i));
}

// A 24-bit BMP file of the given top-down pixels; rows padded to 4 bytes.
std::vector<unsigned char> makeBmp(int iWidth, int iHeight, const std::vector<uint32_t>& aTopDown, bool bTopDown)
{
	const std::size_t uStride = (std::size_t(iWidth) * 3 + 3) & ~std::size_t(3);
	std::vector<unsigned char> bytes(54 + uStride * iHeight, 0xee);
	bytes[0] = 'B';
	bytes[1] = 'M';
	putLE(bytes, 2, uint32_t(bytes.size()), 4);
	putLE(bytes, 10, 54, 4);
	putLE(bytes, 14, 40, 4);
	putLE(bytes, 18, uint32_t(iWidth), 4);
	putLE(bytes, 22, uint32_t(bTopDown ? -iHeight : iHeight), 4);
	putLE(bytes, 26, 1, 2);
	putLE(bytes, 28, 24, 2);
	putLE(bytes, 30, 0, 4);
	for (int y = 0; y < iHeight; ++y)
	{
		const std::size_t uRow = 54 + uStride * std::size_t(bTopDown ? y : iHeight - 1 - y);
		for (int x = 0; x < iWidth; ++x)
		{
			const uint32_t uPixel = aTopDown[std::size_t(y) * iWidth + x];
			bytes[uRow + 3 * x] = uPixel & 0xff;
			bytes[uRow + 3 * x + 1] = (uPixel >> 8) & 0xff;
			bytes[uRow + 3 * x + 2] = (uPixel >> 16) & 0xff;
		}
	}
	return bytes;
}

// A strip of `frames` sub-images, each filled with colour 0x100000 * (k + 1).
SharedBitmap makeStrip(int iWidth, int iFrameHeight, int iFrames)
{
	auto pBitmap = std::make_shared<CBitmap>(iWidth, iFrameHeight * iFrames);
	for (int y = 0; y < pBitmap->getHeight(); ++y)
		for (int x = 0; x < iWidth; ++x)
			pBitmap->row(y)[x] = 0x100000u * uint32_t(y / iFrameHeight + 1);
	return pBitmap;
}

SharedBitmap makeFill(int iWidth, int iHeight, uint32_t uPixel)
{
	auto pBitmap = std::make_shared<CBitmap>(iWidth, iHeight);
	for (int y = 0; y < iHeight; ++y)
		std::fill(pBitmap->row(y), pBitmap->row(y) + iWidth, uPixel);
	return pBitmap;
}

struct Event
{
	std::string kind;
	int32_t iTag;
	float fValue;
	bool operator==(const Event& o) const { return kind == o.kind && iTag == o.iTag && fValue == o.fValue; }
};

std::ostream& operator<<(std::ostream& os, const Event& e)
{
	return os << e.kind << "(" << e.iTag << ", " << e.fValue << ")";
}

struct Recorder : CControlListener
{
	std::vector<Event> events;
	void valueChanged(CControl* p) override { events.push_back({"changed", p->getTag(), p->getValue()}); }
	void controlBeginEdit(CControl* p) override { events.push_back({"begin", p->getTag(), 0.f}); }
	void controlEndEdit(CControl* p) override { events.push_back({"end", p->getTag(), 0.f}); }
	void controlContextClicked(CControl* p) override { events.push_back({"context", p->getTag(), 0.f}); }
};

class WidgetTest : public ::testing::Test
{
protected:
	CFrame frame{CRect::fromSize(0, 0, 200, 100)};
	Recorder listener;

	uint32_t pixelAt(int x, int y)
	{
		frame.idle();
		return frame.getOffscreen().pixel(x, y);
	}
	void press(int x, int y, uint32_t buttons = kLButton, uint32_t uTime = 1000)
	{
		frame.platformOnMouseDown({x, y}, buttons, uTime);
	}
};

} // namespace

TEST(BmpDecoding, BottomUpAndTopDownRowsWithPadding)
{
	// 3 pixels a row: 9 bytes padded to 12, so the padding must be skipped.
	const std::vector<uint32_t> aPixels = {0x102030, 0x405060, 0x708090, 0xa0b0c0, 0xd0e0f0, 0x010203};
	for (bool bTopDown : {false, true})
	{
		const auto bytes = makeBmp(3, 2, aPixels, bTopDown);
		const CBitmap bitmap = CBitmap::fromBmp(bytes.data(), bytes.size());
		ASSERT_EQ(bitmap.getWidth(), 3);
		ASSERT_EQ(bitmap.getHeight(), 2);
		for (int y = 0; y < 2; ++y)
			for (int x = 0; x < 3; ++x)
				EXPECT_EQ(bitmap.pixel(x, y), aPixels[std::size_t(y) * 3 + x]) << x << "," << y << " topdown " << bTopDown;
	}
}

TEST(BmpDecoding, PackedDibAsWindowsKeepsABitmapResource)
{
	// The file without its 14-byte header; the pixels right after the info
	// header, or after a colour table when the header counts one.
	const std::vector<uint32_t> aPixels = {0x102030, 0x405060, 0x708090, 0xa0b0c0, 0xd0e0f0, 0x010203};
	const auto file = makeBmp(3, 2, aPixels, false);
	std::vector<unsigned char> dib(file.begin() + 14, file.end());
	for (int iColours : {0, 2})
	{
		putLE(dib, 32, uint32_t(iColours), 4);
		if (iColours)
			dib.insert(dib.begin() + 40, std::size_t(iColours) * 4, 0x55);
		const CBitmap bitmap = CBitmap::fromDib(dib.data(), dib.size());
		ASSERT_EQ(bitmap.getWidth(), 3);
		ASSERT_EQ(bitmap.getHeight(), 2);
		for (int y = 0; y < 2; ++y)
			for (int x = 0; x < 3; ++x)
				EXPECT_EQ(bitmap.pixel(x, y), aPixels[std::size_t(y) * 3 + x]) << x << "," << y << " colours " << iColours;
	}
	EXPECT_TRUE(CBitmap::fromDib(dib.data(), dib.size() - 1).isEmpty());
	EXPECT_TRUE(CBitmap::fromDib(dib.data(), 39).isEmpty());
	EXPECT_TRUE(CBitmap::fromDib(nullptr, 0).isEmpty());
	// A height no row count can be (its negation overflows).
	putLE(dib, 8, 0x80000000u, 4);
	EXPECT_TRUE(CBitmap::fromDib(dib.data(), dib.size()).isEmpty());
}

TEST(BmpDecoding, RejectsWhatItCannotShow)
{
	const auto good = makeBmp(2, 2, {1, 2, 3, 4}, false);
	auto truncated = good;
	truncated.resize(good.size() - 1);
	EXPECT_TRUE(CBitmap::fromBmp(truncated.data(), truncated.size()).isEmpty());
	auto paletted = good;
	putLE(paletted, 28, 8, 2);
	EXPECT_TRUE(CBitmap::fromBmp(paletted.data(), paletted.size()).isEmpty());
	auto compressed = good;
	putLE(compressed, 30, 1, 4);
	EXPECT_TRUE(CBitmap::fromBmp(compressed.data(), compressed.size()).isEmpty());
	auto notBmp = good;
	notBmp[0] = 'P';
	EXPECT_TRUE(CBitmap::fromBmp(notBmp.data(), notBmp.size()).isEmpty());
}

TEST_F(WidgetTest, FrameShowsColourThenBackgroundThenControls)
{
	frame.setBackgroundColor({127, 127, 127, 255});
	frame.setBackground(makeFill(150, 100, 0x0000ff));
	frame.addView(std::make_unique<CMovieBitmap>(CRect::fromSize(10, 10, 20, 20), nullptr, 15, 2, makeStrip(20, 20, 2)));
	EXPECT_EQ(pixelAt(175, 50), 0x7f7f7fu);
	EXPECT_EQ(pixelAt(100, 50), 0x0000ffu);
	EXPECT_EQ(pixelAt(10, 10), 0x100000u);
	EXPECT_EQ(pixelAt(29, 29), 0x100000u);
	EXPECT_EQ(pixelAt(30, 30), 0x0000ffu);
}

TEST_F(WidgetTest, OnOffButtonFlipsOnPressAndBracketsTheEdit)
{
	auto* pButton = frame.addView(std::make_unique<COnOffButton>(CRect::fromSize(0, 0, 30, 40), &listener, 2, makeStrip(30, 40, 2)));
	pButton->setValue(1.f);
	EXPECT_EQ(pixelAt(5, 5), 0x200000u);
	press(5, 5);
	frame.platformOnMouseUp({5, 5}, kLButton);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"begin", 2, 0.f}, {"changed", 2, 0.f}, {"end", 2, 0.f}}));
	EXPECT_EQ(pixelAt(5, 5), 0x100000u);
	// Any value but exactly 0 counts as on, so the next press turns it off.
	pButton->setValue(0.5f);
	EXPECT_EQ(pixelAt(5, 5), 0x200000u);
	listener.events.clear();
	press(5, 5, kLButton, 5000);
	EXPECT_EQ(listener.events.at(1), (Event{"changed", 2, 0.f}));
	// The right button is not a click: a question for the owner, no edit.
	listener.events.clear();
	press(5, 5, kRButton, 9000);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"context", 2, 0.f}}));
}

TEST_F(WidgetTest, KnobShowsNearestOfSixteenFrames)
{
	auto* pKnob = frame.addView(std::make_unique<CAnimKnob>(CRect::fromSize(0, 0, 10, 10), &listener, 3, 16, makeStrip(10, 10, 16)));
	const std::pair<float, int> aCases[] = {{0.f, 0}, {1.f, 15}, {0.8f, 12}, {0.55f, 8}, {0.5f, 8}, {0.46f, 7}, {0.75f, 11}};
	for (const auto& c : aCases)
	{
		pKnob->setValue(c.first);
		EXPECT_EQ(pKnob->getCurrentFrame(), c.second) << c.first;
		EXPECT_EQ(pixelAt(3, 3), 0x100000u * uint32_t(c.second + 1)) << c.first;
	}
	pKnob->setValue(7.f);
	EXPECT_EQ(pKnob->getValue(), 1.f);
	pKnob->setValue(-2.f);
	EXPECT_EQ(pKnob->getValue(), 0.f);
}

TEST_F(WidgetTest, KnobDragIsOneGestureWithFineModeAndClamping)
{
	auto* pKnob = frame.addView(std::make_unique<CAnimKnob>(CRect::fromSize(50, 50, 20, 20), &listener, 3, 16, makeStrip(20, 20, 16)));
	pKnob->setValue(0.5f);
	press(60, 60);
	frame.platformOnMouseMoved({60, 40}, kLButton); // 20 px up: +0.1
	EXPECT_FLOAT_EQ(pKnob->getValue(), 0.6f);
	frame.platformOnMouseMoved({65, 60}, kLButton); // back to the start height
	EXPECT_FLOAT_EQ(pKnob->getValue(), 0.5f);
	// With Shift the same 20 px move is ten times finer, counted from here.
	frame.platformOnMouseMoved({65, 40}, kLButton | kShift);
	EXPECT_FLOAT_EQ(pKnob->getValue(), 0.5f);
	frame.platformOnMouseMoved({65, 20}, kLButton | kShift);
	EXPECT_FLOAT_EQ(pKnob->getValue(), 0.51f);
	// Releasing Shift continues from 0.51 at normal speed; far past the top.
	frame.platformOnMouseMoved({65, 20}, kLButton);
	frame.platformOnMouseMoved({65, -500}, kLButton);
	EXPECT_EQ(pKnob->getValue(), 1.f);
	// Moves outside the knob still belong to the drag; the release ends it.
	frame.platformOnMouseUp({190, 90}, kLButton);
	frame.platformOnMouseMoved({65, 90}, kLButton);
	EXPECT_EQ(pKnob->getValue(), 1.f);

	ASSERT_GE(listener.events.size(), 2u);
	EXPECT_EQ(listener.events.front(), (Event{"begin", 3, 0.f}));
	EXPECT_EQ(listener.events.back(), (Event{"end", 3, 0.f}));
	const std::vector<float> aExpected = {0.6f, 0.5f, 0.51f, 1.f};
	std::vector<float> aChanged;
	for (std::size_t i = 1; i + 1 < listener.events.size(); ++i)
	{
		EXPECT_EQ(listener.events[i].kind, "changed");
		aChanged.push_back(listener.events[i].fValue);
	}
	ASSERT_EQ(aChanged.size(), aExpected.size());
	for (std::size_t i = 0; i < aExpected.size(); ++i)
		EXPECT_FLOAT_EQ(aChanged[i], aExpected[i]);
}

TEST_F(WidgetTest, KnobWheelStepsOneSubImagePerNotchAndNeverDuringADrag)
{
	auto* pKnob = frame.addView(std::make_unique<CAnimKnob>(CRect::fromSize(0, 0, 20, 20), &listener, 9, 16, makeStrip(20, 20, 16)));
	pKnob->setValue(0.5f);
	frame.platformOnMouseWheel({5, 5}, 1.f, 0);
	EXPECT_FLOAT_EQ(pKnob->getValue(), 0.5f + 1.f / 15.f);
	frame.platformOnMouseWheel({5, 5}, -3.f, kShift);
	EXPECT_FLOAT_EQ(pKnob->getValue(), 0.5f + 1.f / 15.f - 0.3f / 15.f);
	EXPECT_EQ(listener.events.size(), 6u); // two gestures of begin, change, end
	frame.platformOnMouseWheel({5, 5}, 100.f, 0);
	EXPECT_EQ(pKnob->getValue(), 1.f);
	// At the end of its travel a notch further changes nothing and says nothing.
	listener.events.clear();
	frame.platformOnMouseWheel({5, 5}, 1.f, 0);
	EXPECT_TRUE(listener.events.empty());
	// Outside every view, or while a drag holds the mouse, the wheel does nothing.
	frame.platformOnMouseWheel({50, 50}, -1.f, 0);
	press(5, 5);
	frame.platformOnMouseWheel({5, 5}, -1.f, 0);
	frame.platformOnMouseUp({5, 5}, kLButton);
	EXPECT_EQ(pKnob->getValue(), 1.f);
}

TEST_F(WidgetTest, KnobReturnsToDefaultOnCtrlClickOrDoubleClick)
{
	auto* pKnob = frame.addView(std::make_unique<CAnimKnob>(CRect::fromSize(0, 0, 20, 20), &listener, 5, 16, makeStrip(20, 20, 16)));
	pKnob->setDefaultValue(0.55f);
	pKnob->setValue(0.9f);
	press(5, 5, kLButton | kControl, 100);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"begin", 5, 0.f}, {"changed", 5, 0.55f}, {"end", 5, 0.f}}));

	// Two presses 300 ms apart: the second resets. 500 ms apart: it does not.
	const auto click = [&](uint32_t uTime, int x) {
		press(x, 5, kLButton, uTime);
		frame.platformOnMouseUp({x, 5}, kLButton);
	};
	pKnob->setValue(0.9f);
	click(10000, 5);
	click(10300, 7);
	EXPECT_EQ(pKnob->getValue(), 0.55f);
	pKnob->setValue(0.9f);
	click(20000, 5);
	click(20500, 5);
	EXPECT_EQ(pKnob->getValue(), 0.9f);
	// Far apart on screen is not a double-click either.
	click(30000, 2);
	click(30100, 12);
	EXPECT_EQ(pKnob->getValue(), 0.9f);
	// Nor is a drag followed by a quick press where it started.
	press(5, 5, kLButton, 40000);
	frame.platformOnMouseMoved({5, -15}, kLButton);
	frame.platformOnMouseUp({5, -15}, kLButton);
	const float fDragged = pKnob->getValue();
	EXPECT_NE(fDragged, 0.55f);
	press(5, 5, kLButton, 40100);
	frame.platformOnMouseUp({5, 5}, kLButton);
	EXPECT_EQ(pKnob->getValue(), fDragged);
}

TEST(VuMeter, LightsWholeSegmentsAndFallsOneStepPerRedraw)
{
	// 260 px and 26 segments: 10 px a segment.
	CFrame meterFrame(CRect::fromSize(0, 0, 300, 20));
	auto* pMeter = meterFrame.addView(std::make_unique<CVuMeter>(CRect::fromSize(0, 0, 260, 10), makeFill(260, 10, 0x00ff00), makeFill(260, 10, 0x001100), 26));
	CFrame wide(CRect::fromSize(0, 0, 300, 20));
	auto* pWide = wide.addView(std::make_unique<CVuMeter>(CRect::fromSize(0, 0, 279, 20), makeFill(279, 20, 0x00ff00), makeFill(279, 20, 0x001100), 26));
	const auto litEdge = [](const CFrame& f, int iWidth) {
		int x = 0;
		while (x < iWidth && f.getOffscreen().pixel(x, 5) == 0x00ff00u)
			++x;
		return x;
	};

	pMeter->setValue(0.75f); // 19.5 segments round to 20
	meterFrame.idle();
	EXPECT_EQ(pMeter->getLitSegments(), 20);
	EXPECT_EQ(litEdge(meterFrame, 260), 200);
	pWide->setValue(0.75f);
	wide.idle();
	EXPECT_EQ(litEdge(wide, 279), 20 * 279 / 26);

	// A rise shows at once: 0.8 is 20.8 segments.
	pMeter->setValue(0.8f);
	meterFrame.idle();
	EXPECT_EQ(litEdge(meterFrame, 260), 210);
	// The value drops to 0 at once; the display follows 0.1 per redraw:
	// 0.7, 0.6 ... 0.1, 0 are 18.2, 15.6, 13, 10.4, 7.8, 5.2, 2.6, 0 segments.
	const int aSegments[] = {18, 16, 13, 10, 8, 5, 3, 0, 0};
	for (int iExpected : aSegments)
	{
		pMeter->setValue(0.f);
		meterFrame.idle();
		EXPECT_EQ(pMeter->getValue(), 0.f);
		EXPECT_EQ(pMeter->getLitSegments(), iExpected);
		EXPECT_EQ(litEdge(meterFrame, 260), iExpected * 10);
	}
	pMeter->setValue(1.f);
	meterFrame.idle();
	EXPECT_EQ(litEdge(meterFrame, 260), 260);
}

TEST_F(WidgetTest, KickButtonReportsOnlyOnReleaseOneThenZeroInside)
{
	frame.addView(std::make_unique<CKickButton>(CRect::fromSize(100, 0, 54, 27), &listener, 18, makeFill(54, 27, 0x123456)));
	press(110, 10);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"begin", 18, 0.f}}));
	frame.platformOnMouseMoved({120, 12}, kLButton);
	frame.platformOnMouseUp({120, 12}, kLButton);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"begin", 18, 0.f}, {"changed", 18, 1.f}, {"changed", 18, 0.f}, {"end", 18, 0.f}}));

	listener.events.clear();
	press(110, 10, kLButton, 9000);
	frame.platformOnMouseMoved({20, 60}, kLButton);
	frame.platformOnMouseUp({20, 60}, kLButton);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"begin", 18, 0.f}, {"changed", 18, 0.f}, {"end", 18, 0.f}}));
}

TEST_F(WidgetTest, DisabledFrameIgnoresTheMouse)
{
	auto* pButton = frame.addView(std::make_unique<COnOffButton>(CRect::fromSize(0, 0, 30, 40), &listener, 4, makeStrip(30, 40, 2)));
	frame.setMouseEnabled(false);
	press(5, 5);
	EXPECT_TRUE(listener.events.empty());
	EXPECT_EQ(pButton->getValue(), 0.f);
	frame.setMouseEnabled(true);
	press(5, 5, kLButton, 9000);
	EXPECT_EQ(pButton->getValue(), 1.f);
}

TEST(Text, InkBlendsThroughTheMaskByItsCover)
{
	CBitmap target(4, 1);
	const uint32_t below[] = {0xC86400, 0xC86400, 0xC86400, 0xC86400};
	std::copy(std::begin(below), std::end(below), target.row(0));
	CBitmap mask(4, 1);
	const uint32_t covers[] = {0x000000, 0xFF0000, 0x800000, 0x400000};
	std::copy(std::begin(covers), std::end(covers), mask.row(0));
	CDrawContext context(target, CRect::fromSize(0, 0, 3, 1));
	context.paintMask(mask, CRect::fromSize(0, 0, 4, 1), {}, {0, 0, 255});
	// (200, 100, 0) below, (0, 0, 255) ink: none, all, 128/255 and (clipped) 64/255 of it.
	EXPECT_EQ(target.pixel(0, 0), 0xC86400u);
	EXPECT_EQ(target.pixel(1, 0), 0x0000FFu);
	EXPECT_EQ(target.pixel(2, 0), (uint32_t(100) << 16 | uint32_t(50) << 8 | 128u));
	EXPECT_EQ(target.pixel(3, 0), 0xC86400u);
}

namespace {

// The cells a text covers, as whether each cell has any ink in it.
std::string inkedCells(const std::string& text, int iCells)
{
	CBitmap target(iCells * CFont::kCellWidth, CFont::kCellHeight);
	CDrawContext context(target, CRect::fromSize(0, 0, target.getWidth(), target.getHeight()));
	context.fillRect(CRect::fromSize(0, 0, target.getWidth(), target.getHeight()), {0, 0, 0});
	CFont::standard().draw(context, {0, 0}, text, {255, 255, 255}, target.getWidth());
	std::string cells;
	for (int c = 0; c < iCells; ++c)
	{
		bool bInk = false;
		for (int y = 0; y < CFont::kCellHeight; ++y)
			for (int x = 0; x < CFont::kCellWidth; ++x)
				bInk |= target.pixel(c * CFont::kCellWidth + x, y) != 0;
		cells += bInk ? '#' : '_';
	}
	return cells;
}

CBitmap textImage(const std::string& text, int iCells)
{
	CBitmap target(iCells * CFont::kCellWidth, CFont::kCellHeight);
	CDrawContext context(target, CRect::fromSize(0, 0, target.getWidth(), target.getHeight()));
	context.fillRect(CRect::fromSize(0, 0, target.getWidth(), target.getHeight()), {0, 0, 0});
	CFont::standard().draw(context, {0, 0}, text, {255, 255, 255}, target.getWidth());
	return target;
}

bool sameCell(const CBitmap& a, int iCellA, const CBitmap& b, int iCellB)
{
	for (int y = 0; y < CFont::kCellHeight; ++y)
		for (int x = 0; x < CFont::kCellWidth; ++x)
			if (a.pixel(iCellA * CFont::kCellWidth + x, y) != b.pixel(iCellB * CFont::kCellWidth + x, y))
				return false;
	return true;
}

} // namespace

TEST(Text, OneCellPerCharacterCutWithDotsAndUnknownsAsQuestionMarks)
{
	EXPECT_EQ(inkedCells("A B", 5), "#_#__");
	// Too long for five cells: three characters and two dots.
	const CBitmap cut = textImage("ABCDEFG", 5);
	const CBitmap dots = textImage("..", 2);
	const CBitmap abc = textImage("ABC", 3);
	for (int c = 0; c < 3; ++c)
		EXPECT_TRUE(sameCell(cut, c, abc, c)) << c;
	EXPECT_TRUE(sameCell(cut, 3, dots, 0));
	EXPECT_TRUE(sameCell(cut, 4, dots, 1));
	// Exactly five fits uncut.
	EXPECT_TRUE(sameCell(textImage("ABCDE", 5), 4, textImage("E", 1), 0));
	// A two-byte UTF-8 letter is one character, shown as '?'.
	EXPECT_EQ(CFont::lengthOf("Caf\xc3\xa9 1"), 6);
	const CBitmap accented = textImage("\xc3\xa9X", 2);
	EXPECT_TRUE(sameCell(accented, 0, textImage("?", 1), 0));
	EXPECT_TRUE(sameCell(accented, 1, textImage("X", 1), 0));
}

TEST_F(WidgetTest, LabelCentresItsTextAndTellsWhichHalfWasClicked)
{
	frame.setBackgroundColor({0, 0, 0, 255});
	std::vector<int> halves;
	auto* pLabel = frame.addView(std::make_unique<CTextLabel>(
	    CRect::fromSize(10, 10, 10 * CFont::kCellWidth, 20), CTextLabel::Style{{255, 255, 255}, false, {}, CTextLabel::Align::Centre},
	    "II", [&](int iHalf) { halves.push_back(iHalf); }));
	// Two cells centred in ten: the ink lies in cells 4 and 5 only.
	frame.idle();
	const CBitmap& shot = frame.getOffscreen();
	for (int x = 10; x < 10 + 10 * CFont::kCellWidth; ++x)
	{
		bool bInk = false;
		for (int y = 10; y < 30; ++y)
			bInk |= shot.pixel(x, y) != 0;
		const int iCell = (x - 10) / CFont::kCellWidth;
		if (iCell != 4 && iCell != 5)
		{
			EXPECT_FALSE(bInk) << x;
		}
	}
	pLabel->setText("");
	EXPECT_EQ(pixelAt(10 + 4 * CFont::kCellWidth + 3, 20), 0u);
	press(12, 15);
	press(10 + 9 * CFont::kCellWidth, 15, kLButton, 9000);
	EXPECT_EQ(halves, (std::vector<int>{-1, 1}));
}

TEST_F(WidgetTest, MenuTakesTheNextPressAndChoosesOnlyAnItem)
{
	frame.setBackgroundColor({0, 0, 0, 255});
	auto* pButton = frame.addView(
	    std::make_unique<COnOffButton>(CRect::fromSize(0, 0, 200, 100), &listener, 2, makeStrip(200, 100, 2)));
	std::vector<int> chosen;
	const auto open = [&](CPoint anchor, std::vector<CMenuItem> items) {
		frame.popup(std::make_unique<CPopupMenu>(frame.getViewSize(), anchor, std::move(items),
		                                         [&](int i) { chosen.push_back(i); }));
		frame.idle();
		return frame.getPopup()->getViewSize();
	};
	const CRect menu = open({20, 10}, {{"MIDI", false, false}, {"one"}, {"two", true}});
	EXPECT_EQ(menu.left, 20);
	EXPECT_EQ(menu.top, 10);
	const auto rowY = [&](int i) { return menu.top + CPopupMenu::kPadding + i * CPopupMenu::kRowHeight + 5; };
	EXPECT_NE(pixelAt(menu.left + 30, rowY(2)), 0x100000u) << "the menu is drawn over the button";
	// The heading is not a choice; the press still closes the menu and reaches nothing beneath.
	press(menu.left + 20, rowY(0));
	EXPECT_EQ(frame.getPopup(), nullptr);
	EXPECT_EQ(pixelAt(menu.left + 30, rowY(2)), 0x100000u);
	press(menu.left + 20, rowY(2), kLButton, 5000);
	EXPECT_EQ(listener.events.size(), 3u) << "a press with no menu reaches the button";
	listener.events.clear();
	open({20, 10}, {{"MIDI", false, false}, {"one"}, {"two", true}});
	press(menu.left + 20, rowY(2), kLButton, 9000);
	open({20, 10}, {{"MIDI", false, false}, {"one"}, {"two", true}});
	press(menu.left + 20, rowY(1), kLButton, 13000);
	open({20, 10}, {{"MIDI", false, false}, {"one"}, {"two", true}});
	press(menu.right + 5, menu.bottom + 5, kLButton, 17000);
	EXPECT_EQ(chosen, (std::vector<int>{2, 1}));
	EXPECT_TRUE(listener.events.empty());
	EXPECT_EQ(pButton->getValue(), 1.f) << "only the press without a menu turned it";
	// Too many rows for the frame: further columns, all inside it; anchored
	// near the far corner, moved back in.
	std::vector<CMenuItem> many(12, CMenuItem{"CC 1"});
	const CRect wide = open({190, 90}, many);
	const int iRows = (100 - 2 * CPopupMenu::kPadding) / CPopupMenu::kRowHeight;
	EXPECT_GE(wide.left, 0);
	EXPECT_GE(wide.top, 0);
	EXPECT_LE(wide.right, 200);
	EXPECT_LE(wide.bottom, 100);
	EXPECT_EQ(wide.getHeight(), iRows * CPopupMenu::kRowHeight + 2 * CPopupMenu::kPadding);
	press(wide.right - 10, wide.top + CPopupMenu::kPadding + 5, kLButton, 21000);
	EXPECT_EQ(chosen.back(), ((12 + iRows - 1) / iRows - 1) * iRows);
}

// A second right-click on the control that opened a menu must reach it (to
// stop listening for MIDI): a right press beside the menu closes it and goes
// on; one on an item chooses; a left press beside it only closes it.
TEST_F(WidgetTest, RightPressBesideAMenuClosesItAndReachesTheControlThere)
{
	frame.addView(std::make_unique<COnOffButton>(CRect::fromSize(0, 0, 60, 100), &listener, 7, makeStrip(60, 100, 2)));
	std::vector<int> chosen;
	const auto open = [&] {
		frame.popup(std::make_unique<CPopupMenu>(frame.getViewSize(), CPoint{70, 10},
		                                         std::vector<CMenuItem>{{"one"}, {"two"}},
		                                         [&](int i) { chosen.push_back(i); }));
		return frame.getPopup()->getViewSize();
	};
	const CRect menu = open();
	press(30, 50, kRButton, 1000);
	EXPECT_EQ(frame.getPopup(), nullptr);
	EXPECT_EQ(listener.events, (std::vector<Event>{{"context", 7, 0.f}}));
	listener.events.clear();
	open();
	press(menu.left + 20, menu.top + CPopupMenu::kPadding + CPopupMenu::kRowHeight + 5, kRButton, 5000);
	EXPECT_EQ(frame.getPopup(), nullptr);
	EXPECT_EQ(chosen, (std::vector<int>{1}));
	open();
	press(30, 50, kLButton, 9000);
	EXPECT_EQ(frame.getPopup(), nullptr);
	EXPECT_TRUE(listener.events.empty()) << "a left press beside the menu reaches nothing";
	EXPECT_EQ(chosen, (std::vector<int>{1}));
}

// The bar's arrows are kArrowWidth wide at either end; the name is centred in
// the room kNameInset in from either end; a right press is no step.
TEST_F(WidgetTest, ProgramBarStepsAtItsArrowsAsksForTheListBetweenAndCentresTheName)
{
	frame.setBackgroundColor({0, 0, 0, 255});
	std::vector<int> presses;
	auto* pBar = frame.addView(std::make_unique<CProgramBar>(CRect::fromSize(0, 20, 200, 30), &listener, 42,
	                                                         makeFill(200, 30, 0), [&](int i) { presses.push_back(i); }));
	pBar->setName("ABCD");
	frame.idle();
	// The room is 40..160 of the 200 pixels: four cells (28) centred in 120
	// start at 40 + (120 - 28) / 2 = 86.
	const CBitmap& shot = frame.getOffscreen();
	for (int x = 0; x < 200; ++x)
	{
		bool bInk = false;
		for (int y = 20; y < 50; ++y)
			bInk |= shot.pixel(x, y) != 0;
		if (x < 86 || x >= 86 + 4 * CFont::kCellWidth)
		{
			EXPECT_FALSE(bInk) << x;
		}
	}
	for (int x = 86; x < 86 + 4 * CFont::kCellWidth; x += CFont::kCellWidth)
	{
		bool bInk = false;
		for (int i = 0; i < CFont::kCellWidth; ++i)
			for (int y = 20; y < 50; ++y)
				bInk |= shot.pixel(x + i, y) != 0;
		EXPECT_TRUE(bInk) << "cell at " << x;
	}
	press(0, 35, kLButton, 1000);
	press(31, 35, kLButton, 5000);
	press(32, 35, kLButton, 9000);
	press(167, 35, kLButton, 13000);
	press(168, 35, kLButton, 17000);
	press(199, 35, kLButton, 21000);
	press(100, 35, kRButton, 25000);
	EXPECT_EQ(presses, (std::vector<int>{-1, -1, 0, 0, 1, 1}));
	EXPECT_EQ(listener.events, (std::vector<Event>{{"context", 42, 0.f}}));
}

TEST(AboutPlacement, CentredOnOwnerTruncatingAndNeverNegative)
{
	using brontal::centreOnOwner;
	const auto at = [](CPoint p) { return std::make_pair(p.x, p.y); };
	EXPECT_EQ(at(centreOnOwner({100, 100, 1124, 868}, 400, 300)), std::make_pair(412, 334));
	// Larger than the owner: half the excess left of and above it...
	EXPECT_EQ(at(centreOnOwner({500, 400, 600, 500}, 301, 201)), std::make_pair(500 - 100, 400 - 50));
	// ...where halving truncates toward zero (-201 / 2 = -100, not -101).
	EXPECT_EQ(at(centreOnOwner({500, 400, 600, 500}, 301, 301)), std::make_pair(400, 300));
	// ...but never past the screen origin.
	EXPECT_EQ(at(centreOnOwner({10, 20, 110, 120}, 400, 300)), std::make_pair(0, 0));
	EXPECT_EQ(at(centreOnOwner({-300, -300, 0, 0}, 100, 100)), std::make_pair(0, 0));
}

TEST(AboutTexts, VersionLineAndSixLineInformation)
{
	EXPECT_STREQ(brontal::kAboutTitle, "About Brontal2");
	EXPECT_STREQ(brontal::kAboutVersionLine, "Brontal2 - VST Plugin version 2.0.0.1069");
	const std::string info = brontal::kAboutInfoText;
	std::vector<std::string> aLines;
	std::size_t uStart = 0;
	for (std::size_t uEnd; (uEnd = info.find("\r\n", uStart)) != std::string::npos; uStart = uEnd + 2)
		aLines.push_back(info.substr(uStart, uEnd - uStart));
	aLines.push_back(info.substr(uStart));
	ASSERT_EQ(aLines.size(), 6u);
	EXPECT_EQ(info.find('\n', 0), info.find("\r\n") + 1); // no bare line feeds
	EXPECT_NE(aLines[0].find("free"), std::string::npos);
	EXPECT_NE(aLines[1].find("redistribute"), std::string::npos);
	EXPECT_TRUE(aLines[2].empty());
	EXPECT_EQ(aLines[3], "Websites :");
	EXPECT_EQ(aLines[4].rfind("https://", 0), 0u);
	EXPECT_EQ(aLines[5].rfind("https://", 0), 0u);
	EXPECT_NE(info.back(), '\n');
}
