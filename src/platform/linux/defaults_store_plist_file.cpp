#include "platform/linux/defaults_store_plist_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/linux/staged_file.h"
#include "platform/posix/files_posix.h"

namespace drivelark {

namespace {

enum class ReadOutcome { missing, read, failed };

ReadOutcome readWholeFile(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? ReadOutcome::missing : ReadOutcome::failed;
    char buffer[16384];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) break;
        bytes.append(buffer, static_cast<size_t>(count));
    }
    ::close(fd);
    return count == 0 ? ReadOutcome::read : ReadOutcome::failed;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Moves `path` to the first free name of "<path>.damaged", "<path>.damaged 1", ... A link is
// never made over an existing file, so an earlier damaged copy is never lost.
bool moveAside(const std::string& path) {
    for (int copy = 0;; ++copy) {
        std::string aside = path + ".damaged" + (copy == 0 ? "" : " " + std::to_string(copy));
        if (::link(path.c_str(), aside.c_str()) == 0) return ::unlink(path.c_str()) == 0;
        if (errno != EEXIST) return false;
    }
}

}  // namespace

PlistFileDefaultsStore::PlistFileDefaultsStore(std::string path) : path_(std::move(path)) {}

plist_t PlistFileDefaultsStore::document() {
    if (document_) return document_.get();
    std::string bytes;
    ReadOutcome outcome = readWholeFile(path_, bytes);
    if (outcome == ReadOutcome::failed) return nullptr;  // perhaps readable next time: keep it as it is
    if (outcome == ReadOutcome::read) {
        PlistNode root = parseNode(bytes);
        if (root && plist_get_node_type(root.get()) == PLIST_DICT) {
            document_ = std::move(root);
            return document_.get();
        }
        if (!moveAside(path_)) return nullptr;
    }
    document_.reset(plist_new_dict());
    return document_.get();
}

std::optional<PlistValue> PlistFileDefaultsStore::value(const std::string& key) {
    std::lock_guard lock(mutex_);
    plist_t stored = document();
    plist_t item = stored == nullptr ? nullptr : plist_dict_get_item(stored, key.c_str());
    if (item == nullptr) return std::nullopt;
    return valueFromNode(item);
}

bool PlistFileDefaultsStore::setValue(const std::string& key, const PlistValue& value) {
    std::lock_guard lock(mutex_);
    plist_t stored = document();
    if (stored == nullptr) return false;
    PlistNode updated(plist_copy(stored));
    plist_dict_set_item(updated.get(), key.c_str(), nodeFromValue(value).release());

    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(updated.get(), &xml, &length);
    if (xml == nullptr) return false;
    std::string bytes(xml, length);
    plist_to_xml_free(xml);

    PosixFiles().createDirectories(parentOf(path_));
    // A value that could not be written (a full disk) is kept, as CFPreferences keeps it, and
    // goes to disk with the next write that succeeds; the file keeps its previous content.
    document_ = std::move(updated);
    return replaceFile(path_, bytes);
}

}  // namespace drivelark
