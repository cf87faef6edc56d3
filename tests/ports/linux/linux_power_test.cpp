// Sleep and wake notices on Linux: logind's PrepareForSleep, sent on a private bus that stands in
// for the system bus. It has no logind, so no inhibitor lock is taken.

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cstdio>
#include <thread>

#include "platform/linux/linux_power.h"
#include "platform/linux/main_loop_asio.h"
#include "ports/port_tests.h"

using namespace drivelark;
using drivelark::testing::stopMainLoop;

// A bus daemon, a child of this test that ends with it at the latest; its address once it listens.
static pid_t startBus(std::string& address) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return -1;
    pid_t bus = ::fork();
    if (bus == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(out[1], STDOUT_FILENO);
        ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    char line[512] = {};
    FILE* printed = ::fdopen(out[0], "r");
    if (std::fgets(line, sizeof line, printed) != nullptr) address.assign(line, std::strcspn(line, "\n"));
    std::fclose(printed);
    return bus;
}

static void sendPrepareForSleep(const std::string& sleeping) {
    EXPECT_EQ(std::system(("dbus-send --system --type=signal /org/freedesktop/login1 "
                           "org.freedesktop.login1.Manager.PrepareForSleep boolean:" + sleeping).c_str()), 0);
}

TEST(LinuxPowerTest, SleepAndWakeNoticesArriveOnTheMainLoopInOrder) {
    std::string address;
    pid_t bus = startBus(address);
    ASSERT_GT(bus, 0);
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);  // for LinuxPower and dbus-send
    std::vector<std::string> notices;
    std::thread::id mainThread = std::this_thread::get_id();
    auto note = [&](const char* notice) {
        notices.push_back(std::this_thread::get_id() == mainThread ? notice : "elsewhere");
    };
    AsioMainLoop loop;
    LinuxPower power(loop.context());
    if (!address.empty()) {
        loop.runUntilSignalled([&] {
            power.watchSleep(
                [&](std::function<void()> ready) { note("sleep"), ready(), ready(), sendPrepareForSleep("false"); },
                [&] { note("wake"), stopMainLoop(); });
            sendPrepareForSleep("true");
            loop.runOnMainAfter(20, stopMainLoop);  // the deadline
        });
    }
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    ::kill(bus, SIGTERM);
    ::waitpid(bus, nullptr, 0);
    EXPECT_FALSE(address.empty()) << "dbus-daemon (Debian package dbus-daemon) did not start";
    EXPECT_EQ(notices, (std::vector<std::string>{"sleep", "wake"}));
}
