// The fuzz targets' properties (checks.h).

#include "fuzz/checks.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "discovery/mount_table.h"
#include "discovery/partition_listing.h"
#include "discovery/volume_description.h"
#include "helper/helper_commands.h"
#include "helper/helper_request.h"
#include "helper/helper_scene.h"
#include "mount/mount_target.h"
#include "mount/root_commands.h"
#include "platform/linux/defaults_store_plist_file.h"

namespace drivelark::fuzz {

namespace {

using drivelark::testing::ProgramCall;
using namespace drivelark::helper;
using namespace drivelark::helper::testing;

void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", property);
    std::abort();
}

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Every dictionary in `value` with a DeviceIdentifier text, as the partition it describes.
void collectDevices(const PlistValue& value, std::vector<NTFSPartition>& found) {
    if (const PlistValue::Array* items = value.array())
        for (const PlistValue& item : *items) collectDevices(item, found);
    if (value.dictionary() == nullptr) return;
    auto text = [&](const char* key) { return value.textAt(key) ? *value.textAt(key) : std::string(); };
    if (value.textAt("DeviceIdentifier")) found.push_back({text("DeviceIdentifier"), text("VolumeName"), text("VolumeUUID")});
    for (const auto& [key, item] : *value.dictionary()) collectDevices(item, found);
}

// Whether `after` still holds `before`. A value Drivelark does not read (number, date, data, UID)
// need only be there: XML, in which the store writes, has no UIDs and writes one as a dictionary,
// as Apple's own writer does.
bool survives(const PlistValue& before, const PlistValue& after) {
    if (before == PlistValue()) return true;
    if (before.array() && after.array())
        return std::equal(before.array()->begin(), before.array()->end(), after.array()->begin(), after.array()->end(),
                          survives);
    if (before.dictionary() && after.dictionary())
        return std::equal(before.dictionary()->begin(), before.dictionary()->end(), after.dictionary()->begin(),
                          after.dictionary()->end(),
                          [](const auto& b, const auto& a) { return b.first == a.first && survives(b.second, a.second); });
    return before == after;
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What `/bin/sh -c command` prints as the simulated osascript runs it: from /, standard input
// from the null device, the default PATH. As nobody when we are root, so that a quoting fault
// cannot harm this machine. The shell must exit 0.
std::string shellOutput(const std::string& command) {
    int ends[2];
    require(::pipe2(ends, O_CLOEXEC) == 0, "a pipe for the shell");
    pid_t child = ::fork();
    require(child >= 0, "the shell starts");
    if (child == 0) {
        int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        const char* environment[] = {"PATH=/usr/bin:/bin:/usr/sbin:/sbin", nullptr};
        if (input >= 0 && ::dup2(input, 0) == 0 && ::dup2(ends[1], 1) == 1 && ::dup2(ends[1], 2) == 2 &&
            ::chdir("/") == 0 &&
            (::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)))
            ::execle("/bin/sh", "sh", "-c", command.c_str(), nullptr, environment);
        ::_exit(127);
    }
    ::close(ends[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t count; (count = ::read(ends[0], buffer, sizeof buffer)) != 0;) {
        require(count > 0 || errno == EINTR, "the shell's output is readable");
        if (count > 0) output.append(buffer, static_cast<size_t>(count));
    }
    ::close(ends[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) require(errno == EINTR, "the shell is reaped");
    require(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the shell command succeeds");
    return output;
}

// The output of every program the helper may quote, on the scripted Mac below.
constexpr std::string_view kProgramOutput = "(output of a scripted program)";

// A Mac on which disk4s1 is an NTFS partition that the system has mounted read-only at
// /Volumes/Data, and every program the helper may run succeeds.
struct NtfsMac : HelperMachine {
    NtfsMac() {
        system.files["/Volumes/Data"] = directory(3);
        system.files["/sbin/umount"] = regularFile();
        auto& processes = platform.processes;
        // Only disk4s1 is known to the disk utility; the helper scene answers for it.
        processes.answerAll(kDiskutil, [](const ProgramCall& call) {
            if (call.arguments.empty() || call.arguments[0] != "info") return exited(0, std::string(kProgramOutput));
            return exited(1, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>Error</key><true/><key>ErrorMessage</key><string>Could not find disk: " +
                                 call.arguments.back() + "</string></dict></plist>\n");
        });
        processes.answerAll(kMount, [](const ProgramCall&) {
            return exited(0, "/dev/disk4s1 on /Volumes/Data (ntfs, local, nodev, nosuid, read-only, noowners)\n");
        });
        processes.answerAll(kPs, [](const ProgramCall&) { return exited(0, "    1 /sbin/launchd\n"); });
        for (const char* program : {kProbe, kNtfsfix, "/sbin/umount"})
            processes.answerAll(program, [](const ProgramCall&) { return exited(0, std::string(kProgramOutput)); });
        processes.answerAll(kNtfs3g, [this](const ProgramCall& call) {
            if (call.arguments.size() > 1) system.files[call.arguments[1]] = directory(2);  // mounted
            return exited(0, std::string(kProgramOutput));
        });
    }
};

bool isDeviceNode(std::string_view path) {
    if (!path.starts_with("/dev/")) return false;
    path.remove_prefix(5);
    return isDeviceIdentifier(path) || (path.starts_with("r") && isDeviceIdentifier(path.substr(1)));
}

// Forwards to the fake system; aborts when a device or folder outside the helper's contract is
// touched, and counts what is touched.
class GuardedSystem final : public HelperSystem {
public:
    explicit GuardedSystem(FakeHelperSystem& fake) : fake_(fake) {}
    bool hasRootRights() override { return fake_.hasRootRights(); }
    bool startedBySudo() override { return fake_.startedBySudo(); }
    std::optional<std::string> executableFolder() override { return fake_.executableFolder(); }
    FileInfo lstat(const std::string& path) override { return fake_.lstat(path); }
    FileInfo stat(const std::string& path) override { return fake_.stat(path); }
    int makeDirectory(const std::string& path) override { return fake_.makeDirectory(folder(path)); }
    int removeDirectory(const std::string& path) override { return fake_.removeDirectory(folder(path)); }
    int checkEmptyDirectory(const std::string& path) override { return fake_.checkEmptyDirectory(path); }
    DeviceBytes readStart(const std::string& path, std::size_t count) override {
        return fake_.readStart(device(path), count);
    }
    int openForWriting(const std::string& path) override { return fake_.openForWriting(device(path)); }
    LockTest testWriteLock(const std::string& path) override { return fake_.testWriteLock(device(path)); }
    int readAlignedBlock(const std::string& path) override { return fake_.readAlignedBlock(device(path)); }
    int flushDevice(const std::string& path) override { return fake_.flushDevice(device(path)); }
    VolumeMode volumeMode(const std::string& path) override { return fake_.volumeMode(path); }
    void pause(std::chrono::milliseconds duration) override { fake_.pause(duration); }

    int touched = 0;

private:
    const std::string& folder(const std::string& path) {
        require(isVolumesMountPoint(path), "only /Volumes/<one name> is created or removed");
        return ++touched, path;
    }
    const std::string& device(const std::string& path) {
        require(isDeviceNode(path), "only /dev/disk... or /dev/rdisk... is opened");
        return ++touched, path;
    }
    FakeHelperSystem& fake_;
};

bool isAllowedProgram(const ProgramCall& call) {
    const std::vector<std::string>& a = call.arguments;
    if (call.path == kDiskutil) {
        bool target = !a.empty() && (isDeviceIdentifier(a.back()) || isVolumesMountPoint(a.back()));
        return target && (a == std::vector<std::string>{"info", "-plist", a.back()} ||
                          a == std::vector<std::string>{"unmount", "force", a.back()} ||
                          a == std::vector<std::string>{"unmount", a.back()} ||
                          a == std::vector<std::string>{"mount", a.back()});
    }
    if (call.path == kMount) return a.empty();
    if (call.path == kPs) return a == std::vector<std::string>{"-A", "-ww", "-o", "pid=,args="};
    if (call.path == "/sbin/umount") return a.size() == 2 && a[0] == "-f" && isVolumesMountPoint(a[1]);
    if (call.path == kProbe) return a.size() == 2 && a[0] == "--readwrite" && isDeviceNode(a[1]);
    if (call.path == kNtfsfix) return a.size() == 2 && a[0] == "-d" && isDeviceNode(a[1]);
    constexpr std::string_view kHead = "volname=", kTail = ",local,noowners,noatime";
    return call.path == kNtfs3g && a.size() == 4 && isDeviceNode(a[0]) && isVolumesMountPoint(a[1]) &&
           a[2] == "-o" && a[3].starts_with(kHead) && a[3].ends_with(kTail) && a[3].size() > kHead.size() + kTail.size() &&
           isSafeVolumeName(std::string_view(a[3]).substr(kHead.size(), a[3].size() - kHead.size() - kTail.size()));
}

}  // namespace

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void checkPartitionListing(std::string_view input) {
    std::optional<std::vector<ListedPartition>> listed = parsePartitionListing(input);
    std::optional<PlistValue> root = parsePropertyList(input);
    require(root || !listed, "a listing is a property list");
    if (!listed) return;
    std::vector<NTFSPartition> described;
    collectDevices(*root, described);
    for (const ListedPartition& entry : *listed) {
        require(std::find(described.begin(), described.end(), entry.partition) != described.end(),
                "every partition is a dictionary of the input with a DeviceIdentifier text");
        require(entry.identity.starts_with(entry.partition.deviceID + '\n'), "the identity begins with the device");
    }
}

void checkMountTable(std::string_view input) {
    for (const auto& [mountPoint, entry] : parseMountTable(input)) {
        for (const std::string* part : {&mountPoint, &entry.source, &entry.type})
            require(input.find(*part) != std::string_view::npos && part->find('\n') == std::string::npos,
                    "mount points, sources and types are pieces of one line of the input");
    }
}

void checkVolumeDescription(std::string_view input) {
    std::optional<VolumeDescription> description = parseVolumeDescription(input);
    std::optional<PlistValue> root = parsePropertyList(input);
    require(description.has_value() == (root && root->dictionary()), "a description is a dictionary");
    if (!description) return;
    auto textAt = [&](const char* key) {
        const std::string* text = root->textAt(key);
        return text ? std::optional<std::string>(*text) : std::nullopt;
    };
    require(description->deviceIdentifier == textAt("DeviceIdentifier") &&
                description->volumeName == textAt("VolumeName") && description->mountPoint == textAt("MountPoint") &&
                description->fileSystemType == textAt("FilesystemType"),
            "every field is the text under its key");
}

void checkDefaultsStore(std::string_view input) {
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("drivelark-fuzz-store-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = folder / "store.plist";
    writeFile(path, input);

    std::optional<PlistValue> before = parsePropertyList(input);
    const PlistValue::Dictionary* kept = before ? before->dictionary() : nullptr;
    const PlistValue written(PlistValue::Dictionary{{"name", "Données ✓"}, {"on", true}, {"list", PlistValue::Array{"a"}}});
    PlistFileDefaultsStore store(path);
    if (kept) {
        for (const auto& [key, value] : *kept) require(store.value(key) == value, "reads what the file holds");
    } else {
        require(!store.value("autoMount"), "reads nothing from a file that is not a dictionary");
    }
    require(store.setValue("written", written), "the write succeeds");

    std::optional<PlistValue> after = parsePropertyList(readFile(path));
    require(after && after->find("written") && *after->find("written") == written, "the file holds the written value");
    if (kept) {
        for (const auto& [key, value] : *kept)
            require(key == "written" || (after->find(key) && survives(value, *after->find(key))), "other keys survive");
    }
    require(kept ? !std::filesystem::exists(path + ".damaged") : readFile(path + ".damaged") == input,
            "content that is not a dictionary is kept aside, and only that");
    std::filesystem::remove_all(folder);
}

void checkShellQuoting(std::string_view input) {
    if (input.find('\0') != std::string_view::npos) return;
    const std::string text(input);
    const std::string command = shellCommandLine("/bin/printf", {"%s", text});
    const std::vector<std::string> arguments = administratorScriptArguments(command);
    const std::vector<std::string> other = administratorScriptArguments("'/bin/true'");
    require(!command.starts_with("-") && arguments.back() == command, "the command is the last argument, unchanged");
    require(std::equal(arguments.begin(), arguments.end() - 1, other.begin(), other.end() - 1),
            "no other argument depends on the text");
    require(shellOutput(command) == text, "the shell prints the text exactly");
}

void checkHelperArguments(std::string_view input) {
    std::vector<std::string> arguments;
    for (size_t start = 0; start < input.size();) {
        size_t end = std::min(input.find('\0', start), input.size());
        arguments.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    NtfsMac mac;
    GuardedSystem system(mac.system);
    Outcome outcome = runHelper(system, arguments);

    const std::vector<ProgramCall> calls = mac.platform.processes.calls();
    require(std::all_of(calls.begin(), calls.end(), isAllowedProgram), "every program run is in the contract");
    require(outcome.status >= kSucceeded && outcome.status <= kRefused, "the exit status is 0, 1 or 2");
    if (!parseRequest(arguments).request)
        require(outcome.status == kRefused && calls.empty() && system.touched == 0, "bad arguments change nothing");
    for (std::string_view rest = outcome.text; !rest.empty();) {
        size_t end = rest.find('\n');
        require(end != std::string_view::npos, "the output ends with a line break");
        std::string_view line = rest.substr(0, end);
        require((line.starts_with("drivelark-mount: ") && !hasControlCharacter(line)) || line == kProgramOutput,
                "every output line is the tool's own or a program's");
        rest.remove_prefix(end + 1);
    }
}

}  // namespace drivelark::fuzz
