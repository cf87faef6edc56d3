#pragma once

// What tells one volume apart from the next one the system gives the same device name: device
// names (disk4s1), mount points and volume names are all reused within seconds of a disk leaving.
// A root action names the identity of the volume it was decided for, and the helper tool refuses
// it when the device no longer holds that volume.

#include <string>
#include <string_view>

#include "platform/property_list.h"

namespace drivelark {

// The identity of the volume that an entry of the disk listing ("diskutil list -plist") or the disk
// utility's description of a device ("diskutil info -plist") describes: "volume:" and its volume
// UUID when it has one; otherwise "partition:", the partition's UUID (GPT only; "-" without one),
// ":", its size in bytes, ":" and its name in hexadecimal. Both sources name these keys alike
// (VolumeUUID, DiskUUID, Size, VolumeName), so the two descriptions of one volume give one identity.
std::string volumeIdentity(const PlistValue& entry);

// True for the texts volumeIdentity gives: the shape the helper tool accepts as an argument.
bool isVolumeIdentity(std::string_view text);

}  // namespace drivelark
