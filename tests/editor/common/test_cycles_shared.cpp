// Opening and closing the editor again and again: every window, handler and
// timer goes with it each time. On Linux this runs in a binary linked with
// LeakSanitizer, so anything the editor fails to free fails it at exit.
#include "editordriver.h"

using namespace brontal::editortest;
using namespace Steinberg;

namespace {

class EditorCycles : public SharedEditorFixture
{
};

} // namespace

TEST_F(EditorCycles, OpensAndClosesAHundredTimesLeavingNothingBehind)
{
	for (int i = 0; i < 100; ++i)
	{
		SCOPED_TRACE(i);
		// Every other cycle re-attaches the view of the previous one.
		if (i % 2 == 0)
		{
			ASSERT_NE(driver->createView(), nullptr);
		}
		ASSERT_EQ(driver->attach(), kResultTrue);
		controller()->setParamNormalized(13, 0.5);
		driver->tick();
		if (i % 10 == 0)
			driver->openAboutForRemove();
		ASSERT_EQ(driver->remove(), kResultOk);
		driver->expectRemoved();
		if (HasFatalFailure())
			return;
		ASSERT_EQ(driver->childWindows(), 0);
		ASSERT_FALSE(driver->aboutOpen());
	}
	driver->releaseView();
}
