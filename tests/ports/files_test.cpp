// The file-system port where the core relies on more than a call's success: a flush that returns
// only once the writes are done, and a refusal of the system told apart from other failures.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "keepalive/volume_touch.h"
#include "platform/platform.h"
#include "ports/port_tests.h"

#if defined(__linux__)
#include <sys/fsuid.h>
#include <sys/syscall.h>
#endif

using namespace drivelark;
using drivelark::testing::nativePlatform;
using drivelark::testing::TemporaryDirectory;

#if defined(__linux__)
// Pages of `path` still to be written or being written (cachestat, Linux 6.5). macOS has no such count.
static long unwrittenPages(const std::string& path) {
    std::uint64_t range[2] = {0, 0};  // offset, length: the whole file
    std::uint64_t counts[5] = {};     // cached, dirty, under writeback, evicted, recently evicted
    int fd = ::open(path.c_str(), O_RDONLY);
    long result = ::syscall(451 /* cachestat */, fd, range, counts, 0);
    ::close(fd);
    return result == 0 ? static_cast<long>(counts[1] + counts[2]) : -1;
}
#endif

TEST(FilesTest, FlushReturnsOnceWrittenAndSaysWhyItFailed) {
    // On disk, not in a memory file system, so that there is something to write back.
    const std::string folder = DRIVELARK_TEST_SCRATCH_DIR;
    const std::string file = folder + "/flushed";
    std::ofstream(file) << std::string(4 << 20, 'x');
#if defined(__linux__)
    EXPECT_GT(unwrittenPages(file), 0);
#endif
    EXPECT_TRUE(nativePlatform().files.syncFileSystem(folder).ok());
#if defined(__linux__)
    EXPECT_EQ(unwrittenPages(file), 0);
#endif
    std::filesystem::remove(file);
    EXPECT_EQ(nativePlatform().files.syncFileSystem(folder + "/gone").errorNumber(), ENOENT);
}

// A volume the system keeps Drivelark out of (on a Mac: network volumes it was not allowed into)
// is reported as refused, which a missing one is not.
TEST(FilesTest, TouchTellsARefusalFromOtherFailures) {
    TemporaryDirectory folder;
    std::filesystem::create_directory(folder / "volume");
    std::ofstream(folder / "volume/file") << "x";
    std::filesystem::create_directory(folder / "closed");
    std::filesystem::permissions(folder / "closed", std::filesystem::perms::none);
    EXPECT_TRUE(touchVolume(nativePlatform().files, folder / "volume").ok());
    Status missing = touchVolume(nativePlatform().files, folder / "missing");
    EXPECT_TRUE(missing.errorNumber() == ENOENT && !missing.isRefusal()) << missing.toString();
    Status closed;
    std::thread([&] {
#if defined(__linux__)
        // Root passes every permission check: this thread looks at files as nobody, without the
        // capabilities that would let it in all the same.
        if (::geteuid() == 0) ::setfsgid(65534), ::setfsuid(65534);
#endif
        closed = touchVolume(nativePlatform().files, folder / "closed");
    }).join();
    EXPECT_TRUE(closed.isRefusal()) << closed.toString();
    std::filesystem::permissions(folder / "closed", std::filesystem::perms::owner_all);
}
