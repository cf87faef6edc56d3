#include <gtest/gtest.h>

#include "platform/property_list.h"
#include "platform/text_case.h"
#include "test_data.h"

namespace drivelark {
namespace {

TEST(PropertyListTest, XmlValuesKeepTheirTypes) {
    std::optional<PlistValue> root = parsePropertyList(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>name</key><string>Bob&apos;s &amp; &lt;数据&gt; &#x263A;</string>"
        "<key>flag</key><true/><key>size</key><integer>42</integer><key>when</key><date>2025-03-01T14:07:09Z</date>"
        "<key>list</key><array><string>a</string><false/></array><key>empty</key><string></string>"
        "</dict></plist>");
    ASSERT_TRUE(root);
    EXPECT_EQ(*root->textAt("name"), "Bob's & <数据> ☺");
    EXPECT_EQ(*root->find("flag")->boolean(), true);
    EXPECT_EQ(*root->find("size"), PlistValue());  // numbers are "other"
    EXPECT_EQ(*root->find("when"), PlistValue());
    EXPECT_EQ(root->textAt("size"), nullptr);
    EXPECT_EQ(*root->find("list"), PlistValue(PlistValue::Array{PlistValue("a"), PlistValue(false)}));
    EXPECT_EQ(*root->textAt("empty"), "");
    EXPECT_EQ(root->find("missing"), nullptr);
}

TEST(PropertyListTest, BinaryAndXmlListingsAgree) {
    std::optional<PlistValue> xml = parsePropertyList(testing::testData("diskutil_list_mac_mixed.plist"));
    std::optional<PlistValue> binary = parsePropertyList(testing::testData("diskutil_list_mac_mixed.bplist"));
    ASSERT_TRUE(xml);
    ASSERT_TRUE(binary);
    EXPECT_EQ(*xml, *binary);
    EXPECT_EQ(xml->find("AllDisksAndPartitions")->array()->size(), 7u);
}

TEST(PropertyListTest, WhatIsNotAPropertyListIsRejected) {
    EXPECT_FALSE(parsePropertyList(""));
    EXPECT_FALSE(parsePropertyList("Could not find disk: /Volumes/X\n"));
    EXPECT_FALSE(parsePropertyList("<plist><dict><key>a</key>"));
    EXPECT_FALSE(parsePropertyList("bplist00"));
    EXPECT_FALSE(parsePropertyList(std::string("bplist00\0\0\0\0", 12)));
    std::string xml = testing::testData("diskutil_list_mac_mixed.plist");
    for (size_t length = 1; length + 20 < xml.size(); length += 53) {
        EXPECT_FALSE(parsePropertyList(xml.substr(0, length))) << "cut at " << length;
    }
}

TEST(TextCaseTest, FullUnicodeUpperCaseIndependentOfLocale) {
    EXPECT_EQ(uppercased("ntfs"), "NTFS");
    EXPECT_EQ(uppercased("Windows_NTFS"), "WINDOWS_NTFS");
    EXPECT_EQ(uppercased("straße"), "STRASSE");
    EXPECT_EQ(uppercased("ﬁle"), "FILE");
    EXPECT_EQ(uppercased("istanbul"), "ISTANBUL");  // not the Turkish dotted İ
    EXPECT_EQ(uppercased("数据 ntfs"), "数据 NTFS");
    EXPECT_EQ(uppercased(""), "");
}

}  // namespace
}  // namespace drivelark
