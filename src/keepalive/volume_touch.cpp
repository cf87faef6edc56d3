#include "keepalive/volume_touch.h"

#include <random>
#include <vector>

namespace drivelark {

Status touchVolume(Files& files, const std::string& mountPoint) {
    FileStatus status;
    files.stat(mountPoint, &status);
    std::vector<std::string> names;
    std::unique_ptr<DirectoryStream> directory = files.openDirectory(mountPoint);
    while (names.size() < kMostNamesTouched) {
        std::optional<std::string> name = directory->next();
        if (!name) break;
        if (*name != "." && *name != ".." && !name->starts_with("._")) names.push_back(std::move(*name));
    }
    if (!names.empty()) {
        std::random_device random;
        std::uniform_int_distribution<std::size_t> pick(0, names.size() - 1);
        files.lstat(mountPoint + "/" + names[pick(random)], &status);
    }
    return directory->status();
}

}  // namespace drivelark
