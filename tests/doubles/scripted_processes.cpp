#include "doubles/scripted_processes.h"

#include <algorithm>

namespace drivelark::testing {

ProgramRun exited(int status, std::string output) {
    ProgramRun run;
    run.launched = true;
    run.status = status;
    run.output = std::move(output);
    return run;
}

ProgramRun notStarted(std::string error) {
    ProgramRun run;
    run.launchError = std::move(error);
    return run;
}

void ScriptedProcesses::answer(const std::string& path, std::vector<std::string> arguments, ProgramRun run) {
    std::lock_guard lock(mutex_);
    ProgramCall call{path, std::move(arguments)};
    std::erase_if(answers_, [&](const Answer& answer) { return answer.used && answer.call == call; });
    answers_.push_back(Answer{std::move(call), std::move(run)});
}

void ScriptedProcesses::answerAll(const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_.emplace_back(path, std::move(handler));
}

std::vector<ProgramCall> ScriptedProcesses::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<ProgramCall> ScriptedProcesses::callsOf(const std::string& path) const {
    std::vector<ProgramCall> matching;
    for (const ProgramCall& call : calls()) {
        if (call.path == path) matching.push_back(call);
    }
    return matching;
}

ProgramRun ScriptedProcesses::runToCompletion(const std::string& path, const std::vector<std::string>& arguments,
                                              std::optional<std::chrono::milliseconds>) {
    ProgramCall call{path, arguments};
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        auto matches = [&](const Answer& answer) { return answer.call == call; };
        auto first = std::find_if(answers_.begin(), answers_.end(), matches);
        if (first != answers_.end()) {
            ProgramRun run = first->run;
            first->used = true;
            if (std::count_if(answers_.begin(), answers_.end(), matches) > 1) answers_.erase(first);
            return run;
        }
        for (const auto& [program, programHandler] : handlers_) {
            if (program == path) handler = programHandler;
        }
    }
    if (handler) return handler(call);
    return notStarted("not scripted: " + path);
}

std::unique_ptr<ChildProcess> ScriptedProcesses::start(const std::string& path, const std::vector<std::string>&,
                                                       std::string& error) {
    error = "not scripted: " + path;
    return nullptr;
}

}  // namespace drivelark::testing
