// Where the ntfs-3g tools are: the application bundle's own, else the ones in /usr/local/bin.

#include "mount/mount_manager.h"
#include "platform/platform.h"

namespace drivelark::MountManager {

namespace {

std::string toolPath(const std::string& name) {
    Platform& services = platform();
    if (std::optional<std::string> resources = services.bundle.resourceDirectory()) {
        std::string bundled = *resources + "/" + name;
        if (services.files.isExecutable(bundled)) return bundled;
    }
    return "/usr/local/bin/" + name;
}

}  // namespace

std::string ntfs3gPath() { return toolPath("ntfs-3g"); }
std::string ntfsfixPath() { return toolPath("ntfsfix"); }
std::string ntfs3gProbePath() { return toolPath("ntfs-3g.probe"); }

}  // namespace drivelark::MountManager
