// The helper tool's system calls against the real Linux system.

#include "helper/helper_system_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "ports/port_tests.h"

namespace drivelark::helper {
namespace {

using drivelark::testing::TemporaryDirectory;

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A child process that holds a POSIX lock of `type` on `path` for as long as this object lives.
class LockHolder {
public:
    LockHolder(const std::string& path, short type) {
        int ready[2], release[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(release), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]), ::close(release[1]);  // so that the parent's close ends the wait
            int fd = ::open(path.c_str(), O_RDWR);
            struct flock lock = {};
            lock.l_type = type;
            lock.l_whence = SEEK_SET;
            char byte = ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
            (void)::write(ready[1], &byte, 1);
            (void)::read(release[0], &byte, 1);
            ::_exit(0);
        }
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        EXPECT_EQ(byte, 'y');
        release_ = release[1];
        ::close(ready[0]), ::close(ready[1]), ::close(release[0]);
    }
    ~LockHolder() {
        ::close(release_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

TEST(PosixHelperSystemTest, BootSectorsAreReadThroughSymbolicLinks) {
    TemporaryDirectory folder;
    writeFile(folder / "image", std::string(600, 'n'));
    std::filesystem::create_symlink(folder / "image", folder / "disk4s1");
    PosixHelperSystem system(true);
    DeviceBytes read = system.readStart(folder / "disk4s1", 512);
    EXPECT_EQ(read.error, 0);
    EXPECT_EQ(read.bytes, std::string(512, 'n'));

    writeFile(folder / "short", "tiny");
    EXPECT_EQ(system.readStart(folder / "short", 512).bytes, "tiny");
    EXPECT_EQ(system.readStart(folder / "missing", 512).error, ENOENT);
}

TEST(PosixHelperSystemTest, TheWriteProbeNeitherCreatesNorTruncates) {
    TemporaryDirectory folder;
    PosixHelperSystem system(true);
    EXPECT_EQ(system.openForWriting(folder / "rdisk9s9"), ENOENT);
    EXPECT_FALSE(std::filesystem::exists(folder / "rdisk9s9"));

    writeFile(folder / "device", "contents");
    EXPECT_EQ(system.openForWriting(folder / "device"), 0);
    EXPECT_EQ(readFile(folder / "device"), "contents");
    EXPECT_EQ(system.openForWriting(folder.path()), EISDIR);
    EXPECT_EQ(system.openForWriting("/dev/null"), 0);
}

TEST(PosixHelperSystemTest, LocksOfOtherProcessesAreSeen) {
    TemporaryDirectory folder;
    writeFile(folder / "image", std::string(4096, '\0'));
    std::filesystem::create_symlink(folder / "image", folder / "disk4s1");
    PosixHelperSystem system(true);
    EXPECT_EQ(system.testWriteLock(folder / "disk4s1").lockedByOther, false);
    for (short type : {F_WRLCK, F_RDLCK}) {
        LockHolder holder(folder / "image", type);
        LockTest test = system.testWriteLock(folder / "disk4s1");
        EXPECT_EQ(test.error, 0);
        EXPECT_TRUE(test.lockedByOther) << type;
    }
    EXPECT_FALSE(system.testWriteLock(folder / "disk4s1").lockedByOther);
    EXPECT_EQ(system.testWriteLock(folder / "missing").error, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST(PosixHelperSystemTest, KeepaliveReadsOneAlignedBlock) {
    TemporaryDirectory folder;
    writeFile(folder / "image", std::string(8192, 'x'));
    PosixHelperSystem system(true);
    EXPECT_EQ(system.readAlignedBlock(folder / "image"), 0);
    EXPECT_EQ(system.readAlignedBlock("/dev/null"), 0);
    EXPECT_EQ(system.readAlignedBlock(folder / "missing"), ENOENT);
    EXPECT_EQ(readFile(folder / "image"), std::string(8192, 'x'));
}

TEST(PosixHelperSystemTest, DescribesFilesAndFolders) {
    TemporaryDirectory folder;
    writeFile(folder / "tool", "#!/bin/sh\n");
    ::chmod((folder / "tool").c_str(), 0751);
    std::filesystem::create_symlink(folder / "tool", folder / "link");
    PosixHelperSystem system(true);

    FileInfo tool = system.lstat(folder / "tool");
    EXPECT_TRUE(tool.isRegularFile);
    EXPECT_EQ(tool.mode, 0751u);
    EXPECT_EQ(tool.owner, ::geteuid());
    EXPECT_TRUE(system.lstat(folder / "link").isSymbolicLink);
    EXPECT_TRUE(system.stat(folder / "link").isRegularFile);
    EXPECT_EQ(system.lstat(folder / "missing").error, ENOENT);
    EXPECT_EQ(system.lstat(folder.path()).device, tool.device);

    ::mode_t previous = ::umask(022);
    EXPECT_EQ(system.makeDirectory(folder / "Data"), 0);
    ::umask(previous);
    FileInfo made = system.lstat(folder / "Data");
    EXPECT_TRUE(made.isDirectory);
    EXPECT_EQ(made.mode, 0755u);
    EXPECT_EQ(system.makeDirectory(folder / "Data"), EEXIST);
    EXPECT_EQ(system.checkEmptyDirectory(folder / "Data"), 0);
    EXPECT_EQ(system.checkEmptyDirectory(folder.path()), ENOTEMPTY);
    EXPECT_EQ(system.checkEmptyDirectory(folder / "tool"), ENOTDIR);
    std::filesystem::create_directory_symlink(folder / "Data", folder / "Data link");
    EXPECT_NE(system.checkEmptyDirectory(folder / "Data link"), 0);  // a link is never followed
    std::filesystem::remove(folder / "Data link");
    EXPECT_EQ(system.removeDirectory(folder.path()), ENOTEMPTY);
    EXPECT_EQ(system.removeDirectory(folder / "Data"), 0);

    EXPECT_EQ(system.volumeMode(folder.path()).error, 0);
    EXPECT_FALSE(system.volumeMode(folder.path()).readOnly);
    EXPECT_EQ(system.volumeMode(folder / "missing").error, ENOENT);
}

TEST(PosixHelperSystemTest, TheExecutablesFolderIsResolved) {
    PosixHelperSystem system(true);
    std::string executable = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(system.executableFolder(), executable.substr(0, executable.rfind('/')));
}

}  // namespace
}  // namespace drivelark::helper
