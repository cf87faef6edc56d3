#include "helper/trusted_tools.h"

#include "helper/outcome.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

constexpr std::uint32_t kWritableByGroupOrOthers = 0022;

TrustedTool untrusted(std::string problem) { return TrustedTool{std::nullopt, std::move(problem)}; }

}  // namespace

bool isRootOnly(const FileInfo& info) {
    return info.error == 0 && info.owner == 0 && (info.mode & kWritableByGroupOrOthers) == 0;
}

TrustedTool trustedTool(HelperSystem& system, const std::string& name) {
    std::optional<std::string> folder = system.executableFolder();
    if (!folder) return untrusted("cannot find the folder of drivelark-mount");
    std::string shownFolder = printable(*folder);
    const bool strict = system.startedBySudo();
    FileInfo folderInfo = system.lstat(*folder);
    if (folderInfo.error != 0) return untrusted("cannot inspect " + shownFolder + ": " + errorText(folderInfo.error));
    if (!folderInfo.isDirectory || (strict && !isRootOnly(folderInfo)))
        return untrusted(shownFolder + " is not a folder only root can change; refusing to run " + name + " from it");

    std::string path = (*folder == "/" ? "" : *folder) + "/" + name;
    std::string shownPath = printable(path);
    FileInfo toolInfo = system.lstat(path);
    if (toolInfo.error != 0) return untrusted("cannot inspect " + shownPath + ": " + errorText(toolInfo.error));
    if (!toolInfo.isRegularFile || (strict && !isRootOnly(toolInfo)))
        return untrusted(shownPath + " is not a file only root can change; refusing to run it");
    return TrustedTool{path, {}};
}

}  // namespace drivelark::helper
