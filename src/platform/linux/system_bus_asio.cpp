#include "platform/linux/system_bus_asio.h"

#include <poll.h>

#include <chrono>
#include <cstdint>

namespace drivelark {

std::unique_ptr<SystemBusAsio> SystemBusAsio::connect(asio::io_context& mainLoop) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) return nullptr;
    return std::make_unique<SystemBusAsio>(mainLoop, bus);
}

SystemBusAsio::SystemBusAsio(asio::io_context& mainLoop, sd_bus* bus)
    : bus_(bus), socket_(mainLoop, sd_bus_get_fd(bus)), timer_(mainLoop) {}

SystemBusAsio::~SystemBusAsio() {
    socket_.release();  // cancels the waits; their handlers no longer touch this object
    sd_bus_close_unref(bus_);
}

void SystemBusAsio::serve() {
    int processed;
    while ((processed = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (processed == 0) await();  // otherwise the connection is over: nothing more comes
}

void SystemBusAsio::await() {
    int events = sd_bus_get_events(bus_);
    if (events < 0) return;
    auto ready = [this](bool& waiting) {
        return [this, &waiting](const std::error_code& error) {
            if (error == asio::error::operation_aborted) return;
            waiting = false;
            if (!error) serve();
        };
    };
    if ((events & POLLIN) && !reading_) {
        reading_ = true;
        socket_.async_wait(asio::posix::stream_descriptor::wait_read, ready(reading_));
    }
    if ((events & POLLOUT) && !writing_) {
        writing_ = true;
        socket_.async_wait(asio::posix::stream_descriptor::wait_write, ready(writing_));
    }
    // An absolute time on CLOCK_MONOTONIC, the steady clock's; setting it cancels the last wait.
    std::uint64_t timeout = UINT64_MAX;
    if (sd_bus_get_timeout(bus_, &timeout) < 0 || timeout == UINT64_MAX) {
        timer_.cancel();
        return;
    }
    timer_.expires_at(std::chrono::steady_clock::time_point(std::chrono::microseconds(timeout)));
    timer_.async_wait([this](const std::error_code& error) {
        if (!error) serve();
    });
}

}  // namespace drivelark
