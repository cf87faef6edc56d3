#pragma once

// Test double for the Dispatcher and Clock ports: a main queue on a virtual clock, all on the
// test's thread. Nothing runs until the test says so: `advance(3.0)` runs, in deadline order,
// everything that comes due within the next 3.0 virtual seconds; background jobs wait in their
// own queue until `runUntilIdle()`, so that a test decides when they complete. A call that never
// returns (a dead mount, a hung program) throws NeverReturns in a double: the job that made it is
// dropped where it stands, as a thread blocked for good would be. One that has not returned yet
// (a password dialog still open) throws StillRunning: its job is run again from the start at the
// next `runUntilIdle()`, so it should make that call first.

#include <deque>
#include <map>

#include "platform/clock.h"
#include "platform/dispatch.h"

namespace drivelark::testing {

struct NeverReturns {};
struct StillRunning {};

class VirtualDispatcher final : public Dispatcher, public Clock {
public:
    void runOnMain(std::function<void()> job) override { runOnMainAfter(0, job); }
    void runOnMainAfter(double seconds, std::function<void()> job) override { mainQueue_.emplace(now_ + seconds, job); }
    std::shared_ptr<RepeatingTimer> startRepeatingTimer(double interval, std::function<void()> tick) override {
        auto timer = std::make_shared<Timer>();
        scheduleTick(timer, interval, std::move(tick), now_ + interval);
        return timer;
    }
    void runInBackground(QualityOfService, std::function<void()> job) override { background_.push_back(job); }

    Date now() override { return Date{now_}; }
    // Nothing looks at the log's time stamps.
    LocalDateTime localDateTime(Date) override { return {}; }

    // Runs what is due now, then moves the clock forward by `seconds`, running each item that
    // comes due at its own time.
    void advance(double seconds) {
        const double target = now_ + seconds;
        while (runNextDue(target)) {}
        now_ = target;
    }
    // Runs the background jobs in the order they were submitted (also those that they submit),
    // then the main-queue work due now, until neither has anything left.
    void runUntilIdle() {
        std::deque<std::function<void()>> waiting;
        while (!background_.empty() || (!mainQueue_.empty() && mainQueue_.begin()->first <= now_)) {
            for (; !background_.empty(); background_.pop_front()) {
                try {
                    background_.front()();
                } catch (const NeverReturns&) {
                } catch (const StillRunning&) {
                    waiting.push_back(background_.front());
                }
            }
            advance(0);
        }
        background_ = std::move(waiting);
    }

private:
    struct Timer final : RepeatingTimer {
        void cancel() override { cancelled = true; }
        bool cancelled = false;
    };
    void scheduleTick(std::shared_ptr<Timer> timer, double interval, std::function<void()> tick, double due) {
        mainQueue_.emplace(due, [=, this] {
            if (!timer->cancelled) tick();
            if (!timer->cancelled) scheduleTick(timer, interval, tick, due + interval);
        });
    }
    bool runNextDue(double limit) {
        if (mainQueue_.empty() || mainQueue_.begin()->first > limit) return false;
        auto item = mainQueue_.extract(mainQueue_.begin());
        now_ = std::max(now_, item.key());
        item.mapped()();
        return true;
    }

    double now_ = 1740838029.0;  // 2025-03-01 14:07:09 UTC
    std::multimap<double, std::function<void()>> mainQueue_;  // equal deadlines run in the order posted
    std::deque<std::function<void()>> background_;
};

}  // namespace drivelark::testing
