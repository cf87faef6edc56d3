// The foundation: log lines that no text can forge, and what the command runner makes of the way
// a program ended.

#include <gtest/gtest.h>

#include <tuple>

#include "doubles/test_platform.h"
#include "foundation/app_log.h"
#include "foundation/command_runner.h"

namespace drivelark::testing {

// Multi-line output keeps its lines, each further one indented; nothing else starts a line.
TEST(AppLogTest, ContinuationLinesAndEscapes) {
    const std::pair<std::string, std::string> cases[] = {  // message, what follows the time stamp
        {"Drivelark v1.4 已启动", "Drivelark v1.4 已启动\n"},
        {"", "\n"},
        {"卸载失败 Data: Unmount failed\nbusy: sleep\n\n", "卸载失败 Data: Unmount failed\n    busy: sleep\n"},
        {"a\r\nb\rc\n\r\nd\r", "a\n    b\n    c\n    \n    d\n"},  // the administrator prompt's "\r"
        {"\nx", "\n    x\n"},
        {"x\n[2025-03-01 14:07:10] forged", "x\n    [2025-03-01 14:07:10] forged\n"},
        {"\t\x1B[31m\x7F", "\\t\\x1B[31m\\x7F\n"},
        {"x\xE2\x80\xA8[2025-03-01] y\xC2\x85z\xE2\x80\xA9", "x\\u2028[2025-03-01] y\\u0085z\\u2029\n"},
        {"\xFF\xC0\x8A\xE6\x95", "\\xFF\\xC0\\x8A\\xE6\\x95\n"},  // not UTF-8: an overlong line feed, a cut character
    };
    for (const auto& [message, text] : cases) {
        EXPECT_EQ(formatLogLine({2025, 3, 1, 14, 7, 9}, message), "[2025-03-01 14:07:09] " + text) << message;
    }
}

// A program that cannot start or does not finish in time fails its run (exit -1 here), which says
// why; output that is not strict UTF-8 (a binary property list, say) becomes empty but keeps the status.
TEST(CommandRunnerTest, StatusAndOutputOfEachWayAProgramEnds) {
    TestPlatform platform;
    for (const auto& [run, status, out] : std::vector<std::tuple<ProgramRun, int, std::string>>{
             {notStarted("/bin/tool", EACCES), -1, "start /bin/tool: Permission denied"},
             {exited(3, "\xF0\x9F\x92\xBE disk"), 3, "\xF0\x9F\x92\xBE disk"},
             {exited(0, std::string("nul\0byte", 8)), 0, std::string("nul\0byte", 8)},
             {exited(3, "bplist00\xD1\x01\x02"), 3, ""},
             {exited(0, "\xC0\xAF"), 0, ""},          // overlong "/"
             {exited(0, "\xED\xA0\x80"), 0, ""},      // a surrogate
             {exited(0, "\xF4\x90\x80\x80"), 0, ""},  // above U+10FFFF
             {exited(0, "cut \xE6\x95"), 0, ""},      // a character cut short
             {timedOut(), -1, "/bin/tool did not finish within 5 s"},
         }) {
        platform.processes.answer("/bin/tool", {}, run);
        CommandResult result = runCommand(platform.processes, "/bin/tool", {}, kListingTimeLimit);
        EXPECT_EQ((std::pair{result.run.ok() ? result.exit : -1, result.out}), (std::pair{status, out})) << run.output;
    }
}

}  // namespace drivelark::testing
