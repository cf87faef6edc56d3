#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <thread>

#include "foundation/command_runner.h"
#include "platform/posix/processes_posix.h"

namespace drivelark {
namespace {

using Clock = std::chrono::steady_clock;

ProgramRun shell(const std::string& script) {
    return PosixProcesses().runToCompletion("/bin/sh", {"-c", script});
}

TEST(PosixProcessesTest, BothStreamsArriveInOneTextInOrder) {
    ProgramRun run = shell("printf a; printf b >&2; printf 'c\\n'");
    EXPECT_TRUE(run.launched);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "abc\n");
    EXPECT_EQ(shell("exit 3").status, 3);
    EXPECT_EQ(shell("exit 3").output, "");
}

TEST(PosixProcessesTest, ArgumentsArriveUnchangedWithoutAShell) {
    ProgramRun run = PosixProcesses().runToCompletion("/usr/bin/printf", {"[%s]", "My Disk", "Bob's \"x\"", "a;b",
                                                                          "$(touch /tmp/owned)", "", "数据"});
    EXPECT_EQ(run.output, "[My Disk][Bob's \"x\"][a;b][$(touch /tmp/owned)][][数据]");
}

TEST(PosixProcessesTest, OutputLargerThanThePipeBufferDoesNotBlock) {
    ProgramRun run = shell("head -c 3000000 /dev/zero | tr '\\0' x; echo done >&2");
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(run.output.size(), 3000005u);
    EXPECT_EQ(run.output.substr(3000000), "done\n");
}

TEST(PosixProcessesTest, StandardInputIsAtEndOfFile) {
    auto started = Clock::now();
    ProgramRun run = shell("cat; read line || echo eof");
    EXPECT_EQ(run.output, "eof\n");
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
}

TEST(PosixProcessesTest, ProgramThatCannotStartReportsWhy) {
    ProgramRun missing = PosixProcesses().runToCompletion("/nonexistent/tool", {});
    EXPECT_FALSE(missing.launched);
    EXPECT_NE(missing.launchError.find("/nonexistent/tool"), std::string::npos);
    EXPECT_NE(missing.launchError.find("No such file"), std::string::npos);
    ProgramRun notExecutable = PosixProcesses().runToCompletion("/etc/hostname", {});
    EXPECT_FALSE(notExecutable.launched);
    // The path is taken literally: no search of PATH.
    EXPECT_FALSE(PosixProcesses().runToCompletion("sh", {"-c", "true"}).launched);
}

TEST(PosixProcessesTest, ChildKilledByASignalNeverReportsSuccess) {
    EXPECT_EQ(shell("kill -9 $$").status, 128 + SIGKILL);
    EXPECT_EQ(shell("kill -TERM $$").status, 128 + SIGTERM);
}

TEST(PosixProcessesTest, ChildInheritsNoDescriptorBeyondTheStandardThree) {
    // /proc/self/fd as the child sees it: 0, 1, 2, and the one ls opens to read the folder.
    ProgramRun run = PosixProcesses().runToCompletion("/bin/ls", {"/proc/self/fd"});
    EXPECT_EQ(run.output, "0\n1\n2\n3\n");
}

TEST(PosixProcessesTest, GrandchildLeftRunningHoldsNoOtherCallersPipe) {
    // Each call leaves a sleeper behind with its own output redirected. Were any descriptor
    // inherited across the concurrent calls, some call would wait for a sleeper to end.
    auto started = Clock::now();
    std::vector<std::future<ProgramRun>> runs;
    for (int i = 0; i < 8; ++i) {
        runs.push_back(std::async(std::launch::async, [] {
            return shell("sleep 20 >/dev/null 2>&1 </dev/null & printf started");
        }));
    }
    for (auto& run : runs) EXPECT_EQ(run.get().output, "started");
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    shell("pkill -f '^sleep 20$'");
}

TEST(PosixProcessesTest, LongLivedChildCanBeWatchedAndTerminated) {
    PosixProcesses processes;
    std::string error;
    std::unique_ptr<ChildProcess> child = processes.start("/bin/sleep", {"30"}, error);
    ASSERT_NE(child, nullptr) << error;
    EXPECT_GT(child->pid(), 0);
    EXPECT_TRUE(child->isRunning());
    child->terminate();
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (child->isRunning() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(child->isRunning());

    EXPECT_EQ(processes.start("/nonexistent/caffeinate", {}, error), nullptr);
    EXPECT_NE(error.find("/nonexistent/caffeinate"), std::string::npos);
}

// The runner over the real processes port (installed by this test program's main).
TEST(RunCommandTest, RealProgramsThroughTheRunner) {
    CommandResult missing = runCommand("/nonexistent/tool", {"x"});
    EXPECT_EQ(missing.exit, 127);
    EXPECT_FALSE(missing.out.empty());
    CommandResult binary = runCommand("/usr/bin/printf", {"\\377\\376 %s", "x"});
    EXPECT_EQ(binary.exit, 0);
    EXPECT_EQ(binary.out, "");
    CommandResult failing = runCommand("/bin/sh", {"-c", "echo 数据 >&2; exit 5"});
    EXPECT_EQ(failing.exit, 5);
    EXPECT_EQ(failing.out, "数据\n");
    EXPECT_EQ(runCommand("/bin/true", {}).exit, 0);
}

}  // namespace
}  // namespace drivelark
