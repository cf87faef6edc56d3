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
using drivelark::testing::ProgramCall;

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
    sector.replace(0, 11, "\xEB\x52\x90NTFS    ");
    sector[510] = '\x55', sector[511] = '\xAA';
    return sector;
}

class HelperMachine {
public:
    HelperMachine() {
        system.files[kToolFolder] = directory(1);
        for (const char* tool : {kNtfs3g, kNtfsfix, kProbe}) system.files[tool] = regularFile();
        system.files["/Volumes"] = directory(FakeHelperSystem::kVolumesDevice);
        system.devices["/dev/disk4s1"] = DeviceBytes{0, ntfsBootSector()};
        platform.processes.answer(kDiskutil, {"info", "-plist", "disk4s1"},
                                  exited(0, "<plist version=\"1.0\"><dict><key>DeviceIdentifier</key><string>disk4s1"
                                            "</string><key>FilesystemType</key><string>ntfs</string></dict></plist>\n"));
    }

    // Every program run, as "path arg arg ...", in order.
    std::vector<std::string> programsRun() const {
        std::vector<std::string> lines;
        for (const ProgramCall& call : platform.processes.calls()) {
            lines.push_back(call.path);
            for (const std::string& argument : call.arguments) lines.back() += " " + argument;
        }
        return lines;
    }
    bool ran(const std::string& path) const { return !platform.processes.callsOf(path).empty(); }

    drivelark::testing::TestPlatform platform;
    FakeHelperSystem system;
};

// A refusal: status 2 and exactly one line of the tool's own that says why.
inline void expectRefusal(const Outcome& outcome, const std::string& why) {
    EXPECT_EQ(outcome.status, kRefused) << outcome.text;
    EXPECT_TRUE(outcome.text.starts_with("drivelark-mount: ") && outcome.text.ends_with("\n")) << outcome.text;
    EXPECT_EQ(std::count(outcome.text.begin(), outcome.text.end(), '\n'), 1) << outcome.text;
    EXPECT_NE(outcome.text.find(why), std::string::npos) << outcome.text;
}

}  // namespace drivelark::helper::testing
