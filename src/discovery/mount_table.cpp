#include "discovery/mount_table.h"

#include "foundation/text.h"

namespace drivelark {

namespace {

bool marksReadOnly(std::string_view options) {
    return contains(options, "read-only") || options.substr(0, 3) == "ro," || contains(options, ",ro,") ||
           options == "ro";
}

// The first non-empty piece of `options` split at commas, or empty when there is none.
std::string_view firstOption(std::string_view options) {
    size_t start = 0;
    while (start <= options.size()) {
        size_t comma = options.find(',', start);
        std::string_view piece = options.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                       : comma - start);
        if (!piece.empty()) return piece;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return {};
}

void parseLine(std::string_view line, MountTable& table) {
    // Volume names reach both ends of a line: FUSE-T names its source after the volume, and the
    // mount point carries the name. A name holds no "/" and the options hold no " (", so the mount
    // point starts at the first " on /" and ends at the last " (".
    size_t on = line.find(" on /");
    if (on == std::string_view::npos) return;
    std::string_view device = line.substr(0, on);
    std::string_view rest = line.substr(on + 4);
    size_t open = rest.rfind(" (");
    if (open == std::string_view::npos) return;
    std::string_view mountPoint = rest.substr(0, open);
    std::string_view options = rest.substr(open + 2);
    if (!options.empty() && options.back() == ')') options.remove_suffix(1);

    std::string_view type = firstOption(options);
    table[std::string(mountPoint)] =
        MountEntry{std::string(type.empty() ? device : type), marksReadOnly(options), std::string(device)};
}

}  // namespace

MountTable parseMountTable(std::string_view listing) {
    MountTable table;
    while (!listing.empty()) {
        size_t end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        if (!line.empty()) parseLine(line, table);
        if (end == std::string_view::npos) break;
        listing.remove_prefix(end + 1);
    }
    return table;
}

}  // namespace drivelark
