#pragma once

// A connection to the D-Bus system bus through sd-bus, served on the Asio main loop: sd-bus
// reads and writes when its socket is ready or its timeout has passed, without a thread of its
// own. Main thread only.

#include <systemd/sd-bus.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>
#include <memory>

namespace drivelark {

class SystemBusAsio {
public:
    // None when there is no system bus to reach (DBUS_SYSTEM_BUS_ADDRESS, or the default socket).
    static std::unique_ptr<SystemBusAsio> connect(asio::io_context& mainLoop);
    SystemBusAsio(asio::io_context& mainLoop, sd_bus* bus);
    SystemBusAsio(const SystemBusAsio&) = delete;
    SystemBusAsio& operator=(const SystemBusAsio&) = delete;
    ~SystemBusAsio();

    sd_bus* get() const { return bus_; }
    // Lets sd-bus handle what is pending (calling the callbacks of its messages), then waits for
    // what it needs next. Also to be called once messages are queued outside a callback.
    void serve();

private:
    void await();

    sd_bus* bus_;
    asio::posix::stream_descriptor socket_;  // sd-bus's own: released, never closed, here
    asio::steady_timer timer_;
    bool reading_ = false;
    bool writing_ = false;
};

}  // namespace drivelark
