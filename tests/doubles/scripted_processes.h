#pragma once

// Test double for the Processes port: answers each program run from a script and records
// every call. Thread-safe, since the core runs programs on background threads.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace drivelark::testing {

struct ProgramCall {
    std::string path;
    std::vector<std::string> arguments;
    bool operator==(const ProgramCall&) const = default;
};

ProgramRun exited(int status, std::string output = {});
ProgramRun notStarted(std::string error);

class ScriptedProcesses final : public Processes {
public:
    using Handler = std::function<ProgramRun(const ProgramCall&)>;

    // Answers the next call of exactly this program and these arguments. Answers are used first
    // in, first out; the last one stays in force until a new answer for the same call arrives.
    void answer(const std::string& path, std::vector<std::string> arguments, ProgramRun run);
    // Answers every call of `path` that has no exact answer.
    void answerAll(const std::string& path, Handler handler);

    std::vector<ProgramCall> calls() const;
    // Calls of `path` only.
    std::vector<ProgramCall> callsOf(const std::string& path) const;

    // Answers alike with or without a time limit; an answer or a handler may say it timed out.
    ProgramRun runToCompletion(const std::string& path, const std::vector<std::string>& arguments,
                               std::optional<std::chrono::milliseconds> timeLimit) override;
    std::unique_ptr<ChildProcess> start(const std::string& path, const std::vector<std::string>& arguments,
                                        std::string& error) override;
    int ownProcessId() override { return 4242; }

private:
    struct Answer {
        ProgramCall call;
        ProgramRun run;
        bool used = false;
    };
    mutable std::mutex mutex_;
    std::vector<Answer> answers_;
    std::vector<std::pair<std::string, Handler>> handlers_;
    std::vector<ProgramCall> calls_;
};

}  // namespace drivelark::testing
