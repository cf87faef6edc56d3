#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "foundation/app_log.h"

namespace drivelark {
namespace {

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

// The real log under this test program's own home, written by many threads at once.
TEST(AppLogFileTest, ConcurrentLinesAreNeitherLostNorMixed) {
    std::string log = AppLog::url();
    EXPECT_EQ(log, std::string(::getenv("HOME")) + "/Library/Logs/Drivelark.log");
    std::remove(log.c_str());

    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) AppLog::line("线程 " + std::to_string(t) + " 行 " + std::to_string(i));
        });
    }
    for (std::thread& writer : writers) writer.join();

    std::vector<std::string> lines = readLines(log);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::regex shape(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] 线程 \d 行 \d+)");
    std::set<std::string> messages;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, shape)) << line;
        messages.insert(line.substr(22));
    }
    EXPECT_EQ(messages.size(), static_cast<size_t>(kThreads * kLines));

    // A deleted file is created again by the next line.
    std::remove(log.c_str());
    AppLog::line("again");
    EXPECT_EQ(readLines(log).size(), 1u);
}

}  // namespace
}  // namespace drivelark
