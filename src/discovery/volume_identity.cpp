#include "discovery/volume_identity.h"

#include <algorithm>

namespace drivelark {

namespace {

constexpr std::string_view kVolumePrefix = "volume:";
constexpr std::string_view kPartitionPrefix = "partition:";
constexpr std::size_t kLongestUUID = 64;
constexpr std::size_t kLongestName = 255 * 4;  // bytes of UTF-8

bool isUUID(std::string_view text) {
    return !text.empty() && text.size() <= kLongestUUID && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || c == '-';
           });
}

bool isHex(std::string_view text) {
    return text.size() % 2 == 0 && text.size() <= 2 * kLongestName &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool isDecimal(std::string_view text) {
    return !text.empty() && text.size() <= 20 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string hex(std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace

std::string volumeIdentity(const PlistValue& entry) {
    const std::string* volumeUUID = entry.textAt("VolumeUUID");
    if (volumeUUID != nullptr && isUUID(*volumeUUID)) return std::string(kVolumePrefix) + *volumeUUID;
    const std::string* partitionUUID = entry.textAt("DiskUUID");
    const PlistValue* sizeValue = entry.find("Size");
    const std::int64_t* size = sizeValue != nullptr ? sizeValue->integer() : nullptr;
    const std::string* name = entry.textAt("VolumeName");
    return std::string(kPartitionPrefix) + (partitionUUID != nullptr && isUUID(*partitionUUID) ? *partitionUUID : "-") +
           ":" + std::to_string(size != nullptr && *size > 0 ? *size : 0) + ":" +
           hex(name != nullptr ? std::string_view(*name).substr(0, kLongestName) : std::string_view());
}

bool isVolumeIdentity(std::string_view text) {
    if (text.starts_with(kVolumePrefix)) return isUUID(text.substr(kVolumePrefix.size()));
    if (!text.starts_with(kPartitionPrefix)) return false;
    std::string_view rest = text.substr(kPartitionPrefix.size());
    size_t first = rest.find(':');
    size_t second = first == std::string_view::npos ? first : rest.find(':', first + 1);
    if (second == std::string_view::npos) return false;
    std::string_view uuid = rest.substr(0, first);
    return (uuid == "-" || isUUID(uuid)) && isDecimal(rest.substr(first + 1, second - first - 1)) &&
           isHex(rest.substr(second + 1));
}

}  // namespace drivelark
