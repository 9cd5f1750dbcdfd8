// The shared editor tests' host on Windows: a top-level window with a child
// that the editor attaches to, input through SendInput (and, for modifier
// keys, the mouse messages themselves), captures from the editor's DC.
#include "editordriver.h"
#include "expectations.h"
#include "testhost.h"
#include "testscreenshots.h"

#include <cstdlib>

namespace brontal::editortest {
namespace {

using wintest::TestHost;

// The window class the module registers for its windows while it has any.
bool moduleClassRegistered()
{
	WNDCLASSEXW info{};
	info.cbSize = sizeof(info);
	return GetClassInfoExW(GetModuleHandleW(L"brontal1.vst3"), L"BrontalWindow", &info) != 0;
}

class Win32EditorDriver final : public EditorDriver
{
public:
	explicit Win32EditorDriver(host::PluginInstance& instance) : m_instance(instance) {}
	~Win32EditorDriver() override { releaseView(); }

	Steinberg::FIDString platformType() const override { return Steinberg::kPlatformTypeHWND; }
	Steinberg::FIDString foreignPlatformType() const override { return Steinberg::kPlatformTypeX11EmbedWindowID; }
	void* parentHandle() const override { return m_host.container(); }

	Steinberg::IPlugView* createView() override
	{
		releaseView();
		m_pView = m_instance.controller()->createView(Steinberg::Vst::ViewType::kEditor);
		return m_pView;
	}
	Steinberg::IPlugView* view() const override { return m_pView; }
	Steinberg::tresult attach() override
	{
		m_pView->setFrame(&m_host);
		const Steinberg::tresult result = m_pView->attached(m_host.container(), Steinberg::kPlatformTypeHWND);
		TestHost::settle();
		return result;
	}
	Steinberg::tresult remove() override
	{
		const Steinberg::tresult result = m_pView->removed();
		m_pView->setFrame(nullptr);
		TestHost::settle();
		return result;
	}
	void releaseView() override
	{
		if (m_pView)
			m_pView->release();
		m_pView = nullptr;
	}

	int resizeCount() const override { return m_host.resizeCount(); }
	Steinberg::ViewRect lastResize() const override { return m_host.lastResize(); }
	int childWindows() const override
	{
		int iCount = 0;
		for (HWND hChild = GetWindow(m_host.container(), GW_CHILD); hChild; hChild = GetWindow(hChild, GW_HWNDNEXT))
			++iCount;
		return iCount;
	}
	bool aboutOpen() const override { return FindWindowW(L"#32770", L"About Brontal2") != nullptr; }

	void tick() override { TestHost::tick(); }

	void moveTo(int x, int y) override { m_host.moveTo(x, y); }
	void press() override { TestHost::mouseDown(); }
	void release() override { TestHost::mouseUp(); }
	void click(int x, int y) override { m_host.click(x, y); }
	void doubleClick(int x, int y) override { m_host.doubleClick(x, y); }
	void rightClick(int x, int y) override
	{
		mouse(WM_RBUTTONDOWN, x, y, MK_RBUTTON);
		mouse(WM_RBUTTONUP, x, y, 0);
	}
	// Notches as Windows delivers them: screen coordinates, 120 a notch.
	void wheel(int x, int y, int iNotches) override
	{
		const POINT where = m_host.toScreen(x, y);
		for (int i = 0; i < std::abs(iNotches); ++i)
			SendMessageW(m_host.editorWindow(), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(iNotches > 0 ? WHEEL_DELTA : -WHEEL_DELTA)),
			             MAKELPARAM(where.x, where.y));
	}
	// Wine's display driver resets a SendInput Shift at the next real pointer
	// move, so these go to the window as the messages themselves.
	void clickWith(Modifier modifier, int x, int y) override
	{
		mouse(WM_LBUTTONDOWN, x, y, MK_LBUTTON | keyFlag(modifier));
		mouse(WM_LBUTTONUP, x, y, keyFlag(modifier));
	}
	void dragWith(Modifier modifier, int x, int y, int iToX, int iToY) override
	{
		mouse(WM_LBUTTONDOWN, x, y, MK_LBUTTON | keyFlag(modifier));
		mouse(WM_MOUSEMOVE, iToX, iToY, MK_LBUTTON | keyFlag(modifier));
		mouse(WM_LBUTTONUP, iToX, iToY, keyFlag(modifier));
	}

	gui::CBitmap screenshot() override { return TestHost::capture(m_host.container()); }
	std::string imagePrefix() const override { return "win32-"; }
	bool exactGolden() const override { return true; }

	void expectAttached(int iRound) override
	{
		const HWND hEditor = m_host.editorWindow();
		ASSERT_NE(hEditor, nullptr);
		EXPECT_EQ(GetParent(hEditor), m_host.container());
		EXPECT_TRUE(IsWindowVisible(hEditor));
		RECT client;
		GetClientRect(hEditor, &client);
		EXPECT_EQ(std::make_pair(int(client.right), int(client.bottom)), std::make_pair(1024, 768));
		EXPECT_TRUE(moduleClassRegistered());
		if (iRound == 0)
			wintest::writeScreenshot(TestHost::capture(m_host.topLevel(), true), "windows-editor");
		// The host's window in front of the editor, then away again: the
		// editor repaints what was hidden from its frame's image.
		RedrawWindow(m_host.topLevel(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
		TestHost::settle();
		expectLook(TestHost::capture(m_host.container()), defaultLook(), "win32-editor-repainted");
	}
	void expectRemoved() override
	{
		ASSERT_FALSE(moduleClassRegistered()) << "the window class outlives the last window";
	}
	// The box is modal here: the Win32 About tests open and close it.

private:
	static WPARAM keyFlag(Modifier modifier) { return modifier == Modifier::Shift ? MK_SHIFT : MK_CONTROL; }
	void mouse(UINT uMessage, int x, int y, WPARAM keys)
	{
		SendMessageW(m_host.editorWindow(), uMessage, keys, MAKELPARAM(x, y));
	}

	host::PluginInstance& m_instance;
	TestHost m_host;
	Steinberg::IPlugView* m_pView = nullptr;
};

} // namespace

std::unique_ptr<EditorDriver> makeEditorDriver(host::PluginInstance& instance)
{
	return std::make_unique<Win32EditorDriver>(instance);
}

// Win32 reports its errors to each call, which the tests check where they make them.
int windowSystemErrors()
{
	return 0;
}

} // namespace brontal::editortest
