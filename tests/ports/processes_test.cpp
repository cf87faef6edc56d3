#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "foundation/command_runner.h"
#include "platform/posix/processes_posix.h"

using namespace drivelark;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
using Limit = std::optional<std::chrono::milliseconds>;

TEST(PosixProcessesTest, ProgramsRunToCompletionWithOrWithoutALimit) {
    struct Case {
        std::vector<std::string> command;
        int status;  // -1: it cannot start, and `output` begins its launch error
        std::string output;
    };
    const Case cases[] = {
        {{"/bin/sh", "-c", "printf a; printf b >&2; printf 'c\\n'"}, 0, "abc\n"},  // one text, in order
        {{"/bin/sh", "-c", "exit 3"}, 3, ""},
        {{"/bin/sh", "-c", "kill -9 $$"}, 128 + SIGKILL, ""},           // a signal never reports success
        {{"/bin/sh", "-c", "cat; read line || echo eof"}, 0, "eof\n"},  // input is at its end
        {{"/bin/sh", "-c", "head -c 3000000 /dev/zero | tr '\\0' x; echo done >&2"}, 0,
         std::string(3000000, 'x') + "done\n"},
        {{"/usr/bin/printf", "[%s]", "My Disk", "Bob's \"x\"", "a;b", "$(id)", "", "数据"}, 0,
         "[My Disk][Bob's \"x\"][a;b][$(id)][][数据]"},
        {{"/bin/ls", "/dev/fd/"}, 0, "0\n1\n2\n3\n"},  // nothing inherited beyond 0-2 (3 is ls's)
        {{"/nonexistent/tool"}, -1, "could not start /nonexistent/tool: "},
        {{"/etc/hosts"}, -1, "could not start /etc/hosts: "},
        {{"sh", "-c", "true"}, -1, "could not start sh: "},  // no search of PATH
    };
    for (const Case& c : cases) {
        for (Limit limit : {Limit(), Limit(10s)}) {
            const std::vector<std::string> arguments(c.command.begin() + 1, c.command.end());
            ProgramRun run = PosixProcesses().runToCompletion(c.command[0], arguments, limit);
            EXPECT_TRUE(run.launched == (c.status >= 0) && !run.timedOut && run.status == std::max(c.status, 0))
                << c.command.back();
            EXPECT_TRUE(run.output == c.output || run.launchError.starts_with(c.output))
                << c.command.back() << ": " << run.launchError;
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
    CommandResult result = runCommand("/bin/sleep", {"30"}, 200ms);  // through the runner
    EXPECT_TRUE(result.exit == 137 && result.out == "/bin/sleep did not finish within 0.2 s") << result.out;
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
