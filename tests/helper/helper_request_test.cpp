#include "helper/helper_request.h"

#include <gtest/gtest.h>

namespace drivelark::helper {
namespace {

using Arguments = std::vector<std::string>;

TEST(HelperRequestTest, EachSubcommandTakesExactlyItsOperands) {
    EXPECT_EQ(parseRequest({"selftest"}).request, (Request{Subcommand::selftest, "", "", ""}));
    EXPECT_EQ(parseRequest({"mount", "disk4s1", "/Volumes/My Disk", "My Disk"}).request,
              (Request{Subcommand::mount, "disk4s1", "/Volumes/My Disk", "My Disk"}));
    EXPECT_EQ(parseRequest({"fix", "disk4s1"}).request, (Request{Subcommand::fix, "disk4s1", "", ""}));
    EXPECT_EQ(parseRequest({"unmount", "/Volumes/Data"}).request,
              (Request{Subcommand::unmount, "", "/Volumes/Data", ""}));
    EXPECT_EQ(parseRequest({"keepalive", "disk4"}).request, (Request{Subcommand::keepalive, "disk4", "", ""}));
    EXPECT_EQ(parseRequest({"flush", "disk4s1"}).request, (Request{Subcommand::flush, "disk4s1", "", ""}));

    for (const Arguments& wrongCount : {Arguments{}, Arguments{"selftest", "disk4s1"}, Arguments{"mount"},
                                        Arguments{"mount", "disk4s1", "/Volumes/Data"},
                                        Arguments{"mount", "disk4s1", "/Volumes/Data", "Data", "extra"},
                                        Arguments{"fix"}, Arguments{"fix", "disk4s1", "disk4s2"}, Arguments{"unmount"},
                                        Arguments{"unmount", "/Volumes/A", "/Volumes/B"}, Arguments{"keepalive"}}) {
        ParsedRequest parsed = parseRequest(wrongCount);
        EXPECT_FALSE(parsed.request) << wrongCount.size();
        EXPECT_NE(parsed.problem.find("usage"), std::string::npos) << parsed.problem;
    }
}

TEST(HelperRequestTest, UnknownSubcommandsAreRefused) {
    for (const char* name : {"", "MOUNT", "mount ", "shell", "install", "selftest\n", "fix;reboot"})
        EXPECT_FALSE(parseRequest({name, "disk4s1"}).request) << name;
}

TEST(HelperRequestTest, OptionLookingArgumentsAreRefusedInAnyPosition) {
    for (const Arguments& arguments :
         {Arguments{"--help"}, Arguments{"-o"}, Arguments{"-h", "selftest"}, Arguments{"selftest", "--"},
          Arguments{"fix", "-d"}, Arguments{"unmount", "-f"}, Arguments{"mount", "disk4s1", "/Volumes/Data", "-o"},
          Arguments{"mount", "disk4s1", "/Volumes/Data", "--allow-other"}, Arguments{"keepalive", "-"}}) {
        ParsedRequest parsed = parseRequest(arguments);
        EXPECT_FALSE(parsed.request) << arguments.back();
        EXPECT_NE(parsed.problem.find("options are not accepted"), std::string::npos) << parsed.problem;
    }
}

TEST(HelperRequestTest, TargetsMustHaveTheirShape) {
    for (const char* device :
         {"", "disk", "/dev/disk4s1", "rdisk4s1", "disk4s1/../../etc/passwd", "disk4s1 x", "sda1", "disk4;id"}) {
        EXPECT_FALSE(parseRequest({"fix", device}).request) << device;
        EXPECT_FALSE(parseRequest({"keepalive", device}).request) << device;
        EXPECT_FALSE(parseRequest({"flush", device}).request) << device;
        EXPECT_FALSE(parseRequest({"mount", device, "/Volumes/Data", "Data"}).request) << device;
    }
    for (const char* mountPoint : {"/", "/etc", "/Volumes", "/Volumes/", "/Volumes/..", "/Volumes/../etc",
                                   "/Volumes/a/b", "Volumes/Data", "/tmp/Data", "/Volumes/a\nb", "/Volumes/a\x7F"}) {
        EXPECT_FALSE(parseRequest({"unmount", mountPoint}).request) << mountPoint;
        EXPECT_FALSE(parseRequest({"mount", "disk4s1", mountPoint, "Data"}).request) << mountPoint;
    }
    for (const char* name : {"", "Data,allow_other", "a/b", "two\nlines", "tab\there", "a\\,b"})
        EXPECT_FALSE(parseRequest({"mount", "disk4s1", "/Volumes/Data", name}).request) << name;
}

TEST(HelperRequestTest, ProblemsQuoteHostileArgumentsOnOneLine) {
    ParsedRequest parsed = parseRequest({"fix", "disk4\nfake: line\r"});
    ASSERT_FALSE(parsed.request);
    EXPECT_EQ(parsed.problem, "not a device name such as disk4s1: disk4?fake: line?");
    EXPECT_EQ(parseRequest({"mount", "disk4s1", "/Volumes/Data", "a\x1b[2Jb"}).problem,
              "not a volume name ntfs-3g can take: a?[2Jb");
}

}  // namespace
}  // namespace drivelark::helper
