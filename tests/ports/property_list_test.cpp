#include <gtest/gtest.h>

#include "platform/property_list.h"
#include "platform/text_case.h"
#include "test_data.h"

using namespace drivelark;
using drivelark::testing::testData;

TEST(PropertyListTest, ValuesKeepTheirTypesAndBinaryAgreesWithXml) {
    std::optional<PlistValue> root = parsePropertyList(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>name</key><string>Bob&apos;s &amp; &lt;数据&gt; &#x263A;</string><key>size</key><integer>42</integer>"
        "<key>when</key><date>2025-03-01T14:07:09Z</date><key>list</key><array><string></string><false/></array>"
        "</dict></plist>");
    ASSERT_TRUE(root);
    EXPECT_EQ(*root, PlistValue(PlistValue::Dictionary{{"name", "Bob's & <数据> ☺"}, {"size", std::int64_t{42}},
                                   {"when", PlistValue()}, {"list", PlistValue::Array{"", false}}}));
    std::optional<PlistValue> xml = parsePropertyList(testData("diskutil_list_mac_mixed.plist"));
    ASSERT_TRUE(xml && xml->find("AllDisksAndPartitions")->array()->size() == 7u);
    EXPECT_EQ(xml, parsePropertyList(testData("diskutil_list_mac_mixed.bplist")));
}

TEST(PropertyListTest, WhatIsNotAPropertyListIsRejected) {
    std::string xml = testData("diskutil_info_ntfs_volume.plist"), listing = testData("diskutil_list_mac_mixed.plist");
    std::string cut = xml.substr(0, xml.rfind("</plist>"));
    for (const std::string& bytes : {std::string(), std::string("Could not find disk: /Volumes/X\n"),
                                     std::string("{}"), std::string("(a, b)"),  // OpenStep
                                     std::string("<plist><dict><key>a</key>"), std::string("bplist00\0\0\0\0", 12),
                                     cut, xml + "Could not find disk\n", xml + "<plist><true/></plist>x"})
        EXPECT_FALSE(parsePropertyList(bytes)) << bytes;
    EXPECT_TRUE(parsePropertyList(xml + "\n \n"));
    for (size_t length = 1; length + 20 < listing.size(); length += 53)
        EXPECT_FALSE(parsePropertyList(listing.substr(0, length))) << "cut at " << length;
}

TEST(TextCaseTest, FullUnicodeUpperCaseIndependentOfLocale) {
    // "istanbul" keeps a dotless I: no Turkish rules.
    for (const auto& [text, upper] : std::vector<std::pair<std::string, std::string>>{
             {"straße", "STRASSE"}, {"ﬁle", "FILE"}, {"istanbul", "ISTANBUL"}, {"数据 ntfs", "数据 NTFS"}, {"", ""}})
        EXPECT_EQ(uppercased(text), upper);
}
