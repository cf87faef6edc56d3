#pragma once

// A Mac for the core's tests, on the virtual clock: a disk listing, a mount table and a process
// listing that a test sets, and a helper tool whose work changes them.

#include <gtest/gtest.h>

#include <map>
#include <ranges>
#include <string>
#include <vector>

#include "discovery/managed_volumes.h"
#include "doubles/test_platform.h"
#include "engine/auto_mount_engine.h"
#include "unit/mount_programs.h"

namespace drivelark::testing {

// A listed NTFS volume: device, name and volume UUID (none: the entry has no "VolumeUUID").
struct Volume {
    std::string device, name, uuid;
};

inline std::string listingOf(const std::vector<Volume>& volumes) {
    std::string disks;
    for (const Volume& volume : volumes) {
        disks += dict(key("Content", "NTFS") + key("DeviceIdentifier", volume.device) + key("VolumeName", volume.name) +
                      (volume.uuid.empty() ? "" : key("VolumeUUID", volume.uuid)));
    }
    return listing(disks);
}

struct ScriptedMac : ::testing::Test {
    void SetUp() override {
        platform.files.addDirectory("/Volumes");
        platform.files.addFile(kHelper);
        platform.processes.answer(kSudo, {"-n", kHelper, "selftest"}, exited(0));
        platform.processes.answerAll(kDiskutil, [this](const ProgramCall& call) {
            return call.arguments == kList ? exited(0, listingOf(volumes)) : exited(1, "Could not find disk\n");
        });
        platform.processes.answerAll(kMount, [this](const ProgramCall&) {
            std::string table = "/dev/disk3s1s1 on / (apfs, sealed, local, read-only)\n";
            for (const auto& [mountPoint, line] : mounts) table += line + "\n";
            return exited(0, table);
        });
        platform.processes.answerAll("/bin/ps", [this](const ProgramCall&) { return exited(0, "4242 1 501 drivelark\n" + ps); });
        platform.processes.answerAll(kSudo, [this](const ProgramCall& call) { return helper(call.arguments); });
    }

    // The helper tool: "mount" replaces the system's mount of the device with ntfs-3g's, unless
    // `refusals` holds what it prints for the device instead; "unmount" takes a mount away.
    ProgramRun helper(const std::vector<std::string>& arguments) {
        const std::string& verb = arguments.at(2);
        helperCalls.push_back(arguments);
        if (verb == "unmount") {
            mounts.erase(arguments.at(3));
            return exited(0);
        }
        if (verb != "mount" && verb != "fix") return exited(0);
        const std::string& device = arguments.at(3);
        if (auto refusal = refusals.find(verb + " " + device); refusal != refusals.end()) return exited(1, refusal->second);
        if (verb != "mount") return exited(0);
        const std::string& mountPoint = arguments.at(4);
        std::erase_if(mounts, [&](const auto& mount) { return mount.second.starts_with("/dev/" + device + " on "); });
        mounts[mountPoint] = "fuse-t:/" + arguments.at(5) + " on " + mountPoint + " (nfs, nodev, nosuid)";
        platform.files.addDirectory(mountPoint, 7);
        return exited(0);
    }
    void systemMount(const Volume& volume, const std::string& mountPoint) {
        mounts[mountPoint] = "/dev/" + volume.device + " on " + mountPoint + " (ntfs, local, nodev, nosuid, read-only)";
    }
    // One pass at `seconds` from now, with everything it starts carried through.
    void passAfter(double seconds) {
        platform.dispatcher.advance(seconds);
        engine->reconcile();
        platform.dispatcher.runUntilIdle();
    }
    std::vector<std::string> logLines(const std::string& prefix) {
        std::vector<std::string> lines;
        for (auto line : platform.log() | std::views::split('\n')) {
            std::string text(line.begin(), line.end());
            if (text.find("] " + prefix) != std::string::npos) lines.push_back(text.substr(text.find("] ") + 2));
        }
        return lines;
    }
    std::vector<std::vector<std::string>> helperCallsOf(const std::string& verb) {
        std::vector<std::vector<std::string>> calls;
        for (const auto& call : helperCalls) {
            if (call.at(2) == verb) calls.push_back(call);
        }
        return calls;
    }

    TestPlatform platform;
    std::shared_ptr<MountManager> mountManager = std::make_shared<MountManager>(platform.services, platform.appLog);
    std::shared_ptr<AutoMountEngine> engine = AutoMountEngine::make(platform.services, platform.appLog, mountManager);
    ManagedVolumes registry{platform.defaults, platform.appLog};
    std::vector<Volume> volumes;
    std::map<std::string, std::string> mounts;     // mount point -> line of the mount table
    std::map<std::string, std::string> refusals;   // "mount disk4s1" -> what the helper prints when it refuses
    std::string ps;                                // lines of the process listing besides Drivelark's own
    std::vector<std::vector<std::string>> helperCalls;
};

}  // namespace drivelark::testing

