// What only the Linux implementations have: the property-list file of the defaults store
// (CFPreferences keeps its files its own way), a main loop that starts its own threads (libdispatch
// on Linux waits inside dispatch_async until it can start one), and the kernel's mount table.

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "platform/linux/defaults_store_plist_file.h"
#include "platform/linux/main_loop_asio.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/volume_events_mountinfo.h"
#include "ports/port_tests.h"

using namespace drivelark;
using drivelark::testing::TemporaryDirectory;

static std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(PlistFileDefaultsStoreTest, DamagedFilesAreMovedAsideNeverOverEachOther) {
    TemporaryDirectory home;
    const std::string damaged[] = {"<plist><dict><key>managedDevs</key><dict><key>/Volumes/A</key>",  // cut short
                                   "<plist version=\"1.0\"><array/></plist>", "bplist00"};           // no dictionary
    for (const std::string& bytes : damaged) {
        std::ofstream(home / "prefs.plist") << bytes;
        PlistFileDefaultsStore store(home / "prefs.plist");
        EXPECT_FALSE(store.value("managedDevs"));
        EXPECT_TRUE(store.setValue("autoMount", true));
    }
    EXPECT_EQ(readFile(home / "prefs.plist.damaged"), damaged[0]);
    EXPECT_EQ(readFile(home / "prefs.plist.damaged 1"), damaged[1]);
    EXPECT_EQ(readFile(home / "prefs.plist.damaged 2"), damaged[2]);
}

TEST(PlistFileDefaultsStoreTest, UnreadableFileCostsNoStoredSetting) {
    TemporaryDirectory home;
    std::filesystem::create_directory(home / "prefs.plist");  // opens, but read() fails
    PlistFileDefaultsStore store(home / "prefs.plist");
    EXPECT_FALSE(store.value("autoMount"));
    EXPECT_FALSE(store.setValue("managedNames", "x"));
    EXPECT_FALSE(std::filesystem::exists(home / "prefs.plist.damaged"));
    // Readable again: its content is read then, not replaced by an empty document.
    std::filesystem::remove(home / "prefs.plist");
    std::ofstream(home / "prefs.plist") << "<plist><dict><key>autoMount</key><false/></dict></plist>";
    EXPECT_EQ(store.value("autoMount"), PlistValue(false));
    EXPECT_TRUE(store.setValue("managedNames", "x"));
    EXPECT_EQ(PlistFileDefaultsStore(home / "prefs.plist").value("autoMount"), PlistValue(false));
}

// In a child process, since it cuts down its address space.
static bool jobsRunWithoutThreads() {
    ::alarm(20);
    AsioMainLoop loop;
    long pages = 0;  // the address space cut to what is in use plus 4 MiB: no room for an 8 MiB stack
    std::ifstream("/proc/self/statm") >> pages;
    rlim_t bytes = static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + (4 << 20));
    struct rlimit limit = {bytes, bytes};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) return false;
    try {
        std::thread([] {}).join();
        return false;  // the premise failed: a thread still starts
    } catch (const std::system_error&) {
    }
    std::vector<int> finished;
    loop.runUntilSignalled([&] {
        for (int job = 0; job < 3; ++job) {
            loop.runInBackground(QualityOfService::utility, [&loop, &finished, job] {
                loop.runOnMain([&finished, job] {
                    finished.push_back(job);
                    if (finished.size() == 3) ::kill(::getpid(), SIGTERM);
                });
            });
        }
    });
    return finished == std::vector<int>{0, 1, 2};
}

TEST(AsioMainLoopTest, JobsWaitTheirTurnWhenNoThreadCanStart) {
    EXPECT_EXIT(::_exit(jobsRunWithoutThreads() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(MountinfoTest, MountPointsDirectlyInTheFolder) {
    const std::pair<std::string, std::string> lines[] = {  // a line of the table, and what it adds
        {"22 1 8:1 / / rw - ext4 /dev/sda1 rw", ""},
        {"30 22 0:40 / /Volumes rw - tmpfs tmpfs rw", ""},  // the folder itself
        {"31 30 0:41 / /Volumes/My\\040Disk rw,relatime shared:5 - fuseblk /dev/disk4s1 rw", "/Volumes/My Disk"},
        {"32 30 0:42 / /Volumes/tab\\011new\\012line\\134 rw - tmpfs t rw", "/Volumes/tab\tnew\nline\\"},
        {"33 31 0:43 / /Volumes/My\\040Disk/inner rw - tmpfs t rw", ""},  // in a volume, not in the folder
        {"34 22 0:44 / /VolumesX/a rw - tmpfs t rw", ""},
        {"35 22 0:45 / /mnt/Volumes/b rw - tmpfs t rw", ""},
        {"36 30 0:46 / /Volumes/\\12x rw - tmpfs t rw", "/Volumes/\\12x"},  // no escape
        {"37 30 0:47 / /Volumes/数据 rw - tmpfs t rw", "/Volumes/数据"},
        {"38 30 0:48 /", ""},  // cut short
    };
    std::string table;
    std::set<std::string> expected;
    for (const auto& [line, mountPoint] : lines) {
        table += line + "\n";
        if (!mountPoint.empty()) expected.insert(mountPoint);
    }
    EXPECT_EQ(mountPointsIn(table, "/Volumes"), expected);
    EXPECT_EQ(mountPointsIn(table.substr(0, table.size() - 1), "/Volumes"), expected);  // no final line break
}

// In a private mount namespace of a child process: a volume that comes and goes is noticed both times.
TEST(MountinfoVolumeEventsTest, NoticesVolumesComingAndGoing) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    std::string folder = std::string(std::getenv("HOME")) + "/Volumes", volume = folder + "/My Disk\t\\";
    auto volumeComesAndGoes = [&] {
        ::alarm(20);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
        ::mkdir(folder.c_str(), 0755);
        AsioMainLoop loop;
        MountinfoVolumeEvents events(loop.context(), folder);
        std::vector<std::string> notices;
        loop.runUntilSignalled([&] {
            events.start([&](const std::string& mountPoint) { notices.push_back("+" + mountPoint), ::umount(volume.c_str()); },
                         [&](const std::string& mountPoint) { notices.push_back("-" + mountPoint), ::kill(::getpid(), SIGTERM); });
            ::mkdir(volume.c_str(), 0755);
            ::mount("tmpfs", volume.c_str(), "tmpfs", 0, nullptr);
        });
        return notices == std::vector<std::string>{"+" + volume, "-" + volume};
    };
    EXPECT_EXIT(::_exit(volumeComesAndGoes() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
