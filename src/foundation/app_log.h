#pragma once

// The application log, ~/Library/Logs/Drivelark.log: one time-stamped line per notable event.
// Safe to call from any thread; it never fails its caller.

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace drivelark {

namespace AppLog {

// Location of the log file, fixed on first use, when its folder is created.
const std::string& url();

// Appends "[yyyy-MM-dd HH:mm:ss] " + message + line feed. Each further line of the message is a
// line of its own indented by four blanks (trailing line breaks add none); other control
// characters are escaped ("\t", "\xHH", "\uHHHH"). A line that cannot be written is lost.
void line(std::string_view message);

}  // namespace AppLog

// The text of one log line for a message logged at `time`.
std::string formatLogLine(const LocalDateTime& time, std::string_view message);

}  // namespace drivelark
