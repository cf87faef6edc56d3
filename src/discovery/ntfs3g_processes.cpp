#include "discovery/ntfs3g_processes.h"

#include <charconv>

namespace drivelark {

namespace {

std::string_view nextWord(std::string_view& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return text = {};
    size_t end = text.find_first_of(" \t", start);
    std::string_view word = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
    return word;
}

template <typename Number>
bool readNumber(std::string_view word, Number& number) {
    return !word.empty() && std::from_chars(word.data(), word.data() + word.size(), number).ptr == word.data() + word.size();
}

std::optional<std::string> deviceOfNode(std::string_view node) {
    for (std::string_view prefix : {"/dev/r", "/dev/"}) {
        if (node.starts_with(prefix) && node.substr(prefix.size()).starts_with("disk"))
            return std::string(node.substr(prefix.size()));
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<Ntfs3gProcess>> parseNtfs3gProcesses(std::string_view listing, int ownPid) {
    std::vector<Ntfs3gProcess> found;
    bool listsSelf = false;
    while (!listing.empty()) {
        size_t end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);

        Ntfs3gProcess process;
        if (!readNumber(nextWord(line), process.pid) || !readNumber(nextWord(line), process.uid)) continue;
        listsSelf = listsSelf || process.pid == ownPid;
        std::string_view program = nextWord(line);
        size_t slash = program.rfind('/');
        if (program.substr(slash == std::string_view::npos ? 0 : slash + 1) != "ntfs-3g") continue;
        std::optional<std::string> device = deviceOfNode(nextWord(line));
        if (!device) continue;
        process.device = *device;
        size_t start = line.find_first_not_of(" \t");
        if (start != std::string_view::npos) {
            std::string_view rest = line.substr(start);
            process.mountPoint = std::string(rest.substr(0, rest.find(" -o")));
        }
        found.push_back(std::move(process));
    }
    if (!listsSelf) return std::nullopt;
    return found;
}

}  // namespace drivelark
