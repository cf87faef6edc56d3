#pragma once

// The main queue, main-loop timers and global queues of Grand Central Dispatch.
// Every method may be called from any thread.

#include "platform/dispatch.h"

namespace drivelark {

class GCDDispatcher final : public Dispatcher {
public:
    void runOnMain(std::function<void()> work) override;
    void runOnMainAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<RepeatingTimer> startRepeatingTimer(double interval, std::function<void()> tick) override;
    void runInBackground(QualityOfService quality, std::function<void()> work) override;
};

}  // namespace drivelark
