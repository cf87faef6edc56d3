#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "linux/temporary_directory.h"
#include "platform/linux/defaults_store_plist_file.h"
#include "platform/linux/staged_file.h"

namespace drivelark {
namespace {

using testing::TemporaryDirectory;

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

size_t entriesIn(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(PlistFileDefaultsStoreTest, ValuesKeepTheirTypesAcrossInstances) {
    TemporaryDirectory home;
    std::string path = home / "Library/Preferences/com.drivelark.Drivelark.plist";
    {
        PlistFileDefaultsStore store(path);
        EXPECT_FALSE(store.value("autoMount"));
        EXPECT_TRUE(store.setValue("autoMount", PlistValue(false)));
        EXPECT_TRUE(store.setValue("managedDevs", PlistValue(PlistValue::Dictionary{
                                                      {"/Volumes/My Data", PlistValue("disk4s1")},
                                                      {"/Volumes/数据", PlistValue("disk5s1")}})));
    }
    PlistFileDefaultsStore reopened(path);
    EXPECT_EQ(*reopened.value("autoMount"), PlistValue(false));
    EXPECT_EQ(*reopened.value("managedDevs")->textAt("/Volumes/数据"), "disk5s1");
    EXPECT_FALSE(reopened.value("managedNames"));
}

TEST(PlistFileDefaultsStoreTest, KeysWeNeverWroteSurviveOurWrites) {
    TemporaryDirectory home;
    std::string path = home / "prefs.plist";
    writeFile(path,
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>count</key><integer>7</integer>"
              "<key>autoMount</key><string>yes</string></dict></plist>");
    PlistFileDefaultsStore store(path);
    EXPECT_EQ(*store.value("autoMount"), PlistValue("yes"));  // a text, not a Boolean
    EXPECT_TRUE(store.setValue("autoMount", PlistValue(true)));
    std::string written = readFile(path);
    EXPECT_NE(written.find("<integer>7</integer>"), std::string::npos);
    EXPECT_NE(written.find("<true/>"), std::string::npos);
}

TEST(PlistFileDefaultsStoreTest, DamagedFileIsMovedAsideNotOverwritten) {
    TemporaryDirectory home;
    std::string path = home / "prefs.plist";
    writeFile(path, "<plist><dict><key>managedDevs</key><dict><key>/Volumes/A</key>");  // cut short
    PlistFileDefaultsStore store(path);
    EXPECT_FALSE(store.value("managedDevs"));
    EXPECT_EQ(readFile(path + ".damaged"), "<plist><dict><key>managedDevs</key><dict><key>/Volumes/A</key>");
    EXPECT_TRUE(store.setValue("autoMount", PlistValue(true)));
    EXPECT_EQ(readFile(path + ".damaged"), "<plist><dict><key>managedDevs</key><dict><key>/Volumes/A</key>");

    writeFile(home / "array.plist", "<plist version=\"1.0\"><array/></plist>");
    PlistFileDefaultsStore arrayStore(home / "array.plist");
    EXPECT_FALSE(arrayStore.value("autoMount"));
    EXPECT_TRUE(std::filesystem::exists(home / "array.plist.damaged"));
}

TEST(PlistFileDefaultsStoreTest, CrashBetweenWriteAndRenameLeavesTheOldContent) {
    TemporaryDirectory home;
    std::string path = home / "prefs.plist";
    PlistFileDefaultsStore store(path);
    ASSERT_TRUE(store.setValue("managedDevs", PlistValue(PlistValue::Dictionary{{"/Volumes/A", PlistValue("disk4s1")}})));
    std::string before = readFile(path);

    pid_t child = ::fork();
    if (child == 0) {
        // The process dies after the new content is on disk and before the rename.
        std::optional<StagedFile> staged = StagedFile::stage(path, "half-written new content");
        ::_exit(staged ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(entriesIn(home.path()), 2u);  // the file and the abandoned temporary file
    PlistFileDefaultsStore afterCrash(path);
    EXPECT_EQ(*afterCrash.value("managedDevs")->textAt("/Volumes/A"), "disk4s1");
}

TEST(PlistFileDefaultsStoreTest, FailedWriteKeepsTheStoredValue) {
    TemporaryDirectory home;
    PlistFileDefaultsStore store(home / "Preferences/prefs.plist");
    ASSERT_TRUE(store.setValue("autoMount", PlistValue(true)));
    // The folder is replaced by a file: no temporary file can be made beside the store.
    std::filesystem::rename(home / "Preferences", home / "Moved");
    writeFile(home / "Preferences", "in the way");
    EXPECT_FALSE(store.setValue("autoMount", PlistValue(false)));
    EXPECT_EQ(*store.value("autoMount"), PlistValue(true));
    EXPECT_EQ(*PlistFileDefaultsStore(home / "Moved/prefs.plist").value("autoMount"), PlistValue(true));
}

TEST(PlistFileDefaultsStoreTest, ConcurrentWritersNeverCorruptTheFile) {
    TemporaryDirectory home;
    std::string path = home / "prefs.plist";
    PlistFileDefaultsStore store(path);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i)
                store.setValue("key" + std::to_string(t), PlistValue(std::to_string(i)));
        });
    }
    for (std::thread& writer : writers) writer.join();
    PlistFileDefaultsStore reread(path);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(*reread.value("key" + std::to_string(t)), PlistValue("24"));
    EXPECT_EQ(entriesIn(home.path()), 1u);
}

}  // namespace
}  // namespace drivelark
