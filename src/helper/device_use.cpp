#include "helper/device_use.h"

#include <charconv>

#include "foundation/command_runner.h"
#include "foundation/system_programs.h"
#include "helper/ntfs_device.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

std::string_view nextWord(std::string_view& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return text = {};
    size_t end = text.find_first_of(" \t", start);
    std::string_view word = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return word;
}

bool isNtfs3g(std::string_view program) {
    size_t slash = program.rfind('/');
    return program.substr(slash == std::string_view::npos ? 0 : slash + 1) == "ntfs-3g";
}

}  // namespace

std::optional<Outcome> readMountTable(MountTable& table) {
    CommandResult listing = runCommand(kMountPath, {});
    if (listing.exit != 0) {
        Outcome outcome{kFailed, {}};
        return outcome.quote(listing.out).say("cannot read the mount table, so cannot tell what is mounted where");
    }
    table = parseMountTable(listing.out);
    return std::nullopt;
}

std::optional<std::string> mountPointOfDevice(const MountTable& table, std::string_view device) {
    std::string source = "/dev/" + std::string(device);
    for (const auto& [mountPoint, entry] : table) {
        if (entry.source == source) return mountPoint;
    }
    return std::nullopt;
}

std::optional<int> ntfs3gServing(std::string_view processes, std::string_view device) {
    const std::string node = "/dev/" + std::string(device);
    const std::string raw = "/dev/r" + std::string(device);
    while (!processes.empty()) {
        size_t end = processes.find('\n');
        std::string_view line = processes.substr(0, end);
        processes.remove_prefix(end == std::string_view::npos ? processes.size() : end + 1);

        std::string_view pidText = nextWord(line);
        int pid = 0;
        if (std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid).ec != std::errc{}) continue;
        if (!isNtfs3g(nextWord(line))) continue;
        for (std::string_view word = nextWord(line); !word.empty(); word = nextWord(line)) {
            if (word == node || word == raw) return pid;
        }
    }
    return std::nullopt;
}

std::optional<Outcome> stopIfServedByNtfs3g(HelperSystem& system, const std::string& device) {
    constexpr int kLooks = 30;
    constexpr std::chrono::milliseconds kBetweenLooks{100};
    for (int look = 1;; ++look) {
        CommandResult processes = runCommand(kPsPath, {"-A", "-ww", "-o", "pid=,args="});
        if (processes.exit != 0) {
            Outcome outcome{kFailed, {}};
            return outcome.quote(processes.out)
                .say("cannot list the running programs, so cannot tell whether ntfs-3g serves /dev/" + device);
        }
        std::optional<int> pid = ntfs3gServing(processes.out, device);
        if (!pid) return std::nullopt;
        if (look == kLooks)
            return refused("/dev/" + device + " is in use by ntfs-3g (process " + std::to_string(*pid) +
                           "); eject that volume first");
        system.pause(kBetweenLooks);
    }
}

std::optional<Outcome> stopIfLockedByOther(HelperSystem& system, const std::string& device) {
    std::string node = "/dev/" + device;
    LockTest lock = system.testWriteLock(node);
    if (lock.error != 0) {
        if (isWriteDenial(lock.error))
            return failed("__WRITE_DENIED__ the system refuses to open " + node + " for writing (" +
                          errorText(lock.error) + ")");
        return std::nullopt;  // no lock information here
    }
    if (lock.lockedByOther) return refused(node + " is held open by another program");
    return std::nullopt;
}

}  // namespace drivelark::helper
