#pragma once

// One thread, started up front, that runs in turn the background jobs that could get no thread
// of their own when the system would start no more. Thread-safe.

#include <functional>
#include <memory>

namespace drivelark {

class SpareWorker {
public:
    SpareWorker();  // throws std::system_error when even this thread cannot start
    SpareWorker(const SpareWorker&) = delete;
    SpareWorker& operator=(const SpareWorker&) = delete;
    // Jobs still queued are run; the thread ends after them.
    ~SpareWorker();

    // Runs `job` after the jobs queued before it.
    void run(std::function<void()> job);

private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
};

}  // namespace drivelark
