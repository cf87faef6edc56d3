#pragma once

// Port: the main queue, main-loop timers and background work.
// Every method may be called from any thread.

#include <functional>
#include <memory>

namespace drivelark {

enum class QualityOfService { utility, userInitiated };

// A repeating timer; it keeps firing until cancelled or until the process ends.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
    virtual void cancel() = 0;
};

class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    // Runs `work` on the main thread, after what is already queued there.
    virtual void runOnMain(std::function<void()> work) = 0;
    // Runs `work` on the main thread `seconds` from now.
    virtual void runOnMainAfter(double seconds, std::function<void()> work) = 0;
    // Calls `tick` on the main thread every `interval` seconds, the first time one interval from now,
    // also while a menu or an alert is up. Deadlines that pass while a tick runs are dropped, save
    // at most one tick that may follow at once.
    virtual std::shared_ptr<RepeatingTimer> startRepeatingTimer(double interval,
                                                                std::function<void()> tick) = 0;
    // Runs `work` on a background thread. A job that never returns holds up no other job while
    // the system can start threads; when it can start no more, jobs wait their turn for a thread
    // rather than being lost.
    virtual void runInBackground(QualityOfService quality, std::function<void()> work) = 0;
};

}  // namespace drivelark
