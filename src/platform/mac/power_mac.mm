#include <IOKit/IOMessage.h>
#include <IOKit/pwr_mgt/IOPMLib.h>

#include <memory>
#include <utility>

#include "platform/mac/cf_ref.h"
#include "platform/mac/power_mac.h"

namespace drivelark {

namespace {

// What the system's power notices reach. Registered for the life of the process.
struct SleepWatch {
    std::function<void(std::function<void()> ready)> willSleep;
    std::function<void()> didWake;
    io_connect_t rootPort = MACH_PORT_NULL;
};

// The sleep notice `notificationID` acknowledged once, however often Drivelark says it is ready.
std::function<void()> acknowledgement(io_connect_t rootPort, intptr_t notificationID) {
    auto sent = std::make_shared<bool>(false);
    return [rootPort, notificationID, sent] {
        if (std::exchange(*sent, true)) return;
        IOAllowPowerChange(rootPort, notificationID);
    };
}

// Runs on the main thread: the notification port's source is on the main run loop.
void powerNotice(void* context, io_service_t, uint32_t messageType, void* argument) {
    SleepWatch& watch = *static_cast<SleepWatch*>(context);
    auto notificationID = reinterpret_cast<intptr_t>(argument);
    switch (messageType) {
        case kIOMessageCanSystemSleep:  // idle sleep, which Drivelark does not hold up
            IOAllowPowerChange(watch.rootPort, notificationID);
            break;
        case kIOMessageSystemWillSleep: {
            watch.willSleep(acknowledgement(watch.rootPort, notificationID));
            break;
        }
        case kIOMessageSystemHasPoweredOn:
            watch.didWake();
            break;
    }
}

}  // namespace

Status MacPower::createNoDiskSleepAssertion(const std::string& name, std::uint32_t* id) {
    IOReturn result =
        IOPMAssertionCreateWithName(kIOPMAssertPreventDiskIdle, kIOPMAssertionLevelOn, makeCFString(name).get(), id);
    if (result == kIOReturnSuccess) return Status();
    return Status("IOPMAssertionCreateWithName " + name + " returned " + std::to_string(result));
}

void MacPower::releaseAssertion(std::uint32_t id) { IOPMAssertionRelease(id); }

void MacPower::watchSleep(std::function<void(std::function<void()> ready)> willSleep, std::function<void()> didWake) {
    auto watch = std::make_unique<SleepWatch>(SleepWatch{std::move(willSleep), std::move(didWake)});
    IONotificationPortRef notificationPort = nullptr;
    io_object_t notifier = MACH_PORT_NULL;
    watch->rootPort = IORegisterForSystemPower(watch.get(), &notificationPort, powerNotice, &notifier);
    if (watch->rootPort == MACH_PORT_NULL) return;
    // In the common modes, so that notices arrive while a menu is open or an alert is up.
    CFRunLoopAddSource(CFRunLoopGetMain(), IONotificationPortGetRunLoopSource(notificationPort), kCFRunLoopCommonModes);
    watch.release();  // the registration, its port and its notifier stay until the process ends
}

}  // namespace drivelark
