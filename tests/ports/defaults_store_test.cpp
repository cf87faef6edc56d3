#include <gtest/gtest.h>

#include <fstream>

#include "platform/platform.h"
#include "ports/port_tests.h"

using namespace drivelark;
using drivelark::testing::defaultsFile;
using drivelark::testing::nativePlatform;

// What the store's file holds, read back as a property list.
static std::optional<PlistValue> storedFile() {
    std::ifstream file(defaultsFile(), std::ios::binary);
    return parsePropertyList(std::string(std::istreambuf_iterator<char>(file), {}));
}

TEST(DefaultsStoreTest, ValuesKeepTheirTypesInTheStoresFile) {
    EXPECT_FALSE(nativePlatform().defaults.value("neverWritten"));
    const PlistValue places(PlistValue::Dictionary{{"/Volumes/My Data", "disk4s1"}, {"/Volumes/数据", "disk5s1"}});
    for (const PlistValue& value :
         {PlistValue(false), PlistValue("yes"), PlistValue(PlistValue::Array{"a", true}), places}) {
        ASSERT_TRUE(nativePlatform().defaults.setValue("managedDevs", value).ok());
        EXPECT_EQ(nativePlatform().defaults.value("managedDevs"), value);
        EXPECT_EQ(*storedFile()->find("managedDevs"), value);
    }
}

// A full disk: what could not be written is still what the application reads, and reaches the
// file with the next write that succeeds.
TEST(DefaultsStoreTest, AFailedWriteIsKeptAndWrittenLater) {
    DefaultsStore& store = nativePlatform().defaults;
    ASSERT_TRUE(store.setValue("autoMount", true).ok());
    std::filesystem::remove(defaultsFile());
    std::filesystem::create_directory(defaultsFile());  // in the way of the file: nothing is written
    EXPECT_FALSE(store.setValue("autoMount", false).ok());
    EXPECT_EQ(store.value("autoMount"), PlistValue(false));
    std::filesystem::remove(defaultsFile());
    ASSERT_TRUE(store.setValue("later", "y").ok());
    EXPECT_EQ(*storedFile()->find("autoMount"), PlistValue(false));
    std::filesystem::remove(defaultsFile());
}
