#include "discovery/process_list.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "mount/mount_target.h"

namespace drivelark {

namespace {

constexpr std::string_view kBlanks = " \t";

// The number that `text` begins with after blanks; the text after it.
template <typename Number>
bool takeNumber(std::string_view& text, Number& number) {
    size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return false;
    auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), number);
    if (error != std::errc{} || (end != text.data() + text.size() && kBlanks.find(*end) == std::string_view::npos))
        return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> result;
    for (size_t start = text.find_first_not_of(kBlanks); start != std::string_view::npos;
         start = text.find_first_not_of(kBlanks, start)) {
        size_t end = std::min(text.find_first_of(kBlanks, start), text.size());
        result.push_back(text.substr(start, end - start));
        start = end;
    }
    return result;
}

bool isNtfs3gProgram(std::string_view word) { return word == "ntfs-3g" || word.ends_with("/ntfs-3g"); }

}  // namespace

// The program's path may hold blanks; so may the mount point and the volume name, but never a
// comma, and the option list ends the line.
std::optional<Ntfs3gStart> ntfs3gStartOf(const Process& process) {
    std::string_view arguments = process.arguments;
    constexpr std::string_view kDevice = " /dev/", kOptions = " -o volname=", kEnd = ",local,noowners,noatime";
    size_t device = arguments.find(kDevice);
    if (device == std::string_view::npos || !isNtfs3gProgram(arguments.substr(0, device))) return std::nullopt;
    std::string_view rest = arguments.substr(device + kDevice.size());
    size_t blank = rest.find(' ');
    if (blank == std::string_view::npos || !rest.ends_with(kEnd)) return std::nullopt;
    Ntfs3gStart start{std::string(rest.substr(0, blank)), {}};
    rest = rest.substr(blank + 1, rest.size() - blank - 1 - kEnd.size());
    size_t options = rest.find(kOptions);
    // A name that repeats the option's words leaves the mount point in doubt.
    if (!isDeviceIdentifier(start.device) || options == std::string_view::npos ||
        rest.find(kOptions, options + 1) != std::string_view::npos ||
        rest.find(',', options) != std::string_view::npos)
        return std::nullopt;
    start.mountPoint = std::string(rest.substr(0, options));
    return start;
}

std::optional<std::vector<Process>> parseProcessList(std::string_view listing, int ownPid) {
    std::vector<Process> processes;
    std::set<int> seen;
    while (!listing.empty()) {
        size_t end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
        Process process;
        if (!takeNumber(line, process.pid) || !takeNumber(line, process.parent) || !takeNumber(line, process.owner) ||
            process.pid <= 0)
            continue;
        if (!seen.insert(process.pid).second) return std::nullopt;
        size_t start = line.find_first_not_of(kBlanks);
        process.arguments = start == std::string_view::npos ? "" : line.substr(start);
        processes.push_back(std::move(process));
    }
    if (!seen.contains(ownPid)) return std::nullopt;
    return processes;
}

std::optional<int> ntfs3gServing(const std::vector<Process>& processes, std::string_view device) {
    const std::string node = "/dev/" + std::string(device), raw = "/dev/r" + std::string(device);
    for (const Process& process : processes) {
        std::vector<std::string_view> all = words(process.arguments);
        auto served = std::find_if(all.begin(), all.end(), [&](std::string_view w) { return w == node || w == raw; });
        if (served != all.end() && std::any_of(all.begin(), served, isNtfs3gProgram)) return process.pid;
    }
    return std::nullopt;
}

bool isRootNtfs3gFor(const Process& process, std::string_view mountPoint) {
    std::optional<Ntfs3gStart> start = ntfs3gStartOf(process);
    return process.owner == 0 && start && start->mountPoint == mountPoint;
}

bool namesMountPoint(const Process& process, std::string_view mountPoint) {
    if (std::optional<Ntfs3gStart> start = ntfs3gStartOf(process)) return start->mountPoint == mountPoint;
    std::string_view text = process.arguments;
    for (size_t at = text.find(mountPoint); at != std::string_view::npos; at = text.find(mountPoint, at + 1)) {
        size_t after = at + mountPoint.size();
        if (after == text.size() || text[after] == ' ' || text[after] == '/') return true;
    }
    return false;
}

std::vector<int> ownLineage(const std::vector<Process>& processes, int ownPid) {
    std::vector<int> lineage{ownPid};
    while (lineage.size() <= processes.size()) {
        auto process = std::find_if(processes.begin(), processes.end(),
                                    [&](const Process& p) { return p.pid == lineage.back(); });
        if (process == processes.end() || std::find(lineage.begin(), lineage.end(), process->parent) != lineage.end()) break;
        lineage.push_back(process->parent);
    }
    return lineage;
}

}  // namespace drivelark
