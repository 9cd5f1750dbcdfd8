#pragma once
#include "testplugframe.h"
#include "widgets/cbitmap.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace brontal::editortest {

// Where the test host's window sits on the screen, and its size.
constexpr int kParentX = 100;
constexpr int kParentY = 100;
constexpr int kParentWidth = 1024;
constexpr int kParentHeight = 768;

// A host window holding the plug-in's editor, with real input through
// XTest on a connection of the test's own. Counts X errors of every
// connection in the process, the plug-in's included.
class EditorSession
{
public:
	explicit EditorSession(Steinberg::Vst::IEditController* pController);
	~EditorSession();
	EditorSession(const EditorSession&) = delete;
	EditorSession& operator=(const EditorSession&) = delete;

	// A new view from the controller (one reference, owned by the session).
	Steinberg::IPlugView* createView();
	Steinberg::IPlugView* view() const { return m_pView; }
	Steinberg::tresult attach();
	Steinberg::tresult remove();
	void releaseView();

	TestPlugFrame& plugFrame() { return m_frame; }
	Display* display() const { return m_pDisplay; }
	Window parent() const { return m_parent; }

	// One timer tick, then whatever it drew.
	void tick();
	// Lets the server handle our requests, then the plug-in its events.
	void settle();

	// Real input at window coordinates of the editor.
	void moveTo(int x, int y);
	void press();
	void release();
	void click(int x, int y);
	void rightClick(int x, int y);
	// Two clicks sent together, so the server stamps them a moment apart.
	void doubleClick(int x, int y);
	// Wheel notches at a point: positive turns away from the user.
	void wheel(int x, int y, int iNotches);
	void key(const char* szKeySym, bool bDown);

	// The window's pixels as the server shows them (0x00RRGGBB).
	gui::CBitmap screenshot();

	// Viewable top-level windows with this title.
	std::vector<Window> windowsTitled(const std::string& title) const;
	Window transientFor(Window window) const;
	std::vector<Atom> atomList(Window window, const char* szProperty) const;
	// Top-left corner of a window on the screen.
	std::pair<int, int> screenPosition(Window window) const;

	static int xErrors();

private:
	Steinberg::Vst::IEditController* m_pController;
	TestPlugFrame m_frame;
	Display* m_pDisplay;
	Window m_parent;
	Steinberg::IPlugView* m_pView = nullptr;
};

} // namespace brontal::editortest
