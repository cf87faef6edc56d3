// The foundation: log lines that no text can forge, and what the command runner makes of the way
// a program ended.

#include <gtest/gtest.h>

#include "doubles/test_platform.h"
#include "foundation/app_log.h"
#include "foundation/command_runner.h"

namespace drivelark {
namespace {

using namespace testing;

TEST(AppLogTest, LineFormatAndNoTextForgesALine) {
    LocalDateTime time{2025, 3, 1, 14, 7, 9};
    EXPECT_EQ(formatLogLine(time, "Drivelark v1.4 已启动"), "[2025-03-01 14:07:09] Drivelark v1.4 已启动\n");
    EXPECT_EQ(formatLogLine(time, "first\n[2025-03-01 14:07:10] forged\tx\r\x1B[31m\x7F"),
              "[2025-03-01 14:07:09] first\\n[2025-03-01 14:07:10] forged\\tx\\r\\x1B[31m\\x7F\n");
    EXPECT_EQ(formatLogLine(LocalDateTime{987, 12, 31, 0, 0, 0}, "x"), "[0987-12-31 00:00:00] x\n");
}

// A program that cannot start is status 127 with its description; output that is not strict
// UTF-8 (a binary property list, say) becomes empty but keeps the status.
TEST(CommandRunnerTest, StatusAndOutputOfEachWayAProgramEnds) {
    TestPlatform platform;
    const std::string nul("nul\0byte", 8);
    const std::vector<std::pair<ProgramRun, CommandResult>> cases = {
        {notStarted("could not start /bin/tool: No such file"), {127, "could not start /bin/tool: No such file"}},
        {exited(0, "数据 ok\n"), {0, "数据 ok\n"}},
        {exited(3, "\xF0\x9F\x92\xBE disk"), {3, "\xF0\x9F\x92\xBE disk"}},
        {exited(0, nul), {0, nul}},
        {exited(3, "bplist00\xD1\x01\x02"), {3, ""}},
        {exited(0, "\xC0\xAF"), {0, ""}},          // overlong "/"
        {exited(0, "\xED\xA0\x80"), {0, ""}},      // a surrogate
        {exited(0, "\xF4\x90\x80\x80"), {0, ""}},  // above U+10FFFF
        {exited(0, "cut \xE6\x95"), {0, ""}},      // a character cut short
    };
    for (const auto& [run, expected] : cases) {
        platform.processes.answer("/bin/tool", {}, run);
        CommandResult result = runCommand("/bin/tool", {});
        EXPECT_EQ((std::pair{result.exit, result.out}), (std::pair{expected.exit, expected.out})) << run.output;
    }
}

}  // namespace
}  // namespace drivelark
