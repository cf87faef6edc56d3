#include "helper/mount_listing.h"

#include <algorithm>

namespace drivelark::helper {

namespace {

std::vector<ListedMount> matching(const std::vector<ListedMount>& mounts, auto predicate) {
    std::vector<ListedMount> found;
    std::copy_if(mounts.begin(), mounts.end(), std::back_inserter(found), predicate);
    return found;
}

}  // namespace

std::optional<std::vector<ListedMount>> parseMountListing(std::string_view listing) {
    std::vector<ListedMount> mounts;
    while (!listing.empty()) {
        size_t end = listing.find('\n');
        for (const auto& [mountPoint, entry] : parseMountTable(listing.substr(0, end)))
            mounts.push_back(ListedMount{mountPoint, entry});
        listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
    }
    if (mountsAt(mounts, "/").empty()) return std::nullopt;
    return mounts;
}

std::vector<ListedMount> mountsAt(const std::vector<ListedMount>& mounts, std::string_view mountPoint) {
    return matching(mounts, [&](const ListedMount& m) { return m.mountPoint == mountPoint; });
}

std::vector<ListedMount> mountsOfDevice(const std::vector<ListedMount>& mounts, std::string_view device) {
    const std::string source = "/dev/" + std::string(device);
    return matching(mounts, [&](const ListedMount& m) { return m.entry.source == source; });
}

bool isSystemNtfsMount(const MountEntry& entry) { return entry.type == "ntfs" && entry.readOnly; }

bool isFuseTMount(const MountEntry& entry) { return entry.type == "nfs" && entry.source.starts_with("fuse-t:/"); }

}  // namespace drivelark::helper
