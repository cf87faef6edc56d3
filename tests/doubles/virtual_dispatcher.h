#pragma once

// Test double for the Dispatcher and Clock ports: a main queue on a virtual clock, all on the
// test's thread. Nothing runs until the test says so: `advance(3.0)` runs, in deadline order,
// everything that comes due within the next 3.0 virtual seconds; background jobs wait in their
// own queue until `runBackgroundJobs()`, so that a test decides the order in which they complete.

#include <ctime>
#include <deque>
#include <map>

#include "platform/clock.h"
#include "platform/dispatch.h"

namespace drivelark::testing {

class VirtualDispatcher final : public Dispatcher, public Clock {
public:
    // 2025-03-01 14:07:09 UTC; the double's local time zone is UTC.
    static constexpr double kStart = 1740838029.0;

    void runOnMain(std::function<void()> work) override { mainQueue_.emplace(now_, std::move(work)); }
    void runOnMainAfter(double seconds, std::function<void()> work) override {
        mainQueue_.emplace(now_ + seconds, std::move(work));
    }
    std::shared_ptr<RepeatingTimer> startRepeatingTimer(double interval, std::function<void()> tick) override {
        auto timer = std::make_shared<Timer>();
        scheduleTick(timer, interval, std::move(tick), now_ + interval);
        return timer;
    }
    void runInBackground(QualityOfService, std::function<void()> work) override { background_.push_back(std::move(work)); }

    Date now() override { return Date{now_}; }
    LocalDateTime localDateTime(Date date) override {
        std::time_t seconds = static_cast<std::time_t>(date.secondsSince1970);
        struct tm utc {};
        gmtime_r(&seconds, &utc);
        return LocalDateTime{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    }

    // Runs what is due now, then moves the clock forward by `seconds`, running each item that
    // comes due at its own time.
    void advance(double seconds) {
        double target = now_ + seconds;
        while (runNextDue(target)) {
        }
        now_ = target;
    }
    // Runs the waiting background jobs in the order they were submitted (also those that they
    // submit). What they post to the main queue waits for `advance`.
    void runBackgroundJobs() {
        while (!background_.empty()) {
            std::function<void()> job = std::move(background_.front());
            background_.pop_front();
            job();
        }
    }
    size_t pendingBackgroundJobs() const { return background_.size(); }
    // Runs background jobs and due main-queue work until neither has anything left.
    void runUntilIdle() {
        for (bool ran = true; ran || !background_.empty();) {
            runBackgroundJobs();
            for (ran = false; runNextDue(now_);) ran = true;
        }
    }

private:
    struct Timer final : RepeatingTimer {
        bool cancelled = false;
        void cancel() override { cancelled = true; }
    };
    void scheduleTick(std::shared_ptr<Timer> timer, double interval, std::function<void()> tick, double due) {
        mainQueue_.emplace(due, [=, this] {
            if (timer->cancelled) return;
            tick();
            if (!timer->cancelled) scheduleTick(timer, interval, tick, due + interval);
        });
    }
    bool runNextDue(double limit) {
        auto first = mainQueue_.begin();
        if (first == mainQueue_.end() || first->first > limit) return false;
        now_ = std::max(now_, first->first);
        std::function<void()> work = std::move(first->second);
        mainQueue_.erase(first);
        work();
        return true;
    }

    double now_ = kStart;
    std::multimap<double, std::function<void()>> mainQueue_;  // equal deadlines run in the order posted
    std::deque<std::function<void()>> background_;
};

}  // namespace drivelark::testing
