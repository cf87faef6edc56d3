#pragma once

// What one run of the helper tool ends with: the text for standard output and the exit status.

#include <string>
#include <string_view>

namespace drivelark::helper {

// The exit statuses callers tell apart. The tool never exits 126 or 127 itself: to the caller
// those mean that the password-free channel could not run at all.
inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;   // the work was tried and did not succeed
inline constexpr int kRefused = 2;  // the arguments or the target are unsafe; nothing was done

struct Outcome {
    int status = kSucceeded;
    std::string text;

    // Appends one line of the tool's own, beginning "drivelark-mount: ".
    Outcome& say(std::string_view line);
    // Appends another program's output as it was, ending in a line break.
    Outcome& quote(std::string_view output);
};

Outcome refused(std::string_view reason);
Outcome failed(std::string_view reason);

// `text` with every control character replaced by "?", so that a hostile name cannot add lines
// to the output that callers read.
std::string printable(std::string_view text);

// The tool's status for a child program's exit status: 0 stays 0, anything else (126 and 127
// included) is a failure of the work.
int statusAfterChild(int childStatus);

}  // namespace drivelark::helper
