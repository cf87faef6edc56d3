#include "platform/linux/defaults_store_plist_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/linux/staged_file.h"
#include "platform/posix/files_posix.h"

namespace drivelark {

namespace {

Status readWholeFile(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Status("open " + path, errno);
    char buffer[16384];
    ssize_t count;
    Status read;
    while ((count = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            read = Status("read " + path, errno);
            break;
        }
        bytes.append(buffer, static_cast<size_t>(count));
    }
    ::close(fd);
    return read;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Moves `path` to the first free name of "<path>.damaged", "<path>.damaged 1", ... A link is
// never made over an existing file, so an earlier damaged copy is never lost.
Status moveAside(const std::string& path) {
    for (int copy = 0;; ++copy) {
        std::string aside = path + ".damaged" + (copy == 0 ? "" : " " + std::to_string(copy));
        if (::link(path.c_str(), aside.c_str()) == 0)
            return ::unlink(path.c_str()) == 0 ? Status() : Status("unlink " + path, errno);
        if (errno != EEXIST) return Status("link " + path + " to " + aside, errno);
    }
}

}  // namespace

PlistFileDefaultsStore::PlistFileDefaultsStore(std::string path) : path_(std::move(path)) {}

Status PlistFileDefaultsStore::load() {
    if (document_) return Status();
    std::string bytes;
    Status read = readWholeFile(path_, bytes);
    if (!read.ok() && read.errorNumber() != ENOENT) return read;  // perhaps readable next time: keep it as it is
    if (read.ok()) {
        PlistNode root = parseNode(bytes);
        if (root && plist_get_node_type(root.get()) == PLIST_DICT) {
            document_ = std::move(root);
            return Status();
        }
        if (Status moved = moveAside(path_); !moved.ok()) return moved;
    }
    document_.reset(plist_new_dict());
    return Status();
}

std::optional<PlistValue> PlistFileDefaultsStore::value(const std::string& key) {
    std::lock_guard lock(mutex_);
    plist_t item = load().ok() ? plist_dict_get_item(document_.get(), key.c_str()) : nullptr;
    if (item == nullptr) return std::nullopt;
    return valueFromNode(item);
}

Status PlistFileDefaultsStore::setValue(const std::string& key, const PlistValue& value) {
    std::lock_guard lock(mutex_);
    if (Status loaded = load(); !loaded.ok()) return loaded;
    PlistNode updated(plist_copy(document_.get()));
    plist_dict_set_item(updated.get(), key.c_str(), nodeFromValue(value).release());

    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(updated.get(), &xml, &length);
    if (xml == nullptr) return Status("plist_to_xml for " + path_);
    std::string bytes(xml, length);
    plist_to_xml_free(xml);

    PosixFiles().createDirectories(parentOf(path_));
    // A value that could not be written (a full disk) is kept, as CFPreferences keeps it, and
    // goes to disk with the next write that succeeds; the file keeps its previous content.
    document_ = std::move(updated);
    return replaceFile(path_, bytes);
}

}  // namespace drivelark
