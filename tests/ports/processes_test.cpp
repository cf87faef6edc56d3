#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "platform/posix/processes_posix.h"

using namespace drivelark;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using Limit = std::optional<std::chrono::milliseconds>;

TEST(PosixProcessesTest, ProgramsRunToCompletionWithOrWithoutALimit) {
    // A command, its status and output; -1 when it cannot start, and the output begins its launch error.
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"/bin/sh", "-c", "printf a; printf b >&2; printf 'c\\n'"}, 0, "abc\n"},  // one text, in order
        {{"/bin/sh", "-c", "kill -9 $$"}, 128 + SIGKILL, ""},           // a signal never reports success
        {{"/bin/sh", "-c", "cat; read line || echo eof"}, 0, "eof\n"},  // input is at its end
        {{"/bin/sh", "-c", "head -c 3000000 /dev/zero | tr '\\0' x; echo done >&2"}, 0,
         std::string(3000000, 'x') + "done\n"},
        {{"/usr/bin/printf", "[%s]", "a;b", "", "caf\xE9"}, 0, "[a;b][][caf\xE9]"},  // raw bytes both ways
        {{"/bin/ls", "/dev/fd/"}, 0, "0\n1\n2\n3\n"},  // nothing inherited beyond 0-2 (3 is ls's)
        {{"/nonexistent/tool"}, -1, "could not start /nonexistent/tool: "},
        {{"sh", "-c", "true"}, -1, "could not start sh: "},  // no search of PATH
    };
    for (const auto& [command, status, output] : cases) {
        for (Limit limit : {Limit(), Limit(10s)}) {
            ProgramRun run = PosixProcesses().runToCompletion(command[0], {command.begin() + 1, command.end()}, limit);
            EXPECT_TRUE(run.launched == (status >= 0) && !run.timedOut && run.status == std::max(status, 0))
                << command.back();
            EXPECT_TRUE(run.output == output || run.launchError.starts_with(output))
                << command.back() << ": " << run.launchError;
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
    std::string error;
    std::unique_ptr<ChildProcess> child = PosixProcesses().start("/bin/sleep", {"30"}, error);
    ASSERT_TRUE(child && child->isRunning()) << error;
    child->terminate();
    for (auto deadline = SteadyClock::now() + 10s; child->isRunning() && SteadyClock::now() < deadline;)
        std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(child->isRunning());
    EXPECT_FALSE(PosixProcesses().start("/nonexistent/caffeinate", {}, error));
    EXPECT_NE(error.find("/nonexistent/caffeinate"), std::string::npos);
}
