#include "platform/mac/dispatch_gcd.h"

#include <dispatch/dispatch.h>

namespace drivelark {

namespace {

// Hands a std::function to a C callback of GCD, which runs and frees it.
void runAndDelete(void* context) {
    auto* work = static_cast<std::function<void()>*>(context);
    (*work)();
    delete work;
}

void* boxed(std::function<void()> work) { return new std::function<void()>(std::move(work)); }

dispatch_time_t after(double seconds) {
    return dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(seconds * NSEC_PER_SEC));
}

// A timer source on the main queue, which the main run loop serves in its common modes, so it
// keeps firing while a menu is open or an alert is up.
class GCDRepeatingTimer final : public RepeatingTimer {
public:
    GCDRepeatingTimer(double interval, std::function<void()> tick)
        : tick_(std::move(tick)),
          source_(dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, dispatch_get_main_queue())) {
        dispatch_source_set_timer(source_, after(interval), static_cast<uint64_t>(interval * NSEC_PER_SEC),
                                  NSEC_PER_SEC / 100);
        dispatch_set_context(source_, &tick_);
        dispatch_source_set_event_handler_f(source_, [](void* context) {
            (*static_cast<std::function<void()>*>(context))();
        });
        dispatch_resume(source_);
    }
    ~GCDRepeatingTimer() override {
        dispatch_source_cancel(source_);
        dispatch_release(source_);
    }
    void cancel() override { dispatch_source_cancel(source_); }

private:
    std::function<void()> tick_;
    dispatch_source_t source_;
};

}  // namespace

void GCDDispatcher::runOnMain(std::function<void()> work) {
    dispatch_async_f(dispatch_get_main_queue(), boxed(std::move(work)), runAndDelete);
}

void GCDDispatcher::runOnMainAfter(double seconds, std::function<void()> work) {
    dispatch_after_f(after(seconds), dispatch_get_main_queue(), boxed(std::move(work)), runAndDelete);
}

std::shared_ptr<RepeatingTimer> GCDDispatcher::startRepeatingTimer(double interval, std::function<void()> tick) {
    return std::make_shared<GCDRepeatingTimer>(interval, std::move(tick));
}

void GCDDispatcher::runInBackground(QualityOfService quality, std::function<void()> work) {
    qos_class_t qos = quality == QualityOfService::utility ? QOS_CLASS_UTILITY : QOS_CLASS_USER_INITIATED;
    dispatch_async_f(dispatch_get_global_queue(qos, 0), boxed(std::move(work)), runAndDelete);
}

}  // namespace drivelark
