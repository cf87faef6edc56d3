#pragma once

// The application log, ~/Library/Logs/Drivelark.log: one time-stamped line per notable event.
// Safe to call from any thread; it never fails its caller.

#include <mutex>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/files.h"

namespace drivelark {

class AppLog {
public:
    // The log of the user whose home `files` names; its folder is made now when it is missing.
    AppLog(Files& files, Clock& clock);

    const std::string& path() const { return path_; }

    // Appends "[yyyy-MM-dd HH:mm:ss] " + message + line feed. Each further line of the message is
    // a line of its own indented by four blanks (trailing line breaks add none); other control
    // characters are escaped ("\t", "\xHH", "\uHHHH"). A line that cannot be written is lost.
    void line(std::string_view message);

private:
    Files& files_;
    Clock& clock_;
    const std::string folder_;
    const std::string path_;
    std::mutex writing_;  // one append per line, made one at a time, so lines never mix
};

// The text of one log line for a message logged at `time`.
std::string formatLogLine(const LocalDateTime& time, std::string_view message);

}  // namespace drivelark
