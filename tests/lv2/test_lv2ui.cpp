// The LV2 UI as an X11 host embeds it: the built brontal_ui.so loaded from
// the bundle, given a parent window on the private X server, run from the
// host's idle calls. It must draw what the VST 3 editor draws but the preset
// bar (the program is no port here): the composed panel, and its own golden
// image. It must write the port a click on a footswitch changes, with touch
// around it, and show what the host sends.

#include "cabinetpanel.h"
#include "expectations.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

// After gtest: Xlib's macros would rename its identifiers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using brontal::gui::CBitmap;
namespace et = brontal::editortest;

namespace {

constexpr int kX = 100, kY = 100, kWidth = 1024, kHeight = 768;

struct Write
{
	uint32_t port;
	float value;
};

// The host's side: a parent window, the features, the UI's calls.
class UiHost
{
public:
	explicit UiHost(const char* szPluginUri)
	{
		m_pDisplay = XOpenDisplay(nullptr);
		if (!m_pDisplay)
			throw std::runtime_error("no display");
		m_parent = XCreateSimpleWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), kX, kY, kWidth, kHeight, 0, 0, 0);
		XMapWindow(m_pDisplay, m_parent);
		XSync(m_pDisplay, False);
		m_pLibrary = dlopen(BRONTAL_LV2_DIR "/brontal.lv2/brontal_ui.so", RTLD_NOW | RTLD_LOCAL);
		if (!m_pLibrary)
			throw std::runtime_error(dlerror());
		const auto descriptorOf = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(m_pLibrary, "lv2ui_descriptor"));
		m_pDescriptor = descriptorOf ? descriptorOf(0) : nullptr;
		if (!m_pDescriptor)
			throw std::runtime_error("no UI descriptor");
		m_resize = {this, [](LV2UI_Feature_Handle h, int w, int ht) {
			            static_cast<UiHost*>(h)->resizes.push_back({w, ht});
			            return 0;
		            }};
		m_touch = {this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
			           static_cast<UiHost*>(h)->touches.push_back({port, grabbed ? 1.0f : 0.0f});
		           }};
		m_map = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UiHost*>(h)->map(uri); }};
		const LV2_Feature parent = {LV2_UI__parent, reinterpret_cast<void*>(m_parent)};
		const LV2_Feature resize = {LV2_UI__resize, &m_resize};
		const LV2_Feature touch = {LV2_UI__touch, &m_touch};
		const LV2_Feature urid = {LV2_URID__map, &m_map};
		const LV2_Feature* features[] = {&parent, &resize, &touch, &urid, nullptr};
		m_handle = m_pDescriptor->instantiate(
		    m_pDescriptor, szPluginUri, BRONTAL_LV2_DIR "/brontal.lv2/", &UiHost::WriteFunction, this, &widget, features);
		const auto* pIdle = static_cast<const LV2UI_Idle_Interface*>(m_pDescriptor->extension_data(LV2_UI__idleInterface));
		m_idle = pIdle ? pIdle->idle : nullptr;
	}
	~UiHost()
	{
		if (m_handle)
			m_pDescriptor->cleanup(m_handle);
		if (m_pLibrary)
			dlclose(m_pLibrary);
		XDestroyWindow(m_pDisplay, m_parent);
		XCloseDisplay(m_pDisplay);
	}

	bool open() const { return m_handle && m_idle; }

	// The host's idle calls for a while: the UI's timer ticks a few times.
	void idleFor(int ms)
	{
		XSync(m_pDisplay, False);
		const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
		while (std::chrono::steady_clock::now() < end)
		{
			m_idle(m_handle);
			std::this_thread::sleep_for(std::chrono::milliseconds(5));
		}
	}

	void portEvent(uint32_t port, float value) { m_pDescriptor->port_event(m_handle, port, sizeof value, 0, &value); }

	LV2_URID map(const char* uri) { return m_uris.emplace(uri, static_cast<LV2_URID>(m_uris.size() + 1)).first->second; }

	// What the plug-in's notify port tells of a control it moved, as an
	// atom:eventTransfer of the object.
	void controlValueEvent(uint32_t notifyPort, int32_t port, float value)
	{
		uint8_t buffer[256];
		LV2_Atom_Forge forge;
		lv2_atom_forge_init(&forge, &m_map);
		lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
		LV2_Atom_Forge_Frame object;
		lv2_atom_forge_object(&forge, &object, 0, map("https://brontal.example/lv2/brontal#ControlValue"));
		lv2_atom_forge_key(&forge, map("https://brontal.example/lv2/brontal#port"));
		lv2_atom_forge_int(&forge, port);
		lv2_atom_forge_key(&forge, map("https://brontal.example/lv2/brontal#value"));
		lv2_atom_forge_float(&forge, value);
		lv2_atom_forge_pop(&forge, &object);
		const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
		m_pDescriptor->port_event(m_handle, notifyPort, static_cast<uint32_t>(sizeof(LV2_Atom) + atom->size),
		                          map(LV2_ATOM__eventTransfer), buffer);
	}

	void click(int x, int y)
	{
		XTestFakeMotionEvent(m_pDisplay, DefaultScreen(m_pDisplay), kX + x, kY + y, CurrentTime);
		XTestFakeButtonEvent(m_pDisplay, 1, True, CurrentTime);
		XSync(m_pDisplay, False);
		idleFor(100);
		XTestFakeButtonEvent(m_pDisplay, 1, False, CurrentTime);
		idleFor(200);
	}

	CBitmap screenshot()
	{
		XSync(m_pDisplay, False);
		XImage* pImage = XGetImage(m_pDisplay, m_parent, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
		if (!pImage)
			throw std::runtime_error("XGetImage failed");
		CBitmap shot(kWidth, kHeight);
		for (int y = 0; y < kHeight; ++y)
			for (int x = 0; x < kWidth; ++x)
				shot.row(y)[x] = uint32_t(XGetPixel(pImage, x, y) & 0xffffff);
		XDestroyImage(pImage);
		return shot;
	}

	LV2UI_Widget widget = nullptr;
	std::vector<Write> writes;
	std::vector<Write> touches;
	std::vector<std::pair<int, int>> resizes;

private:
	static void WriteFunction(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
	                          const void* buffer)
	{
		ASSERT_EQ(size, sizeof(float));
		ASSERT_EQ(format, 0u);
		float value;
		std::memcpy(&value, buffer, sizeof value);
		static_cast<UiHost*>(const_cast<void*>(controller))->writes.push_back({port, value});
	}

	Display* m_pDisplay = nullptr;
	Window m_parent = 0;
	void* m_pLibrary = nullptr;
	const LV2UI_Descriptor* m_pDescriptor = nullptr;
	LV2UI_Handle m_handle = nullptr;
	int (*m_idle)(LV2UI_Handle) = nullptr;
	LV2UI_Resize m_resize{};
	LV2UI_Touch m_touch{};
	LV2_URID_Map m_map{};
	std::map<std::string, LV2_URID> m_uris;
};

// The DISTORTION footswitch's slot (params.json: x 263, y 310) and port
// (stereo 9, mono 7: after the audio, events and latency ports, the fourth
// parameter).
constexpr int kFootswitchX = 263 + 20, kFootswitchY = 310 + 20;

// The VST 3 editor's panel less the preset bar: the program is no port here.
et::Look Lv2DefaultLook()
{
	et::Look look = et::defaultLook();
	look.program.reset();
	return look;
}

TEST(Lv2Ui, DrawsTheVst3EditorsPanelInTheHostsWindow)
{
	UiHost host("https://brontal.example/lv2/brontal");
	ASSERT_TRUE(host.open());
	ASSERT_NE(host.widget, nullptr);
	host.idleFor(300);
	ASSERT_FALSE(host.resizes.empty());
	EXPECT_EQ(host.resizes.back(), std::make_pair(1024, 768));
	const et::Look look = Lv2DefaultLook();
	const CBitmap shot = host.screenshot();
	et::expectLook(shot, look, "lv2-editor-default");
	et::expectGolden(shot, "lv2-editor-default");
}

TEST(Lv2Ui, AClickOnAFootswitchWritesItsPortWithTouchAround)
{
	for (const auto& [uri, port] : {std::pair<const char*, uint32_t>{"https://brontal.example/lv2/brontal", 9},
	                                {"https://brontal.example/lv2/brontal-mono", 7}})
	{
		UiHost host(uri);
		ASSERT_TRUE(host.open());
		host.idleFor(200);
		host.click(kFootswitchX, kFootswitchY);
		ASSERT_EQ(host.writes.size(), 1u) << uri;
		EXPECT_EQ(host.writes[0].port, port);
		EXPECT_EQ(host.writes[0].value, 0.0f);
		ASSERT_EQ(host.touches.size(), 2u);
		EXPECT_EQ(host.touches[0].port, port);
		EXPECT_EQ(host.touches[0].value, 1.0f);
		EXPECT_EQ(host.touches[1].value, 0.0f);
		// And back on: the panel shows what it wrote.
		host.click(kFootswitchX, kFootswitchY);
		ASSERT_EQ(host.writes.size(), 2u);
		EXPECT_EQ(host.writes[1].value, 1.0f);
	}
}

// The UI has no cabinet of its own: the section shows the built-in one, and
// its buttons, or a file dropped, say where a response is chosen and write
// no port.
TEST(Lv2Ui, TheCabinetSectionPointsToTheHostsSettings)
{
	UiHost host("https://brontal.example/lv2/brontal");
	ASSERT_TRUE(host.open());
	host.idleFor(200);
	host.click((brontal::cabinetpanel::kLoad[0] + brontal::cabinetpanel::kLoad[2]) / 2,
	           (brontal::cabinetpanel::kLoad[1] + brontal::cabinetpanel::kLoad[3]) / 2);
	host.idleFor(100);
	et::Look look = Lv2DefaultLook();
	look.sCabinetMessage = "This host loads a response through its plug-in settings (the cabinet file)";
	et::expectLook(host.screenshot(), look, "lv2-cabinet-load");
	EXPECT_TRUE(host.writes.empty());
	EXPECT_TRUE(host.touches.empty());
}

// What the host sends shows: a footswitch it turns off, a meter it reports.
TEST(Lv2Ui, PortEventsMoveTheControlsAndMeters)
{
	UiHost host("https://brontal.example/lv2/brontal");
	ASSERT_TRUE(host.open());
	host.idleFor(200);
	const CBitmap before = host.screenshot();
	host.portEvent(9, 0.0f);   // Distortion ON OFF
	host.portEvent(18, 1.0f);  // Output Left Vumeter
	host.idleFor(200);
	const CBitmap after = host.screenshot();
	EXPECT_GT(et::differences(before, after, 0), 100);
	// A click now turns the footswitch the host turned off back on.
	host.click(kFootswitchX, kFootswitchY);
	ASSERT_EQ(host.writes.size(), 1u);
	EXPECT_EQ(host.writes[0].value, 1.0f);
	EXPECT_TRUE(host.writes.size() == 1);
}

// A control the DSP moved by itself (a MIDI footswitch), told on the notify
// port (30): the footswitch shows it, and its port is written with it, so
// that the host's port holds the value in force; the next click turns it
// back on. A meter or an unknown port in the same words changes nothing.
TEST(Lv2Ui, TheNotifyPortsControlValuesMoveTheControlsAndTheirPorts)
{
	UiHost host("https://brontal.example/lv2/brontal");
	ASSERT_TRUE(host.open());
	host.idleFor(200);
	const CBitmap before = host.screenshot();
	host.controlValueEvent(30, 18, 1.0f); // Output Left Vumeter: the DSP's own output
	host.controlValueEvent(30, 99, 1.0f);
	host.idleFor(200);
	EXPECT_EQ(et::differences(before, host.screenshot(), 0), 0);
	EXPECT_TRUE(host.writes.empty());
	host.controlValueEvent(30, 9, 0.0f); // Distortion ON OFF
	host.idleFor(200);
	EXPECT_GT(et::differences(before, host.screenshot(), 0), 100);
	ASSERT_EQ(host.writes.size(), 1u);
	EXPECT_EQ(host.writes[0].port, 9u);
	EXPECT_EQ(host.writes[0].value, 0.0f);
	host.click(kFootswitchX, kFootswitchY);
	ASSERT_EQ(host.writes.size(), 2u);
	EXPECT_EQ(host.writes[1].value, 1.0f);
}

} // namespace
