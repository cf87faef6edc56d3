#include <gtest/gtest.h>

#include "doubles/test_platform.h"
#include "foundation/app_log.h"

namespace drivelark {
namespace {

using namespace testing;

TEST(AppLogTest, LineFormat) {
    LocalDateTime time{2025, 3, 1, 14, 7, 9};
    EXPECT_EQ(formatLogLine(time, "Drivelark v1.4 已启动"), "[2025-03-01 14:07:09] Drivelark v1.4 已启动\n");
    EXPECT_EQ(formatLogLine(time, ""), "[2025-03-01 14:07:09] \n");
    // No text can forge a line of its own.
    EXPECT_EQ(formatLogLine(time, "first\n[2025-03-01 14:07:10] forged\tx\r\x1B[31m\x7F"),
              "[2025-03-01 14:07:09] first\\n[2025-03-01 14:07:10] forged\\tx\\r\\x1B[31m\\x7F\n");
    EXPECT_EQ(formatLogLine(LocalDateTime{987, 12, 31, 0, 0, 0}, "x"), "[0987-12-31 00:00:00] x\n");
}

TEST(AppLogTest, AppendsTimeStampedLinesInTheUsersLogFolder) {
    TestPlatform platform;
    const std::string log = std::string(MemoryFiles::kHome) + "/Library/Logs/Drivelark.log";
    platform.files.createDirectories(std::string(MemoryFiles::kHome) + "/Library/Logs");
    platform.files.addFile(log, "earlier\n");
    EXPECT_EQ(AppLog::url(), log);

    AppLog::line("开始");
    platform.dispatcher.advance(61.5);
    AppLog::line("two");
    EXPECT_EQ(platform.files.content(log), "earlier\n[2025-03-01 14:07:09] 开始\n[2025-03-01 14:08:10] two\n");

    // A folder removed while the app runs is made again; one that cannot be made loses the line quietly.
    platform.files.remove(std::string(MemoryFiles::kHome) + "/Library/Logs");
    AppLog::line("after removal");
    EXPECT_EQ(platform.files.content(log), "[2025-03-01 14:08:10] after removal\n");
    platform.files.remove(std::string(MemoryFiles::kHome) + "/Library/Logs");
    platform.files.makeUnreachable(std::string(MemoryFiles::kHome) + "/Library/Logs");
    AppLog::line("lost");
    EXPECT_FALSE(platform.files.exists(log));
}

}  // namespace
}  // namespace drivelark
