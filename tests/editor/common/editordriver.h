#pragma once
// What the editor tests shared by Linux and Windows need of a host: a host
// window for the editor, real input at editor coordinates, one timer tick,
// the window's pixels. tests/editor links the X11 host, tests/windows the
// Win32 one; each also adds the checks only its platform can make.
#include "host/plugininstance.h"
#include "widgets/cbitmap.h"

#include "pluginterfaces/gui/iplugview.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace brontal::editortest {

enum class Modifier
{
	Shift,
	Control
};

class EditorDriver
{
public:
	virtual ~EditorDriver() = default;

	// The window system this editor attaches to, and one it must refuse.
	virtual Steinberg::FIDString platformType() const = 0;
	virtual Steinberg::FIDString foreignPlatformType() const = 0;
	// The host window handed to attached().
	virtual void* parentHandle() const = 0;

	// A new view from the controller (one reference, owned by the driver).
	virtual Steinberg::IPlugView* createView() = 0;
	virtual Steinberg::IPlugView* view() const = 0;
	virtual Steinberg::tresult attach() = 0;
	virtual Steinberg::tresult remove() = 0;
	virtual void releaseView() = 0;

	// What the host saw: resize requests, windows inside its own, an About box.
	virtual int resizeCount() const = 0;
	virtual Steinberg::ViewRect lastResize() const = 0;
	virtual int childWindows() const = 0;
	virtual bool aboutOpen() const = 0;

	// Exactly one timer tick, then whatever it drew.
	virtual void tick() = 0;

	// Real input at editor coordinates.
	virtual void moveTo(int x, int y) = 0;
	virtual void press() = 0;
	virtual void release() = 0;
	virtual void click(int x, int y) = 0;
	virtual void doubleClick(int x, int y) = 0;
	virtual void rightClick(int x, int y) = 0;
	// Whole wheel notches at a point: positive turns away from the user.
	virtual void wheel(int x, int y, int iNotches) = 0;
	// A click, or a press, move and release, with a modifier key held as
	// the platform reports it with the mouse.
	virtual void clickWith(Modifier modifier, int x, int y) = 0;
	virtual void dragWith(Modifier modifier, int x, int y, int iToX, int iToY) = 0;

	// The editor's pixels as the window system shows them (0x00RRGGBB).
	virtual gui::CBitmap screenshot() = 0;
	// Prefix of the images a failed comparison leaves; whether the golden
	// images must match exactly.
	virtual std::string imagePrefix() const = 0;
	virtual bool exactGolden() const = 0;

	// The platform's own checks of an attached editor (the iRound-th attach
	// of one view) and of one just removed.
	virtual void expectAttached(int iRound) { (void)iRound; }
	virtual void expectRemoved() {}
	// Opens the About box where it is not modal, for a remove() to close.
	virtual void openAboutForRemove() {}
};

std::unique_ptr<EditorDriver> makeEditorDriver(host::PluginInstance& instance);
// Errors the window system reported to any connection of the process so far.
int windowSystemErrors();

// A plug-in instance from the built bundle and a host window for its editor.
class SharedEditorFixture : public ::testing::Test
{
protected:
	void SetUp() override
	{
		m_iErrorsBefore = windowSystemErrors();
		instance = std::make_unique<host::PluginInstance>(host::Module::load(BRONTAL_BUNDLE_PATH));
		driver = makeEditorDriver(*instance);
	}
	void TearDown() override
	{
		driver.reset();
		instance.reset();
		EXPECT_EQ(windowSystemErrors(), m_iErrorsBefore) << "window system errors";
	}

	// A new view attached to the host window; the handler starts empty.
	void openEditor()
	{
		ASSERT_NE(driver->createView(), nullptr);
		ASSERT_EQ(driver->attach(), Steinberg::kResultTrue);
		instance->handler().clear();
	}
	const std::vector<host::EditCall>& calls() { return instance->handler().calls(); }
	Steinberg::Vst::IEditController* controller() { return instance->controller(); }

	std::unique_ptr<host::PluginInstance> instance;
	std::unique_ptr<EditorDriver> driver;

private:
	int m_iErrorsBefore = 0;
};

} // namespace brontal::editortest
