// The shared editor tests' host on Linux: an X11 window on the private X
// server holding the editor, input through XTest, the run loop of the
// test's IPlugFrame.
// gtest before Xlib, whose macros (None, Bool) clash with gtest's names.
#include "editordriver.h"
#include "editorsession.h"

#include <X11/Xlib.h>

namespace brontal::editortest {
namespace {

constexpr const char* kAboutTitle = "About Brontal2";

class X11EditorDriver final : public EditorDriver
{
public:
	explicit X11EditorDriver(host::PluginInstance& instance) : m_session(instance.controller()) {}

	Steinberg::FIDString platformType() const override { return Steinberg::kPlatformTypeX11EmbedWindowID; }
	Steinberg::FIDString foreignPlatformType() const override { return Steinberg::kPlatformTypeHWND; }
	void* parentHandle() const override { return reinterpret_cast<void*>(m_session.parent()); }

	Steinberg::IPlugView* createView() override { return m_session.createView(); }
	Steinberg::IPlugView* view() const override { return m_session.view(); }
	Steinberg::tresult attach() override { return m_session.attach(); }
	Steinberg::tresult remove() override { return m_session.remove(); }
	void releaseView() override { m_session.releaseView(); }

	int resizeCount() const override { return m_session.plugFrame().resizeCount(); }
	Steinberg::ViewRect lastResize() const override { return m_session.plugFrame().lastResize(); }
	int childWindows() const override
	{
		Window root = 0;
		Window up = 0;
		Window* pChildren = nullptr;
		unsigned int uCount = 0;
		XQueryTree(m_session.display(), m_session.parent(), &root, &up, &pChildren, &uCount);
		if (pChildren)
			XFree(pChildren);
		return int(uCount);
	}
	bool aboutOpen() const override { return !m_session.windowsTitled(kAboutTitle).empty(); }

	void tick() override { m_session.tick(); }

	void moveTo(int x, int y) override { m_session.moveTo(x, y); }
	void press() override { m_session.press(); }
	void release() override { m_session.release(); }
	void click(int x, int y) override { m_session.click(x, y); }
	void doubleClick(int x, int y) override { m_session.doubleClick(x, y); }
	void rightClick(int x, int y) override { m_session.rightClick(x, y); }
	void wheel(int x, int y, int iNotches) override { m_session.wheel(x, y, iNotches); }
	void clickWith(Modifier modifier, int x, int y) override
	{
		m_session.key(keySym(modifier), true);
		m_session.click(x, y);
		m_session.key(keySym(modifier), false);
	}
	void dragWith(Modifier modifier, int x, int y, int iToX, int iToY) override
	{
		m_session.key(keySym(modifier), true);
		m_session.moveTo(x, y);
		m_session.press();
		m_session.moveTo(iToX, iToY);
		m_session.release();
		m_session.key(keySym(modifier), false);
	}

	gui::CBitmap screenshot() override { return m_session.screenshot(); }
	std::string imagePrefix() const override { return ""; }
	// The golden images are this suite's own captures, held to a few slight differences.
	bool exactGolden() const override { return false; }

	// One handler for the X connection, one 50 ms timer, both gone with the editor.
	void expectAttached(int) override
	{
		EXPECT_EQ(m_session.plugFrame().handlerCount(), 1u);
		EXPECT_EQ(m_session.plugFrame().timerIntervals(), std::vector<Steinberg::Linux::TimerInterval>{50});
	}
	void expectRemoved() override
	{
		ASSERT_EQ(m_session.plugFrame().handlerCount(), 0u);
		ASSERT_TRUE(m_session.plugFrame().timerIntervals().empty());
	}
	// The box is a window of its own here, which closing the editor takes along.
	void openAboutForRemove() override { m_session.click(990, 12); }

private:
	static const char* keySym(Modifier modifier) { return modifier == Modifier::Shift ? "Shift_L" : "Control_L"; }

	mutable EditorSession m_session;
};

} // namespace

std::unique_ptr<EditorDriver> makeEditorDriver(host::PluginInstance& instance)
{
	return std::make_unique<X11EditorDriver>(instance);
}

int windowSystemErrors()
{
	return EditorSession::xErrors();
}

} // namespace brontal::editortest
