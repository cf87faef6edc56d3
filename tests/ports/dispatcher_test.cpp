#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "platform/linux/main_loop_asio.h"

namespace drivelark {
namespace {

using Clock = std::chrono::steady_clock;

// Stops the loop under test the way the system does: with SIGTERM.
void stopLoop() { ::kill(::getpid(), SIGTERM); }

TEST(AsioMainLoopTest, MainQueueRunsOnTheLoopThreadInOrder) {
    AsioMainLoop loop;
    std::vector<std::string> order;
    std::thread::id loopThread;
    loop.runUntilSignalled([&] {
        loopThread = std::this_thread::get_id();
        loop.runOnMainAfter(0.05, [&] {
            order.push_back("late");
            stopLoop();
        });
        loop.runOnMainAfter(0.01, [&] { order.push_back("soon"); });
        loop.runOnMain([&] { order.push_back("now"); });
        order.push_back("launched");
    });
    EXPECT_EQ(loopThread, std::this_thread::get_id());
    EXPECT_EQ(order, (std::vector<std::string>{"launched", "now", "soon", "late"}));
}

TEST(AsioMainLoopTest, RepeatingTimerKeepsItsPaceUntilCancelled) {
    AsioMainLoop loop;
    std::vector<Clock::time_point> ticks;
    std::shared_ptr<RepeatingTimer> timer;
    auto started = Clock::now();
    loop.runUntilSignalled([&] {
        timer = loop.startRepeatingTimer(0.02, [&] {
            ticks.push_back(Clock::now());
            if (ticks.size() == 5) {
                timer->cancel();
                loop.runOnMainAfter(0.1, stopLoop);
            }
        });
    });
    ASSERT_EQ(ticks.size(), 5u);
    // Deadlines come from the previous deadline, so five ticks take five intervals, not more.
    EXPECT_GE(ticks[0] - started, std::chrono::milliseconds(20));
    EXPECT_GE(ticks[4] - started, std::chrono::milliseconds(100));
    EXPECT_LT(ticks[4] - started, std::chrono::milliseconds(1000));
}

TEST(AsioMainLoopTest, StuckBackgroundJobHoldsUpNoOtherJob) {
    AsioMainLoop loop;
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::thread::id jobThread;
    loop.runUntilSignalled([&] {
        loop.runInBackground(QualityOfService::utility, [&] {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return release; });  // a hung statvfs, say
        });
        loop.runInBackground(QualityOfService::userInitiated, [&] {
            jobThread = std::this_thread::get_id();
            loop.runOnMain(stopLoop);  // completions come back on the main queue
        });
    });
    EXPECT_NE(jobThread, std::thread::id());
    EXPECT_NE(jobThread, std::this_thread::get_id());
    std::lock_guard lock(mutex);
    release = true;
    released.notify_all();
}

TEST(AsioMainLoopTest, WorkPostedFromOtherThreadsRuns) {
    AsioMainLoop loop;
    std::atomic<int> done{0};
    loop.runUntilSignalled([&] {
        for (int i = 0; i < 20; ++i) {
            loop.runInBackground(QualityOfService::utility, [&] {
                loop.runOnMainAfter(0.001, [&] {
                    if (++done == 20) stopLoop();
                });
            });
        }
    });
    EXPECT_EQ(done, 20);
}

}  // namespace
}  // namespace drivelark
