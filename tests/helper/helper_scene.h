#pragma once

// A machine on which the helper tool's work can succeed: the tools installed root-only beside
// it, an external NTFS partition disk4s1 that the disk utility knows, and /Volumes. Tests
// change one thing at a time from there.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "doubles/test_platform.h"
#include "fake_helper_system.h"
#include "helper/outcome.h"

namespace drivelark::helper::testing {

using drivelark::testing::exited;
using drivelark::testing::notStarted;

inline constexpr const char* kToolFolder = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark";
inline constexpr const char* kNtfs3g = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g";
inline constexpr const char* kNtfsfix = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfsfix";
inline constexpr const char* kProbe = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/ntfs-3g.probe";
inline constexpr const char* kDiskutil = "/usr/sbin/diskutil";
inline constexpr const char* kMount = "/sbin/mount";
inline constexpr const char* kPs = "/bin/ps";

// The first sector of a volume made by mkntfs, reduced to what identifies it.
inline std::string ntfsBootSector() {
    std::string sector(512, '\0');
    sector.replace(0, 3, "\xEB\x52\x90");
    sector.replace(3, 8, "NTFS    ");
    sector[510] = '\x55';
    sector[511] = '\xAA';
    return sector;
}

inline std::string diskInfo(const std::string& identifier, const std::string& mountPoint = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>DeviceIdentifier</key><string>" +
           identifier +
           "</string>"
           "<key>FilesystemType</key><string>ntfs</string>"
           "<key>MountPoint</key><string>" +
           mountPoint +
           "</string>"
           "<key>VolumeName</key><string>Data</string></dict></plist>\n";
}

inline std::string diskutilUnknown(const std::string& device) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>Error</key><true/><key>ErrorMessage</key><string>Could not find disk: " +
           device + "</string><key>ExitCode</key><integer>1</integer></dict></plist>\n";
}

class HelperMachine {
public:
    HelperMachine() {
        system.files[kToolFolder] = directory(1);
        for (const char* tool : {kNtfs3g, kNtfsfix, kProbe}) system.files[tool] = regularFile();
        system.files["/Volumes"] = directory(FakeHelperSystem::kVolumesDevice);
        system.devices["/dev/disk4s1"] = DeviceBytes{0, ntfsBootSector()};
        platform.processes.answerAll(kDiskutil, [this](const drivelark::testing::ProgramCall& call) {
            if (call.arguments == std::vector<std::string>{"info", "-plist", "disk4s1"}) return diskutilInfo;
            return otherDiskutil ? otherDiskutil(call.arguments) : exited(1, "unexpected diskutil call\n");
        });
    }

    // Every program run, as "path arg arg ...", in order.
    std::vector<std::string> programsRun() const {
        std::vector<std::string> lines;
        for (const auto& call : platform.processes.calls()) {
            std::string line = call.path;
            for (const std::string& argument : call.arguments) line += " " + argument;
            lines.push_back(line);
        }
        return lines;
    }
    bool ran(const std::string& path) const { return !platform.processes.callsOf(path).empty(); }
    bool ranWith(const std::string& path, const std::vector<std::string>& arguments) const {
        for (const auto& call : platform.processes.callsOf(path)) {
            if (call.arguments == arguments) return true;
        }
        return false;
    }

    drivelark::testing::TestPlatform platform;
    FakeHelperSystem system;
    ProgramRun diskutilInfo = exited(0, diskInfo("disk4s1", "/Volumes/Data"));
    // Answers every other diskutil call that the test has not answered exactly.
    std::function<ProgramRun(const std::vector<std::string>&)> otherDiskutil;
};

// A refusal: status 2 and exactly one line of the tool's own that says why.
inline void expectRefusal(const Outcome& outcome, const std::string& why) {
    EXPECT_EQ(outcome.status, kRefused) << outcome.text;
    EXPECT_TRUE(outcome.text.starts_with("drivelark-mount: ")) << outcome.text;
    EXPECT_EQ(std::count(outcome.text.begin(), outcome.text.end(), '\n'), 1) << outcome.text;
    EXPECT_TRUE(outcome.text.ends_with("\n")) << outcome.text;
    EXPECT_NE(outcome.text.find(why), std::string::npos) << outcome.text;
}

}  // namespace drivelark::helper::testing
