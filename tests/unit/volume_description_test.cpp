#include <gtest/gtest.h>

#include "discovery/volume_description.h"
#include "test_data.h"

namespace drivelark {
namespace {

TEST(VolumeDescriptionTest, ReadsTheKeysOfTheDiskUtilitysDescription) {
    EXPECT_EQ(parseVolumeDescription(testing::testData("diskutil_info_ntfs_volume.plist")),
              (VolumeDescription{"disk4s2", "Data", "/Volumes/Data", "ntfs"}));
    // The error report of an unknown volume is a dictionary too, without any of the keys.
    EXPECT_EQ(parseVolumeDescription(testing::testData("diskutil_info_unknown.plist")), VolumeDescription{});
    EXPECT_EQ(parseVolumeDescription("<plist version=\"1.0\"><dict><key>DeviceIdentifier</key><true/>"
                                     "<key>VolumeName</key><string>数据</string></dict></plist>"),
              (VolumeDescription{std::nullopt, "数据", std::nullopt, std::nullopt}));
    EXPECT_EQ(parseVolumeDescription("Could not find disk: disk9"), std::nullopt);
    EXPECT_EQ(parseVolumeDescription(""), std::nullopt);
    EXPECT_EQ(parseVolumeDescription("<plist version=\"1.0\"><array><string>disk4s1</string></array></plist>"),
              std::nullopt);
}

}  // namespace
}  // namespace drivelark
