#pragma once

// Test double for the Files port: an in-memory tree of directories, files and symbolic
// links. Paths are absolute and compared as text. Thread-safe.

#include <map>
#include <mutex>
#include <set>

#include "platform/files.h"

namespace drivelark::testing {

class MemoryFiles final : public Files {
public:
    static constexpr const char* kHome = "/Users/alice";

    // A directory (and its missing parents) on device `device`; 0 stands for a dead mount point.
    void addDirectory(const std::string& path, std::uint64_t device = 1);
    void addFile(const std::string& path, std::string content = {});
    void addSymbolicLink(const std::string& path);
    void remove(const std::string& path);
    // Every call on `path` fails from now on.
    void makeUnreachable(const std::string& path);

    std::string content(const std::string& path) const;
    bool isDirectory(const std::string& path) const;

    std::string homeDirectory() override { return kHome; }
    bool createDirectories(const std::string& path) override;
    bool appendToFile(const std::string& path, std::string_view bytes) override;
    std::optional<std::vector<std::string>> listDirectory(const std::string& path) override;
    std::unique_ptr<DirectoryStream> openDirectory(const std::string& path) override;
    std::optional<FileStatus> lstat(const std::string& path) override;
    std::optional<FileStatus> stat(const std::string& path) override;
    std::optional<VolumeStatus> statvfs(const std::string& path) override;
    bool syncFileSystem(const std::string& path) override {
        std::lock_guard lock(mutex_);
        synced.push_back(path);
        return true;
    }
    bool exists(const std::string& path) override;

    std::vector<std::string> synced;
    bool isExecutable(const std::string& path) override;
    bool isReadable(const std::string& path) override;

private:
    struct Node {
        enum class Type { directory, file, symbolicLink };
        Node(Type type, std::uint64_t device = 1, std::string content = {})
            : type(type), device(device), content(std::move(content)) {}
        Type type;
        std::uint64_t device;
        std::string content;
    };
    const Node* find(const std::string& path) const;  // requires the lock
    void addParents(const std::string& path);          // requires the lock

    mutable std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::set<std::string> unreachable_;
};

}  // namespace drivelark::testing
