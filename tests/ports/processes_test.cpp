#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "platform/posix/processes_posix.h"

using namespace drivelark;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using Limit = std::optional<std::chrono::milliseconds>;

TEST(PosixProcessesTest, ProgramsRunToCompletionWithOrWithoutALimit) {
    // A command, its status and output; -1 when it cannot start, for want of the file, which its launch names.
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"/bin/sh", "-c", "printf a; printf b >&2; printf 'c\\n'"}, 0, "abc\n"},  // one text, in order
        {{"/bin/sh", "-c", "kill -9 $$"}, 128 + SIGKILL, ""},           // a signal never reports success
        {{"/bin/sh", "-c", "cat; read line || echo eof"}, 0, "eof\n"},  // input is at its end
        {{"/bin/sh", "-c", "head -c 3000000 /dev/zero | tr '\\0' x; echo done >&2"}, 0,
         std::string(3000000, 'x') + "done\n"},
        {{"/usr/bin/printf", "[%s]", "a;b", "", "caf\xE9"}, 0, "[a;b][][caf\xE9]"},  // raw bytes both ways
        {{"/bin/ls", "/dev/fd/"}, 0, "0\n1\n2\n3\n"},  // nothing inherited beyond 0-2 (3 is ls's)
        {{"/nonexistent/tool"}, -1, ""},
        {{"sh", "-c", "true"}, -1, ""},  // no search of PATH
    };
    for (const auto& [command, status, output] : cases) {
        for (Limit limit : {Limit(), Limit(10s)}) {
            ProgramRun run = PosixProcesses().runToCompletion(command[0], {command.begin() + 1, command.end()}, limit);
            EXPECT_EQ(run.launch.errorNumber(), status >= 0 ? 0 : ENOENT) << command.back();
            EXPECT_TRUE(!run.timedOut && run.status == std::max(status, 0) && run.output == output &&
                        (run.launch.ok() || run.launch.toString().find(command[0]) != std::string::npos))
                << command.back() << ": " << run.launch.toString();
        }
    }
}

TEST(PosixProcessesTest, ProgramPastItsTimeLimitIsKilledInTime) {
    // The program runs on; or it ends at once, but a grandchild holds its output open.
    for (const std::string script : {"echo $$; exec sleep 30", "sleep 30 & echo $!"}) {
        auto started = SteadyClock::now();
        ProgramRun run = PosixProcesses().runToCompletion("/bin/sh", {"-c", script}, 300ms);
        EXPECT_TRUE(SteadyClock::now() - started >= 300ms && SteadyClock::now() - started < 1300ms) << script;
        EXPECT_TRUE(run.timedOut && run.status == 128 + SIGKILL);
        pid_t sleeper = std::atoi(run.output.c_str());
        ASSERT_GT(sleeper, 0) << run.output;
        if (script.starts_with("sleep")) {
            ::kill(sleeper, SIGKILL);  // the grandchild, which the time limit leaves alone
            continue;
        }
        auto deadline = SteadyClock::now() + 10s;  // the program itself is killed and reaped
        while (::kill(sleeper, 0) == 0 && SteadyClock::now() < deadline) std::this_thread::sleep_for(5ms);
        EXPECT_NE(::kill(sleeper, 0), 0);
    }
}

TEST(PosixProcessesTest, LongLivedChildCanBeWatchedAndTerminated) {
    std::unique_ptr<ChildProcess> child;
    Status started = PosixProcesses().start("/bin/sleep", {"30"}, &child);
    ASSERT_TRUE(started.ok() && child->isRunning()) << started.toString();
    child->terminate();
    for (auto deadline = SteadyClock::now() + 10s; child->isRunning() && SteadyClock::now() < deadline;)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(child->isRunning());
    std::unique_ptr<ChildProcess> none;
    started = PosixProcesses().start("/nonexistent/caffeinate", {}, &none);
    EXPECT_TRUE(started.errorNumber() == ENOENT && !none) << started.toString();
}
