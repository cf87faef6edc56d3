#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "linux/temporary_directory.h"
#include "platform/posix/files_posix.h"

namespace drivelark {
namespace {

using testing::TemporaryDirectory;

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(PosixFilesTest, CreatesNestedFoldersAndAppends) {
    TemporaryDirectory folder;
    PosixFiles files;
    EXPECT_TRUE(files.createDirectories(folder / "Library/Logs"));
    EXPECT_TRUE(files.createDirectories(folder / "Library/Logs"));  // existing is fine
    EXPECT_TRUE(files.appendToFile(folder / "Library/Logs/a.log", "one\n"));
    EXPECT_TRUE(files.appendToFile(folder / "Library/Logs/a.log", "数据\n"));
    EXPECT_EQ(readFile(folder / "Library/Logs/a.log"), "one\n数据\n");
    EXPECT_FALSE(files.appendToFile(folder / "missing/a.log", "x"));
    // A file in the way of a folder.
    EXPECT_FALSE(files.createDirectories(folder / "Library/Logs/a.log/deeper"));
}

TEST(PosixFilesTest, ListsHiddenEntriesButNotDotEntries) {
    TemporaryDirectory folder;
    PosixFiles files;
    files.createDirectories(folder / "Volumes/Data");
    files.appendToFile(folder / "Volumes/.hidden", "");
    ::symlink("/", (folder / "Volumes/Macintosh HD").c_str());
    std::optional<std::vector<std::string>> names = files.listDirectory(folder / "Volumes");
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{".hidden", "Data", "Macintosh HD"}));
    EXPECT_FALSE(files.listDirectory(folder / "none"));

    std::unique_ptr<DirectoryStream> stream = files.openDirectory(folder / "Volumes");
    ASSERT_NE(stream, nullptr);
    int count = 0;
    while (stream->next()) ++count;
    EXPECT_EQ(count, 5);  // with "." and ".."
    EXPECT_EQ(files.openDirectory(folder / "none"), nullptr);
}

TEST(PosixFilesTest, StatusOfLinksFoldersAndVolumes) {
    TemporaryDirectory folder;
    PosixFiles files;
    ::symlink("/", (folder / "link").c_str());
    EXPECT_TRUE(files.lstat(folder / "link")->isSymbolicLink);
    EXPECT_FALSE(files.lstat(folder / "link")->isDirectory);
    EXPECT_TRUE(files.stat(folder / "link")->isDirectory);
    EXPECT_NE(files.lstat(folder.path())->device, 0u);
    EXPECT_FALSE(files.lstat(folder / "none"));
    EXPECT_GT(files.statvfs(folder.path())->totalBlocks, 0u);
    EXPECT_FALSE(files.statvfs(folder / "none"));
}

TEST(PosixFilesTest, ExecutableMeansARegularFileWeMayRun) {
    TemporaryDirectory folder;
    PosixFiles files;
    files.appendToFile(folder / "tool", "#!/bin/sh\n");
    EXPECT_TRUE(files.exists(folder / "tool"));
    EXPECT_TRUE(files.isReadable(folder / "tool"));
    EXPECT_FALSE(files.isExecutable(folder / "tool"));
    ::chmod((folder / "tool").c_str(), 0755);
    EXPECT_TRUE(files.isExecutable(folder / "tool"));
    EXPECT_FALSE(files.isExecutable(folder.path()));
    EXPECT_FALSE(files.isExecutable(folder / "none"));
    EXPECT_FALSE(files.exists(folder / "none"));
}

}  // namespace
}  // namespace drivelark
