#pragma once

// Test double for the Processes port: answers each program run from a script and records every
// call. Long-lived children cannot be started.

#include <algorithm>
#include <cerrno>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace drivelark::testing {

struct ProgramCall {
    std::string path;
    std::vector<std::string> arguments;
    auto operator<=>(const ProgramCall&) const = default;
};

inline ProgramRun exited(int status, std::string output = {}) { return {Status(), status, std::move(output), false}; }
inline ProgramRun notStarted(const std::string& path, int error = ENOENT) {
    return {Status("start " + path, error), 0, "", false};
}
// A program that is still running at its caller's time limit.
inline ProgramRun timedOut() { return {Status(), 137, "", true}; }

class ScriptedProcesses final : public Processes {
public:
    using Handler = std::function<ProgramRun(const ProgramCall&)>;

    // Answers every call of exactly this program and these arguments, until the next answer for it.
    void answer(const std::string& path, std::vector<std::string> arguments, ProgramRun run) {
        answers_.insert_or_assign(ProgramCall{path, std::move(arguments)}, std::move(run));
    }
    // Answers every call of `path` that has no exact answer.
    void answerAll(const std::string& path, Handler handler) { handlers_.insert_or_assign(path, std::move(handler)); }

    const std::vector<ProgramCall>& calls() const { return calls_; }
    std::vector<ProgramCall> callsOf(const std::string& path) const {
        std::vector<ProgramCall> matching;
        std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                     [&](const ProgramCall& call) { return call.path == path; });
        return matching;
    }

    // Answers alike with or without a time limit.
    ProgramRun runToCompletion(const std::string& path, const std::vector<std::string>& arguments,
                               std::optional<std::chrono::milliseconds>) override {
        ProgramCall call{path, arguments};
        calls_.push_back(call);
        if (auto answer = answers_.find(call); answer != answers_.end()) return answer->second;
        if (auto handler = handlers_.find(path); handler != handlers_.end()) return handler->second(call);
        return notStarted(path);
    }
    Status start(const std::string& path, const std::vector<std::string>&, std::unique_ptr<ChildProcess>*) override {
        return Status("start " + path, ENOENT);
    }
    int ownProcessId() override { return 4242; }

private:
    std::map<ProgramCall, ProgramRun> answers_;
    std::map<std::string, Handler> handlers_;
    std::vector<ProgramCall> calls_;
};

}  // namespace drivelark::testing
