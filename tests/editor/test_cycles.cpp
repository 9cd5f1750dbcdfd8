// Opening and closing the editor again and again, in a binary linked with
// LeakSanitizer: anything the editor fails to free is reported at exit and
// fails the test. X errors of any connection are counted by the fixture.
#include "editorfixture.h"

#include <X11/Xlib.h>

using namespace brontal::editortest;
using namespace Steinberg;

namespace {

class EditorCycles : public EditorFixture
{
};

unsigned int childCount(Display* pDisplay, Window window)
{
	Window root = 0;
	Window parent = 0;
	Window* pChildren = nullptr;
	unsigned int uCount = 0;
	XQueryTree(pDisplay, window, &root, &parent, &pChildren, &uCount);
	if (pChildren)
		XFree(pChildren);
	return uCount;
}

} // namespace

TEST_F(EditorCycles, OpensAndClosesAHundredTimesLeavingNothingBehind)
{
	for (int i = 0; i < 100; ++i)
	{
		SCOPED_TRACE(i);
		// Every other cycle re-attaches the view of the previous one.
		if (i % 2 == 0)
		{
			ASSERT_NE(session->createView(), nullptr);
		}
		ASSERT_EQ(session->attach(), kResultTrue);
		controller()->setParamNormalized(13, 0.5);
		session->tick();
		if (i % 10 == 0)
			session->click(990, 12); // leave the About box open for removal
		ASSERT_EQ(session->remove(), kResultOk);
		ASSERT_EQ(session->plugFrame().handlerCount(), 0u);
		ASSERT_TRUE(session->plugFrame().timerIntervals().empty());
		ASSERT_EQ(childCount(session->display(), session->parent()), 0u);
		ASSERT_TRUE(session->windowsTitled("About Brontal2").empty());
	}
	session->releaseView();
}
