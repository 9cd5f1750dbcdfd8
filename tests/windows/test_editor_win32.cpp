// What only a Windows host meets of the editor: exposes, half wheel notches,
// a capture taken mid-drag, two editors in one process. The checks shared
// with Linux are in tests/editor/common.
#include "cabinetpayload.h"
#include "editorfixture_win32.h"
#include "expectations.h"
#include "wavfile.h"

#include <shlobj.h>

#include <filesystem>

#include "pluginterfaces/vst/ivstplugview.h"

using namespace brontal;
using namespace brontal::editortest;
using namespace brontal::wintest;
using namespace Steinberg;
using host::EditCall;

namespace {

// The window class the module registers for its windows while it has any.
bool moduleClassRegistered()
{
	WNDCLASSEXW info{};
	info.cbSize = sizeof(info);
	return GetClassInfoExW(GetModuleHandleW(L"brontal1.vst3"), L"BrontalWindow", &info) != 0;
}

class Win32EditorTest : public Win32EditorFixture
{
};

} // namespace

TEST_F(Win32EditorTest, AnExposeElsewhereKeepsAPendingChange)
{
	openEditor();
	// A change waits for the next tick; meanwhile Windows asks for a small
	// part far from it to be painted.
	controller()->setParamNormalized(4, 0.0);
	const HWND hEditor = testHost->editorWindow();
	const RECT corner{10, 700, 20, 710};
	InvalidateRect(hEditor, &corner, FALSE);
	UpdateWindow(hEditor);
	Look look = defaultLook();
	look.frames[4] = 0;
	expectLook(TestHost::capture(testHost->container()), look, "win32-expose-with-change");
}

TEST_F(Win32EditorTest, HalfWheelNotchesAreKeptUntilTheyMakeAWholeOne)
{
	openEditor();
	// Windows sends 120 a notch, and less from fine wheels: two halves are
	// one notch of the delay level knob, a third waits for the fourth.
	const HWND hEditor = testHost->editorWindow();
	const POINT where = testHost->toScreen(659, 278);
	const LPARAM lPoint = MAKELPARAM(where.x, where.y);
	for (int i = 0; i < 3; ++i)
		SendMessageW(hEditor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), lPoint);
	expectCalls(calls(), {{EditCall::Kind::Begin, 11}, {EditCall::Kind::Perform, 11, double(0.75f + 1.f / 15.f)},
	                      {EditCall::Kind::End, 11}});
	SendMessageW(hEditor, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), lPoint);
	ASSERT_EQ(calls().size(), 6u);
	EXPECT_EQ(calls()[4].value, double(0.75f + 1.f / 15.f + 1.f / 15.f));
}

TEST_F(Win32EditorTest, LosingTheMouseMidDragEndsTheGestureWithoutAClick)
{
	openEditor();
	testHost->moveTo(175, 278);
	TestHost::mouseDown();
	testHost->moveTo(175, 268);
	// Something else takes the mouse (a host dialog, a shortcut).
	SetCapture(testHost->topLevel());
	TestHost::settle();
	ReleaseCapture();
	TestHost::mouseUp();
	const std::vector<double> aValues = gesture(calls(), 3);
	ASSERT_EQ(aValues.size(), 1u);
	EXPECT_NEAR(aValues[0], 0.85, 1e-6);

	// The About button pressed, then the mouse taken: no dialog.
	instance->handler().clear();
	testHost->moveTo(990, 12);
	TestHost::mouseDown();
	SetCapture(testHost->topLevel());
	TestHost::settle();
	ReleaseCapture();
	TestHost::mouseUp();
	EXPECT_EQ(FindWindowW(L"#32770", L"About Brontal2"), nullptr);
	EXPECT_TRUE(calls().empty());
}

TEST_F(Win32EditorTest, TwoInstancesEachWithItsEditorLiveAndCloseApart)
{
	openEditor();
	host::PluginInstance second(instance->module());
	TestHost secondHost;
	IPlugView* pSecondView = second.controller()->createView(Vst::ViewType::kEditor);
	ASSERT_NE(pSecondView, nullptr);
	pSecondView->setFrame(&secondHost);
	ASSERT_EQ(pSecondView->attached(secondHost.container(), kPlatformTypeHWND), kResultTrue);
	TestHost::settle();

	// Each follows its own controller: a meter on one, an LED on the other.
	controller()->setParamNormalized(13, 1.0);
	second.controller()->setParamNormalized(15, 1.0);
	TestHost::tickAll();
	Look first = defaultLook();
	first.iLeftSegments = 26;
	Look other = defaultLook();
	other.frames[15] = 1;
	expectLook(TestHost::capture(testHost->container()), first, "win32-first-of-two");
	expectLook(TestHost::capture(secondHost.container()), other, "win32-second-of-two");

	// The first closes; the second keeps its window, class and timer.
	ASSERT_EQ(remove(), kResultOk);
	EXPECT_TRUE(moduleClassRegistered());
	second.controller()->setParamNormalized(16, 1.0);
	TestHost::tickAll();
	other.frames[16] = 1;
	expectLook(TestHost::capture(secondHost.container()), other, "win32-second-alone");

	EXPECT_EQ(pSecondView->removed(), kResultOk);
	pSecondView->setFrame(nullptr);
	pSecondView->release();
	EXPECT_FALSE(moduleClassRegistered());
}

// A file dropped from Explorer: WM_DROPFILES with a drop the shell would
// build, of a name beyond ASCII (UTF-16 to the editor, UTF-8 inside); the
// section names it ('?' for what its typeface lacks) and the processor
// holds the response.
TEST_F(Win32EditorTest, AFileDroppedFromTheShellIsLoaded)
{
	const std::filesystem::path folder = std::filesystem::temp_directory_path() / L"brontal-drop";
	std::filesystem::create_directories(folder);
	const std::filesystem::path file = folder / L"Caf\u00e9 2x12.wav";
	const std::vector<float> afLeft = cabinettest::Decaying(9600, 4);
	wavtest::WriteWav(file, 48000, afLeft);
	instance->activate({});
	openEditor();

	const std::wstring wsPath = file.wstring();
	const SIZE_T uBytes = sizeof(DROPFILES) + (wsPath.size() + 2) * sizeof(wchar_t);
	HGLOBAL hDrop = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, uBytes);
	ASSERT_NE(hDrop, nullptr);
	auto* pDrop = static_cast<DROPFILES*>(GlobalLock(hDrop));
	pDrop->pFiles = sizeof(DROPFILES);
	pDrop->fWide = TRUE;
	std::memcpy(reinterpret_cast<char*>(pDrop) + sizeof(DROPFILES), wsPath.c_str(), wsPath.size() * sizeof(wchar_t));
	GlobalUnlock(hDrop);
	SendMessageW(testHost->editorWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
	TestHost::settle();

	Look look = defaultLook();
	look.sCabinet = "Caf? 2x12  0.20 s  mono";
	expectLook(TestHost::capture(testHost->container()), look, "win32-cabinet-dropped");
	host::ByteStream stream;
	ASSERT_EQ(instance->component()->getState(&stream), kResultOk);
	const std::vector<char> expected =
	    cabinettest::Payload(48000, afLeft, {}, 3, "Caf\xc3\xa9 2x12.wav", file.u8string());
	const std::vector<char>& saved = stream.bytes();
	ASSERT_GT(saved.size(), expected.size());
	EXPECT_TRUE(std::equal(expected.begin(), expected.end(), saved.end() - std::ptrdiff_t(expected.size())));
	std::error_code error;
	std::filesystem::remove_all(folder, error);
}
