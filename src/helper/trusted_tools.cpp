#include "helper/trusted_tools.h"

#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

constexpr std::uint32_t kWritableByGroupOrOthers = 0022;

}  // namespace

bool isRootOnly(const FileInfo& info) { return info.owner == 0 && (info.mode & kWritableByGroupOrOthers) == 0; }

Outcome trustedTool(HelperSystem& system, const std::string& name, std::string* path) {
    std::optional<std::string> folder = system.executableFolder();
    if (!folder) return refused("cannot find the folder of drivelark-mount");
    std::string shownFolder = printable(*folder);
    const bool strict = system.startedBySudo();
    FileInfo folderInfo;
    if (Status looked = system.lstat(*folder, &folderInfo); !looked.ok())
        return refused("cannot inspect " + shownFolder + ": " + errorText(looked.errorNumber()));
    if (!folderInfo.isDirectory || (strict && !isRootOnly(folderInfo)))
        return refused(shownFolder + " is not a folder only root can change; refusing to run " + name + " from it");

    std::string tool = (*folder == "/" ? "" : *folder) + "/" + name;
    std::string shownPath = printable(tool);
    FileInfo toolInfo;
    if (Status looked = system.lstat(tool, &toolInfo); !looked.ok())
        return refused("cannot inspect " + shownPath + ": " + errorText(looked.errorNumber()));
    if (!toolInfo.isRegularFile || (strict && !isRootOnly(toolInfo)))
        return refused(shownPath + " is not a file only root can change; refusing to run it");
    *path = tool;
    return Outcome{};
}

}  // namespace drivelark::helper
