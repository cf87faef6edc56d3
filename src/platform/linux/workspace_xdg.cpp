#include "platform/linux/workspace_xdg.h"

#include <algorithm>
#include <cctype>

#include "platform/posix/processes_posix.h"

namespace drivelark {

namespace {

constexpr const char* kXdgOpen = "/usr/bin/xdg-open";

// "scheme:rest", the scheme a letter followed by letters, digits, "+", "-" or ".", and nothing
// that a URL cannot hold unescaped.
bool isURL(const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    bool schemeOk = std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
    return schemeOk && std::none_of(text.begin(), text.end(), [](char c) {
               return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
           });
}

// xdg-open hands the target to the desktop's choice and ends; whether that application then
// shows it, nobody reports. Without a desktop (a server, the simulated Mac) there is no xdg-open.
Status open(const std::string& target) {
    std::unique_ptr<ChildProcess> child;  // reaped once it ends
    return PosixProcesses().start(kXdgOpen, {target}, &child);
}

}  // namespace

Status XdgWorkspace::openFolder(const std::string& path) { return open(path); }

Status XdgWorkspace::openLog(const std::string& path) { return open(path); }

Status XdgWorkspace::openURL(const std::string& url) { return isURL(url) ? open(url) : Status("not a URL: " + url); }

}  // namespace drivelark
