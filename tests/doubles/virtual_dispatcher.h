#pragma once

// Test double for the Dispatcher and Clock ports: a single-threaded main queue on a virtual
// clock. Nothing runs until the test says so: `advance(3.0)` runs, in deadline order, everything
// that comes due within the next 3.0 virtual seconds; background jobs wait in their own queue
// until `runBackgroundJobs()`, so that a test decides the order in which they complete.
// Posting is thread-safe; running happens on the test's thread.

#include <deque>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/dispatch.h"

namespace drivelark::testing {

class VirtualDispatcher final : public Dispatcher, public Clock {
public:
    // 2025-03-01 14:07:09 UTC; the double's local time zone is UTC.
    static constexpr double kStart = 1740838029.0;

    void runOnMain(std::function<void()> work) override;
    void runOnMainAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<RepeatingTimer> startRepeatingTimer(double interval, std::function<void()> tick) override;
    void runInBackground(QualityOfService quality, std::function<void()> work) override;

    Date now() override;
    LocalDateTime localDateTime(Date date) override;

    // Runs what is due now, then moves the clock forward by `seconds`, running each item
    // that comes due at its own time.
    void advance(double seconds);
    // Runs the waiting background jobs in the order they were submitted (also those that they
    // submit). What they post to the main queue waits for `advance`.
    void runBackgroundJobs();
    size_t pendingBackgroundJobs() const;
    QualityOfService qualityOfJob(size_t index) const;
    // Runs background jobs and due main-queue work until neither has anything left.
    void runUntilIdle();

private:
    struct TimerState;
    void schedule(double due, std::function<void()> work);  // requires no lock held
    bool runNextDue(double limit);

    mutable std::mutex mutex_;
    double now_ = kStart;
    unsigned long sequence_ = 0;
    std::multimap<std::pair<double, unsigned long>, std::function<void()>> mainQueue_;
    std::deque<std::pair<QualityOfService, std::function<void()>>> background_;
};

}  // namespace drivelark::testing
