// The helper tool's system calls against the real Linux system, where the end-to-end tests do not
// show what they must never do. The rest the simulated Mac exercises.

#include "platform/posix/helper_system_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "ports/port_tests.h"

using namespace drivelark::helper;
using drivelark::testing::TemporaryDirectory;

TEST(PosixHelperSystemTest, DevicesAreReadThroughLinksNeverCreatedOrTruncatedAndOthersLocksSeen) {
    TemporaryDirectory folder;
    std::ofstream(folder / "image") << std::string(8192, 'n');
    std::filesystem::create_symlink(folder / "image", folder / "disk4s1");
    PosixHelperSystem system;
    DeviceBytes read = system.readStart(folder / "disk4s1", 512);
    EXPECT_EQ((std::pair{read.error, read.bytes}), (std::pair{0, std::string(512, 'n')}));
    EXPECT_EQ(system.openForWriting(folder / "rdisk9s9"), ENOENT);
    EXPECT_EQ(system.testWriteLock(folder / "missing").error, ENOENT);
    EXPECT_EQ(system.openForWriting(folder / "disk4s1"), 0);
    EXPECT_FALSE(system.testWriteLock(folder / "disk4s1").lockedByOther);
    EXPECT_EQ(system.readStart(folder / "image", 9000).bytes, std::string(8192, 'n'));
    EXPECT_EQ(system.readAlignedBlock(folder / "disk4s1"), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "rdisk9s9") || std::filesystem::exists(folder / "missing"));
    for (short type : {F_WRLCK, F_RDLCK}) {
        // A lock of another open file description conflicts as another process's lock does.
        int holder = ::open((folder / "image").c_str(), O_RDWR);
        struct flock lock = {};
        lock.l_type = type;
        ASSERT_EQ(::fcntl(holder, F_OFD_SETLK, &lock), 0);
        LockTest test = system.testWriteLock(folder / "disk4s1");
        EXPECT_TRUE(test.error == 0 && test.lockedByOther) << type;
        ::close(holder);
    }
}

// A call that a stalled disk holds cannot be interrupted: the watchdog ends the whole process, on
// time, with its status and message.
TEST(PosixHelperSystemTest, WatchdogEndsTheProcessOnTime) {
    PosixHelperSystem system;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    auto started = system.now();
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], 1);
        system.endProcessAfter(std::chrono::milliseconds(300), 7, "stopped\n");
        system.pause(std::chrono::seconds(30));
        ::_exit(0);
    }
    ::close(fds[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    char said[16] = {};
    EXPECT_EQ(::read(fds[0], said, sizeof said), 8);
    ::close(fds[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7 && std::string(said) == "stopped\n") << status;
    EXPECT_LT(system.now() - started, std::chrono::seconds(3));
}
