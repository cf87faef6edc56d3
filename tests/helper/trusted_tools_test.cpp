// The helper tool runs ntfs-3g and its companions only from its own folder, and only while
// nobody but root can change the folder or the tool; a root shell's administrator may use the
// copy in the user's application.

#include "helper/trusted_tools.h"

#include <gtest/gtest.h>

#include "helper_scene.h"

namespace drivelark::helper {
namespace {

using namespace testing;

TEST(TrustedToolsTest, RootOnlyMeansOwnedByRootAndWritableByNobodyElse) {
    for (std::uint32_t mode : {0755u, 0555u, 0700u, 0711u, 04755u, 01755u}) EXPECT_TRUE(isRootOnly(regularFile(0, mode))) << mode;
    for (std::uint32_t mode : {0775u, 0757u, 0777u, 0766u, 0722u, 01777u}) EXPECT_FALSE(isRootOnly(regularFile(0, mode))) << mode;
    EXPECT_FALSE(isRootOnly(regularFile(501, 0755)));
    EXPECT_FALSE(isRootOnly(failure(ENOENT)));
}

TEST(TrustedToolsTest, AToolOrFolderOthersCanChangeIsRefused) {
    const std::vector<std::pair<std::string, FileInfo>> refusals = {
        {kToolFolder, directory(1, 501, 0755)}, {kToolFolder, directory(1, 0, 0775)}, {kToolFolder, directory(1, 0, 01777)},
        {kToolFolder, regularFile()}, {kToolFolder, symbolicLink()}, {kToolFolder, failure(EACCES)},
        {kNtfs3g, regularFile(501, 0755)}, {kNtfs3g, regularFile(0, 0775)}, {kNtfs3g, regularFile(0, 0757)},
        {kNtfs3g, symbolicLink()}, {kNtfs3g, directory(1)}, {kNtfs3g, failure(ENOENT)},
    };
    for (const auto& [path, info] : refusals) {
        HelperMachine machine;
        EXPECT_EQ(trustedTool(machine.system, "ntfs-3g").path, kNtfs3g);
        machine.system.files[path] = info;
        TrustedTool tool = trustedTool(machine.system, "ntfs-3g");
        EXPECT_FALSE(tool.path);
        EXPECT_NE(tool.problem.find(path), std::string::npos) << tool.problem;
    }
    HelperMachine machine;
    machine.system.folder.reset();
    EXPECT_FALSE(trustedTool(machine.system, "ntfsfix").path);
}

TEST(TrustedToolsTest, AnAdministratorsOwnCopyMayLiveInTheUsersBundle) {
    HelperMachine machine;
    machine.system.bySudo = false;
    machine.system.files[kToolFolder] = directory(1, 501, 0755);
    machine.system.files[kNtfs3g] = regularFile(501, 0755);
    EXPECT_EQ(trustedTool(machine.system, "ntfs-3g").path, kNtfs3g);
    machine.system.files[kNtfs3g] = symbolicLink();
    EXPECT_FALSE(trustedTool(machine.system, "ntfs-3g").path);
}

}  // namespace
}  // namespace drivelark::helper
