#include "platform/linux/linux_power.h"

#include <fcntl.h>

#include <asio/post.hpp>

namespace drivelark {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";

}  // namespace

void LinuxPower::watchSleep(std::function<void(std::function<void()>)> willSleep, std::function<void()> didWake) {
    willSleep_ = std::move(willSleep);
    didWake_ = std::move(didWake);
    bus_ = SystemBusAsio::connect(mainLoop_);
    if (!bus_) return;
    // Any sender: logind's, or a test bus's. Waits for the bus to confirm the match, so that no
    // notice sent once this returns is missed (the bus daemon answers that itself, at once).
    if (sd_bus_match_signal(bus_->get(), nullptr, nullptr, kLogindPath, kLogindManager, "PrepareForSleep",
                            &LinuxPower::prepareForSleep, this) < 0) {
        bus_.reset();
        return;
    }
    takeInhibitorLock();
    asio::post(mainLoop_, [this] { bus_->serve(); });
}

void LinuxPower::takeInhibitorLock() {
    sd_bus_call_method_async(bus_->get(), nullptr, kLogind, kLogindPath, kLogindManager, "Inhibit",
                             &LinuxPower::inhibited, this, "ssss", "sleep", "Drivelark",
                             "Writes back the NTFS volumes it mounted", "delay");
}

int LinuxPower::inhibited(sd_bus_message* reply, void* self, sd_bus_error*) {
    int fd = -1;  // the message's own: ours is a copy
    if (sd_bus_message_is_method_error(reply, nullptr) || sd_bus_message_read(reply, "h", &fd) < 0) return 0;
    int lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (lock >= 0) static_cast<LinuxPower*>(self)->inhibitor_ = std::make_unique<Descriptor>(lock);
    return 0;
}

int LinuxPower::prepareForSleep(sd_bus_message* signal, void* self, sd_bus_error*) {
    auto* power = static_cast<LinuxPower*>(self);
    int sleeping = 0;
    if (sd_bus_message_read(signal, "b", &sleeping) < 0) return 0;
    if (sleeping) {
        // Closed once, on the first call of `ready` (or when the last copy of it goes).
        std::shared_ptr<Descriptor> lock = std::move(power->inhibitor_);
        power->willSleep_([lock] {
            if (lock) lock->reset();
        });
    } else {
        power->takeInhibitorLock();
        power->didWake_();
    }
    return 0;
}

}  // namespace drivelark
