#include <gtest/gtest.h>

#include "doubles/test_platform.h"
#include "foundation/command_runner.h"

namespace drivelark {
namespace {

using namespace testing;

TEST(CommandRunnerTest, StartFailureIsStatus127WithItsDescription) {
    TestPlatform platform;
    platform.processes.answer("/nowhere/tool", {}, notStarted("could not start /nowhere/tool: No such file"));
    CommandResult result = runCommand("/nowhere/tool", {});
    EXPECT_EQ(result.exit, 127);
    EXPECT_EQ(result.out, "could not start /nowhere/tool: No such file");
}

TEST(CommandRunnerTest, OutputThatIsNotUtf8BecomesEmptyButKeepsTheStatus) {
    TestPlatform platform;
    auto run = [&](const std::string& bytes, int status = 3) {
        platform.processes.answer("/bin/tool", {}, exited(status, bytes));
        return runCommand("/bin/tool", {});
    };
    EXPECT_EQ(run("数据 ok\n").out, "数据 ok\n");
    EXPECT_EQ(run("\xF0\x9F\x92\xBE disk").out, "\xF0\x9F\x92\xBE disk");
    EXPECT_EQ(run("bplist00\xD1\x01\x02").out, "");
    EXPECT_EQ(run("bplist00\xD1\x01\x02").exit, 3);
    EXPECT_EQ(run("\xC0\xAF").out, "");            // overlong "/"
    EXPECT_EQ(run("\xED\xA0\x80").out, "");        // a surrogate
    EXPECT_EQ(run("\xF4\x90\x80\x80").out, "");    // above U+10FFFF
    EXPECT_EQ(run("cut \xE6\x95").out, "");        // a character cut short
    EXPECT_EQ(run(std::string("nul\0byte", 8)).out, std::string("nul\0byte", 8));
}

TEST(CommandRunnerTest, ArgumentsReachTheProgramUnchanged) {
    TestPlatform platform;
    platform.processes.answer("/bin/echo", {"My Disk", "Bob's", "a;b", "$(x)", ""}, exited(0));
    EXPECT_EQ(runCommand("/bin/echo", {"My Disk", "Bob's", "a;b", "$(x)", ""}).exit, 0);
    EXPECT_EQ(platform.processes.calls().at(0).arguments,
              (std::vector<std::string>{"My Disk", "Bob's", "a;b", "$(x)", ""}));
}

}  // namespace
}  // namespace drivelark
