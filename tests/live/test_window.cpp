// brontal-live with its window on a private X server: the plug-in's own
// editor shows in it exactly as a DAW shows it at the defaults, the title
// carries the figures, and closing the window quits, saving the sound.

#include "liverig.h"
#include "menutext.h"
#include "pngfile.h"

// gtest before Xlib, whose macros (None, Bool) would clash with it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "host/parameters.h"
#include "host/plugininstance.h"
#include "host/presetfile.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>

#include <chrono>
#include <thread>

namespace brontal::livetest {
namespace {

// The top-level window whose WM_CLASS names the application.
Window findLiveWindow(Display* display)
{
	Window root = 0, parent = 0, *children = nullptr;
	unsigned count = 0;
	Window found = 0;
	if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
		for (unsigned i = 0; i < count && !found; ++i)
		{
			XClassHint hint{};
			if (XGetClassHint(display, children[i], &hint))
			{
				if (hint.res_name && std::string(hint.res_name) == "brontal-live")
					found = children[i];
				XFree(hint.res_name);
				XFree(hint.res_class);
			}
		}
	XFree(children);
	return found;
}

std::string titleOf(Display* display, Window window)
{
	char* name = nullptr;
	std::string title;
	if (XFetchName(display, window, &name) && name)
		title = name;
	XFree(name);
	return title;
}

gui::CBitmap capture(Display* display, Window window, int width, int height)
{
	gui::CBitmap image(width, height);
	XImage* pixels = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
	for (int y = 0; pixels && y < height; ++y)
		for (int x = 0; x < width; ++x)
			image.row(y)[x] = static_cast<uint32_t>(XGetPixel(pixels, x, y)) & 0xFFFFFF;
	if (pixels)
		XDestroyImage(pixels);
	return image;
}

// "COMPANY/PLUG-IN", the bundle's one preset folder.
fs::path factoryFolder()
{
	for (const auto& company : fs::directory_iterator(fs::path(BRONTAL_BUNDLE_PATH) / "Contents" / "Resources" / "Presets"))
		for (const auto& plugin : fs::directory_iterator(company.path()))
			return company.path().filename() / plugin.path().filename();
	return {};
}

std::string factoryPresetPath(const std::string& name)
{
	for (const auto& company : fs::directory_iterator(fs::path(BRONTAL_BUNDLE_PATH) / "Contents" / "Resources" / "Presets"))
		for (const auto& plugin : fs::directory_iterator(company.path()))
			if (fs::exists(plugin.path() / (name + ".vstpreset")))
				return (plugin.path() / (name + ".vstpreset")).string();
	return {};
}

// The values of every parameter a player sets (not the meters and LEDs,
// which the state keeps too) once a preset file is loaded.
std::vector<double> settingsOf(const std::string& presetPath)
{
	host::PluginInstance probe(host::Module::load(BRONTAL_BUNDLE_PATH));
	probe.loadPreset(host::readPreset(presetPath));
	std::vector<double> values;
	for (const host::ParamEntry& entry : host::parameterList(*probe.controller()))
		if (!(entry.flags & Steinberg::Vst::ParameterInfo::kIsReadOnly))
			values.push_back(probe.controller()->getParamNormalized(entry.id));
	return values;
}

// [SETTINGS] opens the choices over the window; the period list shows the
// latency each period would give before it is applied (ALSA: one period in,
// two out), and picking one reopens the device at it, with that latency,
// and keeps it. Then the window shows the editor again.
TEST(LiveWindow, APeriodPickedFromTheSettingsIsPlayedAtTheLatencyItShowed)
{
	ScratchFolder scratch;
	LiveProcess live({"--backend", "alsa", "--device", "null", "--period", "64"}, scratch.path(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("window: open", 20)) << live.errors();
	Display* display = XOpenDisplay(nullptr);
	ASSERT_NE(display, nullptr);
	Window window = 0;
	for (int i = 0; i < 200 && !window; ++i)
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		window = findLiveWindow(display);
	}
	ASSERT_NE(window, 0u);
	constexpr int kHeight = 768 + 28;
	const int screen = DefaultScreen(display);
	const auto click = [&](gui::CPoint at) {
		XTestFakeMotionEvent(display, screen, at.x, at.y, 0);
		XTestFakeButtonEvent(display, 1, True, 0);
		XTestFakeButtonEvent(display, 1, False, 0);
		XFlush(display);
	};
	const auto waitForText = [&](const std::string& text) {
		gui::CPoint at{-1, -1};
		for (int i = 0; i < 100 && at.x < 0; ++i)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(50));
			at = findMenuText(capture(display, window, 1024, kHeight), text);
		}
		return at;
	};
	std::this_thread::sleep_for(std::chrono::milliseconds(500));
	click({1024 - 8 - 35, 768 + 14});
	const gui::CPoint period = waitForText("Period       64 frames 4.00 ms");
	ASSERT_GE(period.x, 0) << "no period in the settings menu";
	click(period);
	// 128 frames: in 128 + out 256 frames at 48 kHz.
	const gui::CPoint choice = waitForText("128 frames 8.00 ms");
	ASSERT_GE(choice.x, 0) << "no 128-frame period at 8.00 ms in the list";
	editortest::writePng((fs::path(BRONTAL_TEST_OUTPUT_DIR) / "live-settings.png").string(),
	                     capture(display, window, 1024, kHeight));
	click(choice);
	EXPECT_TRUE(live.waitForOutput("128 frames (2.67 ms); latency in 128 + out 256 frames = 8.00 ms", 10))
	    << live.output() << live.errors();
	std::string title;
	for (int i = 0; i < 100 && title.find("/128") == std::string::npos; ++i)
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		title = titleOf(display, window);
	}
	EXPECT_NE(title.find("48000 Hz/128, latency 8.00 ms"), std::string::npos) << title;
	std::ifstream file(scratch.path() / "brontal" / "live.json");
	const std::string saved{std::istreambuf_iterator<char>(file), {}};
	EXPECT_NE(saved.find("\"period\": 128"), std::string::npos) << "not saved when applied: " << saved;

	// The overlay is gone: the strip's own figures show, and the editor at
	// its defaults (silence in) again.
	EXPECT_GE(waitForText("48000 Hz/128").x, 0) << "the strip does not show the new period";
	const std::optional<gui::CBitmap> golden =
	    editortest::readPng((fs::path(BRONTAL_SOURCE_DIR) / "tests" / "editor" / "golden" / "editor-default.png").string());
	ASSERT_TRUE(golden.has_value());
	long differing = -1;
	for (int i = 0; i < 50 && differing != 0; ++i)
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		const gui::CBitmap shot = capture(display, window, 1024, 768);
		differing = 0;
		for (int y = 0; y < 768; ++y)
			for (int x = 0; x < 1024; ++x)
				differing += shot.pixel(x, y) != golden->pixel(x, y);
	}
	EXPECT_EQ(differing, 0) << "the menus' overlay still covers the editor";
	EXPECT_EQ(live.quit(), 0) << live.errors();
	XCloseDisplay(display);
}

TEST(LiveWindow, ShowsTheEditorAndClosingItQuitsSavingTheSound)
{
	JackServer server(64);
	ScratchFolder scratch;
	// The user's preset folder in the scratch folder.
	const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
	setenv("HOME", (scratch.path() / "home").c_str(), 1);
	LiveProcess live({}, scratch.path(), scratch.path());
	setenv("HOME", home.c_str(), 1);
	ASSERT_TRUE(live.waitForOutput("window: open", 20)) << live.errors();

	Display* display = XOpenDisplay(nullptr);
	ASSERT_NE(display, nullptr);
	Window window = 0;
	std::string title;
	for (int i = 0; i < 200 && title.find("latency") == std::string::npos; ++i)
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		if (!window)
			window = findLiveWindow(display);
		if (window)
			title = titleOf(display, window);
	}
	ASSERT_NE(window, 0u) << "no window of class brontal-live";
	EXPECT_EQ(title.rfind("Brontal Live: jack " + server.name() + ", input 1, 48000 Hz/64, latency 4.00 ms", 0), 0u)
	    << title;
	// The panel, and the strip below it.
	constexpr int kPanelHeight = 768, kStripHeight = 28;
	XWindowAttributes attributes{};
	XGetWindowAttributes(display, window, &attributes);
	EXPECT_EQ(attributes.width, 1024);
	EXPECT_EQ(attributes.height, kPanelHeight + kStripHeight);

	// The editor draws itself on its own timer: give it a few ticks.
	std::this_thread::sleep_for(std::chrono::milliseconds(500));
	const gui::CBitmap shot = capture(display, window, 1024, kPanelHeight + kStripHeight);
	editortest::writePng((fs::path(BRONTAL_TEST_OUTPUT_DIR) / "live-window.png").string(), shot);
	const std::optional<gui::CBitmap> golden =
	    editortest::readPng((fs::path(BRONTAL_SOURCE_DIR) / "tests" / "editor" / "golden" / "editor-default.png").string());
	ASSERT_TRUE(golden.has_value());
	long differing = 0;
	for (int y = 0; y < 768; ++y)
		for (int x = 0; x < 1024; ++x)
			differing += shot.pixel(x, y) != golden->pixel(x, y);
	EXPECT_EQ(differing, 0) << "the window does not show the editor at its defaults (see live-window.png)";

	// With the riff playing the output meters rise: the editor's timer runs.
	{
		const auto riff = readChannels(demoRiff());
		LoopPlayer player(riff[0], "guitar_in");
		long lit = 0;
		for (int i = 0; i < 100 && lit == 0; ++i)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(20));
			const gui::CBitmap now = capture(display, window, 1024, kPanelHeight);
			for (int y = 190; y < 245; ++y)
				for (int x = 600; x < 900; ++x)
					lit += now.pixel(x, y) != golden->pixel(x, y);
		}
		EXPECT_GT(lit, 0) << "the output meters never moved";
	}

	// The strip: the panel's rule along its top, its band's colour, and text
	// in both of its inks (labels and values).
	EXPECT_EQ(shot.pixel(512, kPanelHeight), 0x3D5579u);
	std::set<uint32_t> colours;
	for (int y = kPanelHeight + 1; y < kPanelHeight + kStripHeight; ++y)
		for (int x = 0; x < 1024; ++x)
			colours.insert(shot.pixel(x, y));
	EXPECT_TRUE(colours.count(0x14151Au)) << "no strip background";
	EXPECT_TRUE(colours.count(0x6E96CDu)) << "no label ink";
	EXPECT_TRUE(colours.count(0xE8ECF0u)) << "no value ink";

	// The preset's right arrow: the first factory preset, in the sound and
	// on the strip.
	const int screen = DefaultScreen(display);
	const auto click = [&](int x) {
		XTestFakeMotionEvent(display, screen, x, kPanelHeight + 14, 0);
		XTestFakeButtonEvent(display, 1, True, 0);
		XTestFakeButtonEvent(display, 1, False, 0);
		XFlush(display);
	};
	click(870);
	EXPECT_TRUE(live.waitForOutput("preset: Ambient Swells", 10)) << live.output();
	// The panel follows on the editor's own timer, which the window runs.
	long moved = 0;
	for (int i = 0; i < 50 && moved == 0; ++i)
	{
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		const gui::CBitmap after = capture(display, window, 1024, kPanelHeight);
		moved = 0;
		for (int y = 0; y < kPanelHeight; ++y)
			for (int x = 0; x < 1024; ++x)
				moved += after.pixel(x, y) != golden->pixel(x, y);
	}
	EXPECT_GT(moved, 0) << "the panel does not show the preset's settings";

	// [SAVE]: the sound as the user's first preset, where hosts look.
	click(905);
	const fs::path saved = scratch.path() / "home" / ".vst3" / "presets" / factoryFolder() / "My Sound 1.vstpreset";
	EXPECT_TRUE(live.waitForOutput("saved: " + saved.string(), 10)) << live.output();
	EXPECT_EQ(settingsOf(saved.string()), settingsOf(factoryPresetPath("Ambient Swells")));

	// The window manager's close, as a player's click on the title bar's X.
	XEvent close{};
	close.xclient.type = ClientMessage;
	close.xclient.window = window;
	close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
	close.xclient.format = 32;
	close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
	XSendEvent(display, window, False, NoEventMask, &close);
	XFlush(display);
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
	while (live.output().find("callbacks ") == std::string::npos && std::chrono::steady_clock::now() < deadline)
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
	EXPECT_NE(live.output().find("callbacks "), std::string::npos) << "closing the window did not quit";
	EXPECT_EQ(live.quit(), 0);
	XCloseDisplay(display);
	EXPECT_EQ(settingsOf((scratch.path() / "brontal" / "live-last.vstpreset").string()),
	          settingsOf(factoryPresetPath("Ambient Swells")));
}

} // namespace
} // namespace brontal::livetest
