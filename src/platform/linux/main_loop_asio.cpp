#include "platform/linux/main_loop_asio.h"

#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <csignal>
#include <system_error>
#include <thread>

namespace drivelark {

namespace {

std::chrono::steady_clock::duration durationOf(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds < 0 ? 0 : seconds));
}

// Re-armed from its previous deadline, so that it does not drift with the time its tick takes.
// Deadlines that passed while a tick ran are skipped, as NSTimer skips them: a tick held up by a
// hung program is not followed by a burst of ticks that keeps everything else queued behind it.
class AsioRepeatingTimer final : public RepeatingTimer, public std::enable_shared_from_this<AsioRepeatingTimer> {
public:
    AsioRepeatingTimer(asio::io_context& context, double interval, std::function<void()> tick)
        : timer_(context), interval_(durationOf(interval)), tick_(std::move(tick)) {}

    void arm(std::chrono::steady_clock::time_point deadline) {
        timer_.expires_at(deadline);
        timer_.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (error || self->cancelled_) return;
            self->tick_();
            if (!self->cancelled_) self->arm(self->nextDeadline());
        });
    }

    void cancel() override {
        asio::post(timer_.get_executor(), [self = shared_from_this()] {
            self->cancelled_ = true;
            self->timer_.cancel();
        });
    }

    std::chrono::steady_clock::duration interval() const { return interval_; }

private:
    std::chrono::steady_clock::time_point nextDeadline() const {
        std::chrono::steady_clock::time_point next = timer_.expiry() + interval_;
        std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
        if (next <= now) next += ((now - next) / interval_ + 1) * interval_;
        return next;
    }

    asio::steady_timer timer_;
    std::chrono::steady_clock::duration interval_;
    std::function<void()> tick_;
    bool cancelled_ = false;
};

}  // namespace

AsioMainLoop::AsioMainLoop() : keepRunning_(asio::make_work_guard(context_)) {}

void AsioMainLoop::runOnMain(std::function<void()> work) { asio::post(context_, std::move(work)); }

void AsioMainLoop::runOnMainAfter(double seconds, std::function<void()> work) {
    // The timer is made on the main thread, since callers may be on any thread.
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + durationOf(seconds);
    asio::post(context_, [this, deadline, work = std::move(work)]() mutable {
        auto timer = std::make_shared<asio::steady_timer>(context_, deadline);
        timer->async_wait([timer, work = std::move(work)](const std::error_code& error) {
            if (!error) work();
        });
    });
}

std::shared_ptr<RepeatingTimer> AsioMainLoop::startRepeatingTimer(double interval, std::function<void()> tick) {
    auto timer = std::make_shared<AsioRepeatingTimer>(context_, interval, std::move(tick));
    std::chrono::steady_clock::time_point firstDeadline = std::chrono::steady_clock::now() + timer->interval();
    asio::post(context_, [timer, firstDeadline] { timer->arm(firstDeadline); });
    return timer;
}

void AsioMainLoop::runInBackground(QualityOfService, std::function<void()> work) {
    // One thread per job: a job stuck in a hung system call then blocks nobody else. Linux has
    // no quality-of-service classes for threads, so both kinds run alike.
    auto job = std::make_shared<std::function<void()>>(std::move(work));
    try {
        std::thread([job] { (*job)(); }).detach();
    } catch (const std::system_error&) {
        spare_.run([job] { (*job)(); });  // no thread to be had: the job waits its turn
    }
}

void AsioMainLoop::runUntilSignalled(std::function<void()> launched) {
    asio::signal_set signals(context_, SIGINT, SIGTERM);
    signals.async_wait([this](const std::error_code& error, int) {
        if (!error) context_.stop();
    });
    asio::post(context_, std::move(launched));
    context_.run();
}

}  // namespace drivelark
