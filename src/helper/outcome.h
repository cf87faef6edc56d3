#pragma once

// What one run of the helper tool ends with: the text for standard output and the exit status.

#include <string>
#include <string_view>

#include "mount/helper_protocol.h"
#include "platform/program_run.h"

namespace drivelark::helper {

using HelperProtocol::kFailed;
using HelperProtocol::kRefused;
using HelperProtocol::kSucceeded;
using HelperProtocol::kVolumeChanged;

// Also what each check before the work ends with: one that passes is an empty success, and the
// work goes on; any other is what the tool ends with.
struct Outcome {
    int status = kSucceeded;
    std::string text;

    bool ok() const { return status == kSucceeded; }

    // Appends one line of the tool's own, beginning "drivelark-mount: ".
    Outcome& say(std::string_view line);
    // Appends one of the protocol's marker lines.
    Outcome& mark(std::string_view marker);
    // Appends another program's output, made printable line by line: no line of it can pass for
    // a marker, and the whole stays valid UTF-8, which the application needs to read any of it.
    Outcome& quote(std::string_view output);
    // Appends what a program printed, and why it did not run or finish when it did not.
    Outcome& quote(const ProgramRun& run, std::string_view path);
};

Outcome refused(std::string_view reason);
Outcome failed(std::string_view reason);

// `text` with every control character and every byte that is not part of valid UTF-8 replaced
// by "?", so that a hostile name cannot add lines to the output or make it unreadable.
std::string printable(std::string_view text);

// True when the program ran to its end and exited 0.
bool succeeded(const ProgramRun& run);

}  // namespace drivelark::helper
