#include "foundation/app_log.h"

#include <cstdio>
#include <mutex>

#include "platform/platform.h"

namespace drivelark {

namespace {

// Control characters written as escapes: every message stays one line, whatever a volume name or
// a program's output holds, so that no text can forge a line of its own.
void appendEscaped(std::string& text, std::string_view message) {
    for (char c : message) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == '\r') {
            text += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            text += escape;
        } else {
            text += c;
        }
    }
}

}  // namespace

std::string formatLogLine(const LocalDateTime& time, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d] ", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    std::string text = stamp;
    appendEscaped(text, message);
    text.push_back('\n');
    return text;
}

namespace AppLog {

namespace {

const std::string& folder() {
    static const std::string location = platform().files.homeDirectory() + "/Library/Logs";
    return location;
}

}  // namespace

const std::string& url() {
    static const std::string location = [] {
        platform().files.createDirectories(folder());
        return folder() + "/Drivelark.log";
    }();
    return location;
}

void line(std::string_view message) {
    // One append per line, made one at a time, so lines from several threads never mix.
    static std::mutex writing;
    Platform& services = platform();
    std::string text = formatLogLine(services.clock.localDateTime(services.clock.now()), message);
    std::lock_guard lock(writing);
    // Someone may have cleared ~/Library/Logs while the app runs: make it again rather than go quiet.
    if (!services.files.appendToFile(url(), text) && services.files.createDirectories(folder())) {
        services.files.appendToFile(url(), text);
    }
}

}  // namespace AppLog

}  // namespace drivelark
