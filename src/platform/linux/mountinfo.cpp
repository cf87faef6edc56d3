#include "platform/linux/mountinfo.h"

namespace drivelark {

namespace {

std::string unescaped(std::string_view field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        bool octal = field[i] == '\\' && i + 3 < field.size() &&
                     field.substr(i + 1, 3).find_first_not_of("01234567") == std::string_view::npos;
        if (octal) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The fifth field of a line: "36 35 98:0 /root /Volumes/My\040Disk rw,... - ntfs /dev/disk4s1 rw".
std::string_view mountPointField(std::string_view line) {
    for (int skipped = 0; skipped < 4; ++skipped) {
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) return {};
        line.remove_prefix(blank + 1);
    }
    return line.substr(0, line.find(' '));
}

}  // namespace

std::set<std::string> mountPointsIn(std::string_view mountinfo, std::string_view folder) {
    std::set<std::string> mountPoints;
    while (!mountinfo.empty()) {
        size_t end = mountinfo.find('\n');
        std::string mountPoint = unescaped(mountPointField(mountinfo.substr(0, end)));
        mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);
        size_t nameStart = folder.size() + 1;
        bool inFolder = mountPoint.size() > nameStart && mountPoint.starts_with(folder) &&
                        mountPoint[folder.size()] == '/' && mountPoint.find('/', nameStart) == std::string::npos;
        if (inFolder) mountPoints.insert(std::move(mountPoint));
    }
    return mountPoints;
}

}  // namespace drivelark
