#include "helper/trusted_tools.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;

TEST(TrustedToolsTest, RootOnlyMeansOwnedByRootAndWritableByNobodyElse) {
    for (std::uint32_t mode : {0755u, 0555u, 0700u, 0711u, 04755u, 01755u})
        EXPECT_TRUE(isRootOnly(regularFile(0, mode))) << mode;
    for (std::uint32_t mode : {0775u, 0757u, 0777u, 0766u, 0722u, 01777u})
        EXPECT_FALSE(isRootOnly(regularFile(0, mode))) << mode;
    EXPECT_FALSE(isRootOnly(regularFile(501, 0755)));
    EXPECT_FALSE(isRootOnly(directory(1, 501, 0700)));
    EXPECT_FALSE(isRootOnly(failure(ENOENT)));
}

class TrustedToolTest : public ::testing::Test, public HelperMachine {};

TEST_F(TrustedToolTest, TheToolBesideTheHelperIsTrustedWhenOnlyRootCanChangeEither) {
    TrustedTool tool = trustedTool(system, "ntfs-3g");
    EXPECT_EQ(tool.path, std::optional<std::string>(kNtfs3g));
    EXPECT_EQ(tool.problem, "");
}

TEST_F(TrustedToolTest, AFolderOthersCanChangeIsRefused) {
    for (const FileInfo& folder : {directory(1, 501, 0755), directory(1, 0, 0775), directory(1, 0, 0777),
                                   directory(1, 0, 01777), regularFile(), symbolicLink(), failure(EACCES)}) {
        system.files[kToolFolder] = folder;
        TrustedTool tool = trustedTool(system, "ntfs-3g");
        EXPECT_FALSE(tool.path);
        EXPECT_NE(tool.problem.find(kToolFolder), std::string::npos) << tool.problem;
    }
}

TEST_F(TrustedToolTest, AToolOthersCanChangeOrThatIsNotAPlainFileIsRefused) {
    for (const FileInfo& file : {regularFile(501, 0755), regularFile(0, 0775), regularFile(0, 0757), symbolicLink(),
                                 directory(1), failure(ENOENT)}) {
        system.files[kNtfs3g] = file;
        TrustedTool tool = trustedTool(system, "ntfs-3g");
        EXPECT_FALSE(tool.path);
        EXPECT_NE(tool.problem.find(kNtfs3g), std::string::npos) << tool.problem;
    }
}

TEST_F(TrustedToolTest, AnAdministratorsOwnCopyMayLiveInTheUsersBundle) {
    system.bySudo = false;
    system.files[kToolFolder] = directory(1, 501, 0755);
    system.files[kNtfs3g] = regularFile(501, 0755);
    EXPECT_EQ(trustedTool(system, "ntfs-3g").path, std::optional<std::string>(kNtfs3g));
    system.files[kNtfs3g] = symbolicLink();
    EXPECT_FALSE(trustedTool(system, "ntfs-3g").path);
}

TEST_F(TrustedToolTest, WithoutItsOwnFolderTheHelperRunsNothing) {
    system.folder.reset();
    EXPECT_FALSE(trustedTool(system, "ntfsfix").path);
}

}  // namespace
}  // namespace drivelark::helper
