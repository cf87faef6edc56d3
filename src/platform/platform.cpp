#include "platform/platform.h"

#include <atomic>
#include <cstdlib>

namespace drivelark {

namespace {
std::atomic<Platform*> installed{nullptr};
}

Platform& platform() {
    Platform* services = installed.load(std::memory_order_acquire);
    if (services == nullptr) std::abort();
    return *services;
}

Platform* installPlatform(Platform* services) {
    return installed.exchange(services, std::memory_order_acq_rel);
}

}  // namespace drivelark
