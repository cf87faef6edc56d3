#include "foundation/app_log.h"

#include <cstdio>

#include "foundation/text.h"

namespace drivelark {

namespace {

void appendEscape(std::string& text, const char* format, unsigned value) {
    char escape[16];
    std::snprintf(escape, sizeof escape, format, value);
    text += escape;
}

// A program's output keeps its lines: each line break ("\n", "\r\n", or a lone "\r" as the
// administrator prompt writes them) starts a continuation line indented by four blanks. Every
// other control character, the Unicode line and paragraph separators that some viewers break
// lines at, and bytes that are not UTF-8 are written as escapes, so every line of the file starts
// with a time stamp or with four blanks and no text can forge an entry.
void appendMessage(std::string& text, std::string_view message) {
    message = message.substr(0, message.find_last_not_of("\r\n") + 1);
    for (size_t at = 0, length; at < message.size(); at += length) {
        char32_t character;
        length = utf8CharacterAt(message, at, character);
        if (length == 0) {
            appendEscape(text, "\\x%02X", static_cast<unsigned char>(message[at]));
            length = 1;
        } else if (character == '\r' || character == '\n') {
            if (message.substr(at, 2) == "\r\n") length = 2;
            text += "\n    ";
        } else if (character == '\t') {
            text += "\\t";
        } else if (character < 0x20 || character == 0x7F) {
            appendEscape(text, "\\x%02X", character);
        } else if ((character >= 0x80 && character < 0xA0) || character == 0x2028 || character == 0x2029) {
            appendEscape(text, "\\u%04X", character);
        } else {
            text.append(message.substr(at, length));
        }
    }
}

}  // namespace

std::string formatLogLine(const LocalDateTime& time, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d] ", time.year, time.month, time.day,
                  time.hour, time.minute, time.second);
    std::string text = stamp;
    appendMessage(text, message);
    text.push_back('\n');
    return text;
}

AppLog::AppLog(Files& files, Clock& clock)
    : files_(files), clock_(clock), folder_(files.homeDirectory() + "/Library/Logs"), path_(folder_ + "/Drivelark.log") {
    files_.createDirectories(folder_);
}

void AppLog::line(std::string_view message) {
    std::string text = formatLogLine(clock_.localDateTime(clock_.now()), message);
    std::lock_guard lock(writing_);
    // Someone may have cleared ~/Library/Logs while the app runs: make it again rather than go quiet.
    if (!files_.appendToFile(path_, text).ok() && files_.createDirectories(folder_).ok()) files_.appendToFile(path_, text);
}

}  // namespace drivelark
