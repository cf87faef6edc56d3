#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

#include "platform/platform.h"
#include "ports/port_tests.h"

using namespace drivelark;
using namespace drivelark::testing;
using SteadyClock = std::chrono::steady_clock;

TEST(DispatcherTest, MainQueueRunsInOrderOnTheLoopThreadAndNoJobHoldsUpAnother) {
    std::vector<std::string> order;
    std::promise<void> release;
    std::thread::id mainId = std::this_thread::get_id();
    int done = 0;  // on the main thread only
    auto stopWhenAllRan = [&] { if (done == 20 && order.size() == 4) stopMainLoop(); };
    runMainLoop([&](Dispatcher& dispatcher) {
        // A hung statvfs, say. It outlives this test, so it holds its own share of what it waits on.
        dispatcher.runInBackground(QualityOfService::utility,
                                   [released = release.get_future().share()] { released.wait(); });
        for (int i = 0; i < 20; ++i) {
            dispatcher.runInBackground(QualityOfService::userInitiated, [&, mainId] {
                bool elsewhere = std::this_thread::get_id() != mainId;
                dispatcher.runOnMain([&, elsewhere] { done += elsewhere, stopWhenAllRan(); });
            });
        }
        dispatcher.runOnMainAfter(0.05, [&] { order.push_back("late"), stopWhenAllRan(); });
        dispatcher.runOnMainAfter(0.01, [&] { order.push_back(std::this_thread::get_id() == mainId ? "soon" : "?"); });
        dispatcher.runOnMain([&] { order.push_back("now"); });
        order.push_back("launched");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"launched", "now", "soon", "late"}));
    EXPECT_EQ(done, 20);
    release.set_value();
}

// The first deadline is an interval away and no tick comes early. Five deadlines pass during a
// long tick: GCD runs one tick for all of them at once, NSTimer and the Asio loop none; after
// that, ticks keep the timer's own rhythm, which began a few microseconds after `started`.
TEST(DispatcherTest, RepeatingTimerDropsTheTicksALongTickMissedAndEndsWhenCancelled) {
    using std::chrono::milliseconds;
    const milliseconds interval(50);
    SteadyClock::time_point longTickEnded;
    std::vector<SteadyClock::time_point> ticks;
    std::shared_ptr<RepeatingTimer> timer;
    auto started = SteadyClock::now();
    runMainLoop([&](Dispatcher& dispatcher) {
        timer = dispatcher.startRepeatingTimer(0.05, [&] {
            ticks.push_back(SteadyClock::now());
            if (ticks.size() == 2) {
                std::this_thread::sleep_for(milliseconds(270));  // a pass held up by a hung program
                longTickEnded = SteadyClock::now();
            }
            if (ticks.size() < 5) return;
            timer->cancel();
            dispatcher.runOnMainAfter(0.1, stopMainLoop);  // time for another tick, were there one
        });
    });
    ASSERT_EQ(ticks.size(), 5u);
    for (size_t k = 0; k < ticks.size(); ++k) EXPECT_GE(ticks[k] - started, (k + 1) * interval) << k;
    SteadyClock::time_point nextOnRhythm = started + ((longTickEnded - started) / interval + 1) * interval;
    EXPECT_LE(std::count_if(ticks.begin() + 2, ticks.end(),
                            [&](SteadyClock::time_point tick) { return tick < nextOnRhythm - milliseconds(5); }),
              1);
}

// Were static destructors run at the end, this one would report it.
struct ReportsStaticDestruction { ~ReportsStaticDestruction() { std::_Exit(3); } };

TEST(DispatcherTest, ApplicationEndsWithoutDestroyingWhatARunningJobUses) {
    EXPECT_EXIT(
        {
            ::alarm(20);
            static ReportsStaticDestruction reporter;
            NativePlatform* native = makeNativePlatform().release();  // as main() has it
            Platform* services = &native->services();
            native->runApplication([services] {
                services->dispatcher.runInBackground(QualityOfService::utility, [services] {
                    services->dispatcher.runOnMain([services] { services->ui.quit(); });  // the menu's Quit
                    for (;;) ::pause();
                });
            }, [] {});
        },
        ::testing::ExitedWithCode(0), "");
}
