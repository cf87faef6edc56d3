#include "mount/mount_target.h"

#include <algorithm>

namespace drivelark {

namespace {

// One or more ASCII digits at `position`; returns the position after them, or npos.
size_t skipDigits(std::string_view text, size_t position) {
    size_t start = position;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') ++position;
    return position > start ? position : std::string_view::npos;
}

bool isControlCharacter(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

}  // namespace

bool isDeviceIdentifier(std::string_view text) {
    if (text.substr(0, 4) != "disk" || text.size() > 32) return false;
    size_t position = skipDigits(text, 4);
    if (position == text.size()) return true;
    if (position == std::string_view::npos || text[position] != 's') return false;
    return skipDigits(text, position + 1) == text.size();
}

bool isVolumesMountPoint(std::string_view path) {
    constexpr std::string_view kPrefix = "/Volumes/";
    if (path.substr(0, kPrefix.size()) != kPrefix) return false;
    std::string_view name = path.substr(kPrefix.size());
    if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
    return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || isControlCharacter(c); });
}

bool isSafeVolumeName(std::string_view name) {
    if (name.empty() || name.size() > 255) return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == ',' || c == '/' || c == '\\' || isControlCharacter(c); });
}

}  // namespace drivelark
