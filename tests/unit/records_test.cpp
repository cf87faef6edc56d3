#include <gtest/gtest.h>

#include "discovery/ntfs_partition.h"

namespace drivelark {
namespace {

TEST(NTFSPartitionTest, KeyPrefersTheUuidExactlyAsListed) {
    NTFSPartition partition{"disk4s1", "Data", ""};
    EXPECT_EQ(partition.key(), "dev:disk4s1");
    partition.uuid = "7c1e4a2f-93b5";
    EXPECT_EQ(partition.key(), "uuid:7c1e4a2f-93b5");
    partition.uuid = " ";
    EXPECT_EQ(partition.key(), "uuid: ");
}

TEST(NTFSPartitionTest, SafeNameReplacesOnlyCommasAndSlashes) {
    EXPECT_EQ((NTFSPartition{"disk4s1", "", ""}.safeVolname()), "Untitled");
    EXPECT_EQ((NTFSPartition{"disk4s1", "a,b/c", ""}.safeVolname()), "a_b_c");
    EXPECT_EQ((NTFSPartition{"disk4s1", "   ", ""}.safeVolname()), "   ");
    // Dot names would make "/Volumes/.." a mount point.
    EXPECT_EQ(NTFSPartition::safeVolumeName(".."), "__");
    EXPECT_EQ(NTFSPartition::safeVolumeName("."), "_");
    EXPECT_EQ(NTFSPartition::safeVolumeName("..."), "...");
    EXPECT_EQ(NTFSPartition::safeVolumeName("../etc"), ".._etc");
    EXPECT_EQ(NTFSPartition::safeVolumeName("-o ro"), "_o ro");
    EXPECT_EQ(NTFSPartition::safeVolumeName("a-b"), "a-b");
    EXPECT_EQ(NTFSPartition::safeVolumeName("Bob's \"Disk\" $(touch x); 数据,/"),
              "Bob's \"Disk\" $(touch x); 数据__");
    // A backslash would escape FUSE's option separator; control characters would forge mount lines.
    EXPECT_EQ(NTFSPartition::safeVolumeName("a\\,b\nc\td\x7F"), "a__b_c_d_");
}

}  // namespace
}  // namespace drivelark
