#include "foundation/command_runner.h"

#include <cstdio>
#include <string_view>

#include "platform/platform.h"

namespace drivelark {

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length;
        unsigned minimum;
        unsigned codePoint;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, minimum = 0x80, codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, minimum = 0x800, codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, minimum = 0x10000, codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

CommandResult resultOf(ProgramRun run) {
    if (!run.launched) return CommandResult{127, run.launchError};
    if (!isValidUtf8(run.output)) run.output.clear();
    return CommandResult{run.status, std::move(run.output)};
}

}  // namespace

CommandResult runCommand(const std::string& path, const std::vector<std::string>& arguments,
                         std::chrono::milliseconds timeLimit) {
    ProgramRun run = runProgram(path, arguments, timeLimit);
    if (!run.timedOut) return resultOf(std::move(run));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", std::chrono::duration<double>(timeLimit).count());
    return CommandResult{128 + 9, path + " did not finish within " + seconds + " s"};
}

CommandResult runCommand(const std::string& path, const std::vector<std::string>& arguments) {
    return resultOf(platform().processes.runToCompletion(path, arguments, std::nullopt));
}

ProgramRun runProgram(const std::string& path, const std::vector<std::string>& arguments,
                      std::chrono::milliseconds timeLimit) {
    return platform().processes.runToCompletion(path, arguments, timeLimit);
}

}  // namespace drivelark
