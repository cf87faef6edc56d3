// The helper tool's system calls against the real Linux system, where the end-to-end tests do not
// show what they must never do. The rest the simulated Mac exercises.

#include "platform/posix/helper_system_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "ports/port_tests.h"

using namespace drivelark::helper;
using drivelark::testing::TemporaryDirectory;

// Devices are opened through links, never created or truncated, and another's lock is seen.
TEST(PosixHelperSystemTest, DevicesAreNeverCreatedOrTruncatedAndOthersLocksSeen) {
    TemporaryDirectory folder;
    std::ofstream(folder / "image") << std::string(8192, 'n');
    std::filesystem::create_symlink(folder / "image", folder / "disk4s1");
    PosixHelperSystem system;
    bool locked = true;
    std::string bytes;
    EXPECT_EQ(system.openForWriting(folder / "rdisk9s9").errorNumber(), ENOENT);
    EXPECT_EQ(system.testWriteLock(folder / "missing", &locked).errorNumber(), ENOENT);
    EXPECT_TRUE(system.openForWriting(folder / "disk4s1").ok());
    EXPECT_TRUE(system.testWriteLock(folder / "disk4s1", &locked).ok() && !locked);
    EXPECT_TRUE(system.readStart(folder / "disk4s1", 9000, &bytes).ok() && bytes == std::string(8192, 'n'));
    EXPECT_FALSE(std::filesystem::exists(folder / "rdisk9s9") || std::filesystem::exists(folder / "missing"));
    // Another open file description's read lock conflicts as another process's lock does.
    int holder = ::open((folder / "image").c_str(), O_RDWR);
    struct flock lock = {};
    lock.l_type = F_RDLCK;
    ASSERT_EQ(::fcntl(holder, F_OFD_SETLK, &lock), 0);
    EXPECT_TRUE(system.testWriteLock(folder / "disk4s1", &locked).ok() && locked);
    ::close(holder);
}

// A call that a stalled disk holds cannot be interrupted: the watchdog ends the whole process, on
// time, with its status and message.
TEST(PosixHelperSystemTest, WatchdogEndsTheProcessOnTime) {
    auto started = std::chrono::steady_clock::now();
    EXPECT_EXIT(
        {
            PosixHelperSystem system;
            ::dup2(2, 1);  // what it says, where the death test reads it
            system.endProcessAfter(std::chrono::milliseconds(300), 7, "stopped: mount\n");
            system.pause(std::chrono::seconds(30));
        },
        ::testing::ExitedWithCode(7), "^stopped: mount\n$");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}
