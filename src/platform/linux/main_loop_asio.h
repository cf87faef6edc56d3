#pragma once

// The main thread's event loop on Linux, driven by Asio, with background work on threads of
// its own (and on one spare thread when the system starts no more). Every method may be called
// from any thread.

#include <asio/io_context.hpp>
#include <asio/executor_work_guard.hpp>
#include <functional>

#include "platform/dispatch.h"
#include "platform/linux/spare_worker.h"

namespace drivelark {

class AsioMainLoop final : public Dispatcher {
public:
    AsioMainLoop();

    void runOnMain(std::function<void()> work) override;
    void runOnMainAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<RepeatingTimer> startRepeatingTimer(double interval, std::function<void()> tick) override;
    void runInBackground(QualityOfService quality, std::function<void()> work) override;

    // Runs the loop on the calling thread until SIGINT or SIGTERM arrives, calling `launched`
    // first. Work posted afterwards is dropped.
    void runUntilSignalled(std::function<void()> launched);

    // The loop's own context, for watching descriptors on the main thread.
    asio::io_context& context() { return context_; }

private:
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> keepRunning_;
    SpareWorker spare_;
};

}  // namespace drivelark
