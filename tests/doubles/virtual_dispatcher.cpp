#include "doubles/virtual_dispatcher.h"

#include <cmath>
#include <ctime>

namespace drivelark::testing {

struct VirtualDispatcher::TimerState final : RepeatingTimer {
    bool cancelled = false;
    void cancel() override { cancelled = true; }
};

void VirtualDispatcher::schedule(double due, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    mainQueue_.emplace(std::make_pair(due, sequence_++), std::move(work));
}

void VirtualDispatcher::runOnMain(std::function<void()> work) { schedule(now().secondsSince1970, std::move(work)); }

void VirtualDispatcher::runOnMainAfter(double seconds, std::function<void()> work) {
    schedule(now().secondsSince1970 + seconds, std::move(work));
}

std::shared_ptr<RepeatingTimer> VirtualDispatcher::startRepeatingTimer(double interval, std::function<void()> tick) {
    auto state = std::make_shared<TimerState>();
    auto fire = std::make_shared<std::function<void(double)>>();
    std::weak_ptr<std::function<void(double)>> weakFire = fire;
    *fire = [this, state, interval, tick = std::move(tick), weakFire](double due) {
        if (state->cancelled) return;
        tick();
        auto next = weakFire.lock();
        if (next && !state->cancelled) schedule(due + interval, [next, due, interval] { (*next)(due + interval); });
    };
    double firstDue = now().secondsSince1970 + interval;
    schedule(firstDue, [fire, firstDue] { (*fire)(firstDue); });
    return state;
}

void VirtualDispatcher::runInBackground(QualityOfService quality, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    background_.emplace_back(quality, std::move(work));
}

Date VirtualDispatcher::now() {
    std::lock_guard lock(mutex_);
    return Date{now_};
}

LocalDateTime VirtualDispatcher::localDateTime(Date date) {
    std::time_t seconds = static_cast<std::time_t>(std::floor(date.secondsSince1970));
    struct tm utc {};
    gmtime_r(&seconds, &utc);
    return LocalDateTime{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
}

bool VirtualDispatcher::runNextDue(double limit) {
    std::function<void()> work;
    {
        std::lock_guard lock(mutex_);
        auto first = mainQueue_.begin();
        if (first == mainQueue_.end() || first->first.first > limit) return false;
        if (first->first.first > now_) now_ = first->first.first;
        work = std::move(first->second);
        mainQueue_.erase(first);
    }
    work();
    return true;
}

void VirtualDispatcher::advance(double seconds) {
    double target = now().secondsSince1970 + seconds;
    while (runNextDue(target)) {
    }
    std::lock_guard lock(mutex_);
    now_ = target;
}

void VirtualDispatcher::runBackgroundJobs() {
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard lock(mutex_);
            if (background_.empty()) break;
            job = std::move(background_.front().second);
            background_.pop_front();
        }
        job();
    }
}

size_t VirtualDispatcher::pendingBackgroundJobs() const {
    std::lock_guard lock(mutex_);
    return background_.size();
}

QualityOfService VirtualDispatcher::qualityOfJob(size_t index) const {
    std::lock_guard lock(mutex_);
    return background_.at(index).first;
}

void VirtualDispatcher::runUntilIdle() {
    for (;;) {
        runBackgroundJobs();
        bool ranMain = false;
        while (runNextDue(now().secondsSince1970)) ranMain = true;
        if (!ranMain && pendingBackgroundJobs() == 0) return;
    }
}

}  // namespace drivelark::testing
