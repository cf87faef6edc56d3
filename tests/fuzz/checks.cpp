// The fuzz targets' properties (checks.h).

#include "fuzz/checks.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "discovery/partition_listing.h"
#include "discovery/volume_identity.h"
#include "foundation/text.h"
#include "helper/helper_commands.h"
#include "helper/helper_request.h"
#include "helper/helper_scene.h"
#include "mount/mount_target.h"
#include "mount/root_commands.h"
#include "platform/linux/defaults_store_plist_file.h"
#include "platform/posix/processes_posix.h"
#include "ports/port_tests.h"

namespace drivelark::fuzz {

namespace {

using namespace drivelark::helper;
using namespace drivelark::helper::testing;
using Arguments = std::vector<std::string>;

void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", property);
    std::abort();
}

bool isPrintable(std::string_view text) {  // a tab included
    return isValidUtf8(text) && std::ranges::none_of(text, [](char c) {
               return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
           });
}

// Every dictionary in `value` with a DeviceIdentifier text, as the partition it describes.
void collectDevices(const PlistValue& value, std::vector<NTFSPartition>& found) {
    if (const PlistValue::Array* items = value.array())
        for (const PlistValue& item : *items) collectDevices(item, found);
    if (value.dictionary() == nullptr) return;
    auto text = [&](const char* key) { return value.textAt(key) ? *value.textAt(key) : std::string(); };
    if (value.textAt("DeviceIdentifier"))
        found.push_back({text("DeviceIdentifier"), text("VolumeName"), text("VolumeUUID"), volumeIdentity(value)});
    for (const auto& [key, item] : *value.dictionary()) collectDevices(item, found);
}

// Whether `after` still holds `before`. A value Drivelark does not read (number, date, data, UID)
// need only be there: XML, in which the store writes, has no UIDs and writes one as a dictionary,
// as Apple's own writer does.
bool survives(const PlistValue& before, const PlistValue& after) {
    if (before == PlistValue()) return true;
    if (before.array() && after.array())
        return std::ranges::equal(*before.array(), *after.array(), survives);
    if (before.dictionary() && after.dictionary())
        return std::ranges::equal(*before.dictionary(), *after.dictionary(), [](const auto& b, const auto& a) {
            return b.first == a.first && survives(b.second, a.second);
        });
    return before == after;
}

bool isDeviceNode(std::string_view path) {
    static const std::regex node("/dev/r?disk[0-9]+(s[0-9]+)*");
    return std::regex_match(path.begin(), path.end(), node);
}

bool isAllowedProgram(const ProgramCall& call) {
    const Arguments& a = call.arguments;
    const std::string last = a.empty() ? "" : a.back();
    if (call.path == kDiskutil)
        return (isDeviceIdentifier(last) || isVolumesMountPoint(last)) &&
               (a == Arguments{"info", "-plist", last} || a == Arguments{"unmount", "force", last} ||
                a == Arguments{"unmount", last} || a == Arguments{"mount", last});
    if (call.path == kMount) return a.empty();
    if (call.path == kPs)
        return a == kProcessListArguments ||
               (a.size() == 5 && a[0] == "-ww" && a[1] == "-p" && a[3] == "-o" && a[4] == "pid=,ppid=,uid=,args=" &&
                a[2].find_first_not_of("0123456789") == std::string::npos);
    if (call.path == kUmount) return a == Arguments{"-f", last} && isVolumesMountPoint(last);
    if (call.path == kProbe) return a == Arguments{"--readwrite", last} && isDeviceNode(last);
    if (call.path == kNtfsfix) return a == Arguments{"-d", last} && isDeviceNode(last);
    constexpr std::string_view kHead = "volname=", kTail = ",local,noowners,noatime";
    return call.path == kNtfs3g && a.size() == 4 && isDeviceNode(a[0]) && isVolumesMountPoint(a[1]) && a[2] == "-o" &&
           a[3].starts_with(kHead) && a[3].ends_with(kTail) && a[3].size() > kHead.size() + kTail.size() &&
           isSafeVolumeName(std::string_view(a[3]).substr(kHead.size(), a[3].size() - kHead.size() - kTail.size()));
}

void checkPartitionListing(std::string_view input) {
    std::optional<std::vector<ListedPartition>> listed = parsePartitionListing(input);
    std::optional<PlistValue> root = parsePropertyList(input);
    require(root || !listed, "a listing is a property list");
    if (!listed) return;
    std::vector<NTFSPartition> described;
    collectDevices(*root, described);
    for (const ListedPartition& entry : *listed) {
        require(std::ranges::find(described, entry.partition) != described.end(),
                "every partition is a dictionary of the input with a DeviceIdentifier text");
        require(isVolumeIdentity(entry.partition.identity), "every identity has the shape the helper tool accepts");
    }
}

void checkDefaultsStore(std::string_view input) {
    const drivelark::testing::TemporaryDirectory folder;
    const std::string path = folder / "store.plist";
    std::ofstream(path, std::ios::binary) << input;
    std::ofstream(path + ".damaged") << "an earlier damaged copy";

    std::optional<PlistValue> before = parsePropertyList(input);
    const PlistValue::Dictionary* kept = before ? before->dictionary() : nullptr;
    const PlistValue written(
        PlistValue::Dictionary{{"name", "Données ✓"}, {"on", true}, {"list", PlistValue::Array{"a"}}});
    PlistFileDefaultsStore store(path);
    for (const auto& [key, value] : kept ? *kept : PlistValue::Dictionary{})
        require(store.value(key) == value, "reads what the file holds");
    require(kept || !store.value("autoMount"), "reads nothing from a file that is not a dictionary");
    require(store.setValue("written", written).ok(), "the write succeeds");

    std::optional<PlistValue> after = parsePropertyList(readFile(path));
    require(after && after->find("written") && *after->find("written") == written,
            "the file holds the written value");
    for (const auto& [key, value] : kept ? *kept : PlistValue::Dictionary{})
        require(key == "written" || (after->find(key) && survives(value, *after->find(key))), "other keys survive");
    require(readFile(path + ".damaged") == "an earlier damaged copy" &&
                (kept ? !std::filesystem::exists(path + ".damaged 1") : readFile(path + ".damaged 1") == input),
            "content that is not a dictionary is kept aside, never over an earlier copy, and only that");
}

// The shell runs the command as osascript's "do shell script" does: from /, standard input from
// the null device, only the default PATH; as nobody when we are root, so that a quoting fault
// cannot harm this machine. It must print the text exactly, and exit 0.
void checkShellQuoting(std::string_view input) {
    if (input.find('\0') != std::string_view::npos) return;
    const std::string command = shellCommandLine("/bin/printf", {"%s", std::string(input)});
    Arguments shell = {"-i", "-C", "/", "PATH=/usr/bin:/bin:/usr/sbin:/sbin", "/bin/sh", "-c", command};
    const bool root = ::geteuid() == 0;
    if (root) shell.insert(shell.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/env"});
    ProgramRun run = PosixProcesses().runToCompletion(root ? "/usr/bin/setpriv" : "/usr/bin/env", shell, {});
    require(run.launch.ok() && run.status == 0 && run.output == input, "the shell runs and prints the text exactly");
}

// The parts of `text` that `separator` separates or ends.
std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream{std::string(text)};
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    return parts;
}

// What every run of the tool keeps to, whatever it was given or told: it runs only the programs
// of the contract, creates or removes only /Volumes/<one name>, opens only /dev/disk... or
// /dev/rdisk..., exits 0 to 3, and prints whole printable lines of which only its own markers
// begin with __.
void requireContract(const HelperMachine& mac, const Outcome& outcome) {
    require(std::ranges::all_of(mac.calls, isAllowedProgram), "every program run is in the contract");
    for (const auto& [call, paths] : mac.touched) {
        bool folders = call == "mkdir" || call == "rmdir", files = call == "lstat" || call == "statvfs";
        require(files || std::ranges::all_of(paths, folders ? isVolumesMountPoint : isDeviceNode),
                "only /Volumes/<one name> is created or removed, only /dev/disk... or /dev/rdisk... opened");
    }
    require(outcome.status >= kSucceeded && outcome.status <= kVolumeChanged, "the exit status is 0 to 3");
    require(outcome.text.empty() || outcome.text.ends_with('\n'), "the output ends with a line break");
    for (const std::string& line : split(outcome.text, '\n')) {
        using namespace HelperProtocol;
        const bool marker =
            line == kHibernated || line == kUnsafeState || line == kWriteDenied || line == kVolumeChangedMarker;
        std::string_view body = std::string_view(line).substr(std::min(line.find_first_not_of(" \t"), line.size()));
        require(isPrintable(body) && (marker || !body.starts_with("__")),
                "every output line is printable UTF-8, and only the tool's own markers begin with __");
    }
}

// Arguments separated by NUL characters, on a machine where disk4s1 is NTFS and mounted read-only
// by the system and every program succeeds.
void checkHelperArguments(std::string_view input) {
    const Arguments arguments = split(input, '\0');
    HelperMachine mac;
    Outcome outcome = runHelper(mac, arguments);
    requireContract(mac, outcome);
    if (Request request; !parseRequest(arguments, &request).ok())
        require(outcome.status == kRefused && mac.calls.empty() && mac.touched.empty() && !mac.watchdog &&
                    std::ranges::count(outcome.text, '\n') == 1,
                "bad arguments are refused in one line and change nothing");
}

std::string withoutLinesHolding(std::string_view text, std::string_view part) {
    std::string kept;
    for (const std::string& line : split(text, '\n'))
        if (line.find(part) == std::string::npos) kept += line + "\n";
    return kept;
}

// What ps, the mount program and the disk utility print, as three texts separated by NUL
// characters, answered to mount, fix and unmount. Nothing crashes, and a listing that lacks the
// tool's own process or the root file system, or a description of another volume, never lets an
// action through.
void checkHelperOutputs(std::string_view input) {
    std::vector<std::string> parts = split(input, '\0');
    parts.resize(3);
    std::optional<PlistValue> description = parsePropertyList(parts[2]);
    const PlistValue* device = description ? description->find("DeviceIdentifier") : nullptr;
    const bool theVolume = device && *device == PlistValue("disk4s1") && volumeIdentity(*description) == kIdentity;
    const std::vector<Arguments> commands = {{"mount", "disk4s1", "/Volumes/Data", "Data", kIdentity},
                                             {"fix", "disk4s1", kIdentity}, {"unmount", "/Volumes/Data"}};
    const std::string withoutOwn = withoutLinesHolding(parts[0], std::to_string(kOwnPid));
    const std::string withoutRoot = withoutLinesHolding(parts[1], " on / (");
    for (const Arguments& command : commands) {
        for (int variant = 0; variant < 3; ++variant) {
            HelperMachine mac;
            mac.answers[{kPs, kProcessListArguments}] = exited(0, variant == 1 ? withoutOwn : parts[0]);
            mac.answers[{kMount, {}}] = exited(0, variant == 2 ? withoutRoot : parts[1]);
            mac.descriptions = {parts[2]};
            Outcome outcome = runHelper(mac, command);
            requireContract(mac, outcome);
            if (variant != 0 || (command[0] != "unmount" && !theVolume))
                require(outcome.status != kSucceeded && mac.actions.empty() && !mac.touched.contains("mkdir"),
                        "no action without the tool's own process, the root file system, or the volume decided for");
        }
    }
}

}  // namespace

const Target kTargets[5] = {
    {"partition_listing", checkPartitionListing}, {"defaults_store", checkDefaultsStore},
    {"shell_quoting", checkShellQuoting},         {"helper_arguments", checkHelperArguments},
    {"helper_outputs", checkHelperOutputs},
};

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace drivelark::fuzz
