// brontal-live in real time at 64 frames on the dummy driver, its window
// open on a private X server (the editor drawing its meters), the demo riff
// playing round and round: the application's own callback time (mean and
// worst, as a share of the period), the callbacks that were late, and the
// server's xruns. The dummy driver's timer misses deadlines by itself on a
// shared machine, so its xruns are printed, not judged.
//
//   BRONTAL_LIVE_SECONDS=600 tests/live_realtime    (ten minutes)

#include "liverig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace brontal::livetest {
namespace {

TEST(LiveRealtime, CallbacksStayWithinTheirPeriodAt64Frames)
{
	const char* seconds = std::getenv("BRONTAL_LIVE_SECONDS");
	const int duration = seconds ? std::atoi(seconds) : 60;
	JackServer server(64);
	ScratchFolder scratch;
	const auto riff = readChannels(demoRiff());
	LiveProcess live({}, scratch.path(), scratch.path());
	ASSERT_TRUE(live.waitForOutput("window: open", 20)) << live.errors();
	{
		LoopPlayer player(riff[0], "guitar_in");
		std::this_thread::sleep_for(std::chrono::seconds(duration));
	}
	ASSERT_EQ(live.quit(), 0) << live.errors();
	const CallbackFigures figures = parseFigures(live.output());
	ASSERT_GT(figures.callbacks, 0) << live.output();
	std::printf("%d s at 64 frames, 48 kHz: %ld callbacks, mean %.1f%%, worst %.1f%% of the period; "
	            "late callbacks %ld; server xruns %ld\n",
	            duration, figures.callbacks, figures.meanPercent, figures.worstPercent, figures.late, figures.dropouts);
	RecordProperty("worst_percent", std::to_string(figures.worstPercent));
	// Every period ran: the dummy driver's 750 a second, less what it dropped.
	EXPECT_GT(figures.callbacks, 700L * duration * 9 / 10);
	// The bounds hold for the documented long run on a quiet machine: no
	// late callback, the worst under a quarter of the period. The CI minute
	// shares two cores with other suites, whose load lands inside a
	// callback now and then (a worst of 57 % measured beside a build), so
	// there they are only printed.
	if (seconds)
	{
		EXPECT_EQ(figures.late, 0);
		EXPECT_LT(figures.worstPercent, 25.0);
	}
}

} // namespace
} // namespace brontal::livetest
