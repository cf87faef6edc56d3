#include "platform/linux/spare_worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace drivelark {

// Shared with the thread, which may still be running a job when the worker is destroyed.
struct SpareWorker::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool closed = false;

    void serve() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closed || !jobs.empty(); });
            if (jobs.empty()) return;
            std::function<void()> job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
};

SpareWorker::SpareWorker() : queue_(std::make_shared<Queue>()) {
    std::thread([queue = queue_] { queue->serve(); }).detach();
}

SpareWorker::~SpareWorker() {
    std::lock_guard lock(queue_->mutex);
    queue_->closed = true;
    queue_->changed.notify_one();
}

void SpareWorker::run(std::function<void()> job) {
    std::lock_guard lock(queue_->mutex);
    queue_->jobs.push_back(std::move(job));
    queue_->changed.notify_one();
}

}  // namespace drivelark
