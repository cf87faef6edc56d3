#include "platform/linux/xdg_login_item.h"

#include <unistd.h>

#include <cerrno>

#include "platform/linux/staged_file.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/posix_error.h"

namespace drivelark {

namespace {

std::optional<LoginItemError> errorFrom(const Status& status) {
    if (status.ok()) return std::nullopt;
    return LoginItemError{status.toString(), errorText(status.errorNumber())};
}

}  // namespace

std::string desktopEntryExec(const std::string& path) {
    std::string quoted = "\"";
    // Escaped once for the quotes of Exec, and once more for the string value it is.
    for (char c : path) {
        if (c == '\\')
            quoted += "\\\\\\\\";
        else if (c == '"' || c == '`' || c == '$')
            quoted += std::string("\\\\") + c;
        else if (c == '%')
            quoted += "%%";
        else
            quoted += c;
    }
    return quoted + "\"";
}

XdgLoginItem::XdgLoginItem(std::string entryPath, std::string executable)
    : entryPath_(std::move(entryPath)), executable_(std::move(executable)) {}

LoginItemStatus XdgLoginItem::status() {
    return ::access(entryPath_.c_str(), F_OK) == 0 ? LoginItemStatus::enabled : LoginItemStatus::disabled;
}

std::optional<LoginItemError> XdgLoginItem::setEnabled(bool enabled) {
    if (!enabled) {
        if (::unlink(entryPath_.c_str()) == 0 || errno == ENOENT) return std::nullopt;
        return errorFrom(Status("unlink " + entryPath_, errno));
    }
    PosixFiles().createDirectories(entryPath_.substr(0, entryPath_.rfind('/')));
    std::string entry = "[Desktop Entry]\nType=Application\nName=Drivelark\nExec=" + desktopEntryExec(executable_) +
                        "\nX-GNOME-Autostart-enabled=true\n";
    return errorFrom(replaceFile(entryPath_, entry));
}

}  // namespace drivelark
