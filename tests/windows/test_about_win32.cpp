// The About button opens the module's dialog template modally, owned by the
// host's window and centred on it; every text fits its control in the
// dialog's own font; Escape, OK and the close box end it, and so does
// closing the editor while it is up.
#include "abouttemplate.h"
#include "editorfixture_win32.h"
#include "testscreenshots.h"

#include <sstream>
#include <vector>

using namespace brontal;
using namespace brontal::wintest;
using namespace Steinberg;

namespace {

constexpr const wchar_t* kDialogClass = L"#32770";
constexpr const wchar_t* kTitle = L"About Brontal2";

struct ControlSeen
{
	std::string className;
	int iId = 0;
	std::string text;
	LONG uStyle = 0;
	LONG uExStyle = 0;
	RECT rect{};     // in the dialog's client coordinates
	RECT expected{}; // the template's rectangle in pixels
	bool bHasIcon = false;
	// Every line measured in the control's font against the room it has.
	std::vector<std::pair<std::string, SIZE>> lines;
	SIZE room{};
};

struct DialogSeen
{
	HWND hDialog = nullptr;
	RECT rect{};
	SIZE clientSize{};
	SIZE expectedClient{};
	HWND hOwner = nullptr;
	bool bOwnerEnabled = true;
	LONG uStyle = 0;
	std::string title;
	LOGFONTW font{};
	std::vector<ControlSeen> controls;
};

HWND waitForDialog(int iMs = 5000)
{
	for (int i = 0; i < iMs / 10; ++i)
	{
		if (HWND hDialog = FindWindowW(kDialogClass, kTitle); hDialog && IsWindowVisible(hDialog))
			return hDialog;
		Sleep(10);
	}
	return nullptr;
}

bool waitForClose(HWND hDialog, int iMs = 5000)
{
	for (int i = 0; i < iMs / 10; ++i)
	{
		if (!IsWindow(hDialog))
			return true;
		Sleep(10);
	}
	return false;
}

std::vector<std::string> splitLines(const std::string& text)
{
	std::vector<std::string> aLines;
	std::size_t uStart = 0;
	for (;;)
	{
		const std::size_t uEnd = text.find("\r\n", uStart);
		aLines.push_back(text.substr(uStart, uEnd == std::string::npos ? std::string::npos : uEnd - uStart));
		if (uEnd == std::string::npos)
			return aLines;
		uStart = uEnd + 2;
	}
}

// Everything the test checks about an open dialog, read from its thread's
// windows through their messages.
DialogSeen inspect(HWND hDialog)
{
	DialogSeen seen;
	seen.hDialog = hDialog;
	seen.rect = windowRect(hDialog);
	RECT client;
	GetClientRect(hDialog, &client);
	seen.clientSize = {client.right, client.bottom};
	RECT size{0, 0, 271, 207};
	MapDialogRect(hDialog, &size);
	seen.expectedClient = {size.right, size.bottom};
	seen.hOwner = GetWindow(hDialog, GW_OWNER);
	seen.bOwnerEnabled = seen.hOwner && IsWindowEnabled(seen.hOwner);
	seen.uStyle = GetWindowLongW(hDialog, GWL_STYLE);
	seen.title = windowText(hDialog);
	const auto hDialogFont = reinterpret_cast<HFONT>(SendMessageW(hDialog, WM_GETFONT, 0, 0));
	GetObjectW(hDialogFont, sizeof(seen.font), &seen.font);

	std::size_t uIndex = 0;
	for (HWND hChild = GetWindow(hDialog, GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT), ++uIndex)
	{
		ControlSeen control;
		control.className = className(hChild);
		control.iId = GetDlgCtrlID(hChild);
		control.text = windowText(hChild);
		control.uStyle = GetWindowLongW(hChild, GWL_STYLE);
		control.uExStyle = GetWindowLongW(hChild, GWL_EXSTYLE);
		control.rect = windowRect(hChild);
		MapWindowPoints(nullptr, hDialog, reinterpret_cast<POINT*>(&control.rect), 2);
		// The dialog manager scales position and size, each on its own.
		if (uIndex < expectedControls().size())
		{
			RECT units = expectedControls()[uIndex].dialogUnits;
			MapDialogRect(hDialog, &units);
			control.expected = {units.left, units.top, units.left + units.right, units.top + units.bottom};
		}
		// The room for text: a static's client area; an edit control's
		// formatting rectangle, inside its border and margins.
		RECT room;
		GetClientRect(hChild, &room);
		if (control.className == "Edit")
			SendMessageW(hChild, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
		control.room = {room.right - room.left, room.bottom - room.top};
		const bool bIcon = control.className == "Static" && (control.uStyle & SS_TYPEMASK) == SS_ICON;
		if (bIcon)
		{
			control.bHasIcon = SendMessageW(hChild, STM_GETICON, 0, 0) != 0;
			control.text.clear();
		}
		HDC hdc = GetDC(hChild);
		const HGDIOBJ hOld = SelectObject(hdc, reinterpret_cast<HFONT>(SendMessageW(hChild, WM_GETFONT, 0, 0)));
		if (!bIcon)
			for (const std::string& line : splitLines(control.text))
			{
				SIZE extent{};
				GetTextExtentPoint32A(hdc, line.c_str(), int(line.size()), &extent);
				if (line.empty())
					GetTextExtentPoint32A(hdc, "X", 1, &extent), extent.cx = 0;
				control.lines.push_back({line, extent});
			}
		SelectObject(hdc, hOld);
		ReleaseDC(hChild, hdc);
		seen.controls.push_back(control);
	}
	return seen;
}

void sendKey(WORD uVirtualKey)
{
	INPUT aInputs[2] = {};
	for (INPUT& input : aInputs)
	{
		input.type = INPUT_KEYBOARD;
		input.ki.wVk = uVirtualKey;
		input.ki.wScan = WORD(MapVirtualKeyW(uVirtualKey, MAPVK_VK_TO_VSC));
	}
	aInputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
	SendInput(2, aInputs, sizeof(INPUT));
}

void clickAtScreen(POINT point)
{
	SetCursorPos(point.x, point.y);
	INPUT aInputs[3] = {};
	for (INPUT& input : aInputs)
		input.type = INPUT_MOUSE;
	aInputs[0].mi.dwFlags = MOUSEEVENTF_MOVE;
	aInputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
	aInputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
	SendInput(3, aInputs, sizeof(INPUT));
}

std::string describe(const RECT& r)
{
	std::ostringstream text;
	text << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
	return text.str();
}

class Win32AboutTest : public Win32EditorFixture
{
protected:
	// Opens the dialog with a click on ABOUT from a second thread, runs the
	// script on the open dialog there, and returns when the script and the
	// dialog are done.
	void withDialog(const std::function<void(HWND)>& script)
	{
		const POINT about = testHost->toScreen(990, 12);
		TestHost::runBeside([&] {
			clickAtScreen(about);
			const HWND hDialog = waitForDialog();
			m_bOpened = hDialog != nullptr;
			if (hDialog)
				script(hDialog);
		});
	}

	bool m_bOpened = false;
};

} // namespace

TEST_F(Win32AboutTest, OpensOnReleaseInsideAsAModalDialogLaidOutAsTheTemplateSays)
{
	openEditor();
	// Pressed on the button, released elsewhere: nothing.
	testHost->moveTo(990, 12);
	TestHost::mouseDown();
	testHost->moveTo(990, 120);
	TestHost::mouseUp();
	EXPECT_EQ(FindWindowW(kDialogClass, kTitle), nullptr);

	DialogSeen seen;
	gui::CBitmap shot(0, 0);
	bool bClosed = false;
	const POINT footswitch = testHost->toScreen(88 + 57, 310 + 94);
	withDialog([&](HWND hDialog) {
		seen = inspect(hDialog);
		Sleep(200);
		shot = TestHost::capture(hDialog);
		// Modal: a click on the editor while it is open reaches nothing.
		clickAtScreen(footswitch);
		Sleep(300);
		sendKey(VK_ESCAPE);
		bClosed = waitForClose(hDialog);
	});
	ASSERT_TRUE(m_bOpened) << "no About dialog opened";
	EXPECT_TRUE(bClosed) << "Escape did not close the dialog";
	EXPECT_TRUE(calls().empty()) << "the editor took input while the dialog was open";
	EXPECT_TRUE(IsWindowEnabled(testHost->topLevel())) << "the host's window stays disabled";
	EXPECT_EQ(FindWindowW(kDialogClass, kTitle), nullptr);
	writeScreenshot(shot, "windows-about");

	// Owned by the host's window (the editor's parent's top level), which it
	// disables while open.
	EXPECT_EQ(seen.hOwner, testHost->topLevel());
	EXPECT_FALSE(seen.bOwnerEnabled);
	EXPECT_EQ(seen.title, "About Brontal2");
	for (LONG uBit : {LONG(WS_POPUP), LONG(WS_CAPTION), LONG(WS_SYSMENU), LONG(DS_MODALFRAME)})
		EXPECT_EQ(seen.uStyle & uBit, uBit) << std::hex << uBit;
	EXPECT_EQ(std::wstring(seen.font.lfFaceName), L"MS Shell Dlg");
	EXPECT_EQ(seen.font.lfHeight, -MulDiv(8, 96, 72));
	EXPECT_EQ(std::make_pair(seen.clientSize.cx, seen.clientSize.cy),
	          std::make_pair(seen.expectedClient.cx, seen.expectedClient.cy));

	// Centred on the host's window at (100, 100)-(1124, 868) by the rule.
	const int iWidth = int(seen.rect.right - seen.rect.left);
	const int iHeight = int(seen.rect.bottom - seen.rect.top);
	EXPECT_EQ(seen.rect.left, kHostX + (kHostWidth - iWidth) / 2) << describe(seen.rect);
	EXPECT_EQ(seen.rect.top, kHostY + (kHostHeight - iHeight) / 2) << describe(seen.rect);

	ASSERT_EQ(seen.controls.size(), expectedControls().size());
	for (std::size_t i = 0; i < seen.controls.size(); ++i)
	{
		const ControlSeen& control = seen.controls[i];
		const Expected& expected = expectedControls()[i];
		SCOPED_TRACE(std::to_string(i) + " " + control.className + " " + control.text);
		EXPECT_EQ(control.className, expected.szClass);
		EXPECT_EQ(control.iId, expected.iId);
		EXPECT_EQ(control.uStyle & expected.uStyle, expected.uStyle);
		EXPECT_EQ(control.rect.left, control.expected.left);
		EXPECT_EQ(control.rect.top, control.expected.top);
		// The icon control takes the size of its icon.
		if (isIcon(expected))
		{
			EXPECT_TRUE(control.bHasIcon);
		}
		else
		{
			EXPECT_EQ(control.rect.right, control.expected.right);
			EXPECT_EQ(control.rect.bottom, control.expected.bottom);
		}
		if (expected.iId != 1004)
		{
			EXPECT_EQ(control.text, expected.text);
		}
		else
			EXPECT_TRUE((control.uStyle & WS_BORDER) || (control.uExStyle & WS_EX_CLIENTEDGE)) << "no border";
		for (const auto& [line, extent] : control.lines)
		{
			EXPECT_LE(extent.cx, control.room.cx) << "\"" << line << "\" is cut";
			EXPECT_LE(extent.cy, control.room.cy) << "\"" << line << "\" is cut";
		}
		if (!control.lines.empty())
		{
			EXPECT_LE(int(control.lines.size()) * control.lines[0].second.cy, control.room.cy);
		}
		// The labels are painted: dark text on the dialog's face.
		if (std::string(expected.szClass) == "Static" && !isIcon(expected))
		{
			int iDark = 0;
			for (int y = std::max(0, int(control.rect.top)); y < std::min(shot.getHeight(), int(control.rect.bottom)); ++y)
				for (int x = std::max(0, int(control.rect.left)); x < std::min(shot.getWidth(), int(control.rect.right)); ++x)
					iDark += (shot.pixel(x, y) & 0xc0c0c0) == 0;
			EXPECT_GT(iDark, 30) << "no text painted";
		}
	}

	// The information text: six lines, the third empty, the fourth the heading.
	const ControlSeen& info = seen.controls[6];
	const auto aLines = splitLines(info.text);
	ASSERT_EQ(aLines.size(), 6u) << info.text;
	EXPECT_FALSE(aLines[0].empty());
	EXPECT_FALSE(aLines[1].empty());
	EXPECT_TRUE(aLines[2].empty());
	EXPECT_EQ(aLines[3], "Websites :");
	EXPECT_EQ(aLines[4].rfind("https://", 0), 0u);
	EXPECT_EQ(aLines[5].rfind("https://", 0), 0u);
}

TEST_F(Win32AboutTest, OkTheCloseBoxAndClosingTheEditorEachEndIt)
{
	openEditor();
	bool bClosed = false;
	withDialog([&](HWND hDialog) {
		HWND hOk = GetDlgItem(hDialog, IDOK);
		const RECT ok = windowRect(hOk);
		clickAtScreen({(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2});
		bClosed = waitForClose(hDialog);
	});
	ASSERT_TRUE(m_bOpened);
	EXPECT_TRUE(bClosed) << "OK did not close the dialog";

	bClosed = false;
	withDialog([&](HWND hDialog) {
		PostMessageW(hDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
		bClosed = waitForClose(hDialog);
	});
	ASSERT_TRUE(m_bOpened);
	EXPECT_TRUE(bClosed) << "the close box did not close the dialog";

	// The editor's input is back after each.
	testHost->click(88 + 57, 310 + 94);
	EXPECT_EQ(calls().size(), 3u);

	// The host closes the editor while the dialog is up: the dialog goes
	// with it, and the dialog's return finds nothing of the editor.
	bClosed = false;
	withDialog([&](HWND hDialog) {
		testHost->post([&] {
			view->removed();
			view->setFrame(nullptr);
		});
		bClosed = waitForClose(hDialog);
	});
	ASSERT_TRUE(m_bOpened);
	EXPECT_TRUE(bClosed) << "closing the editor left its dialog open";
	EXPECT_EQ(testHost->editorWindow(), nullptr);
	EXPECT_TRUE(IsWindowEnabled(testHost->topLevel()));
	// Attached again, it works as before.
	ASSERT_EQ(attach(), kResultTrue);
	instance->handler().clear();
	testHost->click(88 + 57, 310 + 94);
	EXPECT_EQ(calls().size(), 3u);
}
