#pragma once

// Test double for the Files port: an in-memory tree of directories, files and symbolic links.
// Paths are absolute and compared as text. A call fails as the system's would (a file cannot be
// created in a folder that is not there), and as `failing` tells it to.

#include <cerrno>
#include <map>
#include <set>

#include "doubles/virtual_dispatcher.h"

#include "platform/files.h"

namespace drivelark::testing {

// The calls that a test can make fail; stat fails as lstat does.
enum class FileCall { createDirectories, appendToFile, listDirectory, openDirectory, lstat, statvfs, syncFileSystem };

class MemoryFiles final : public Files {
public:
    // A directory on device `device`; 0 stands for a dead mount point. Missing parents are made.
    void addDirectory(const std::string& path, std::uint64_t device = 1) { add(path, {true, false, device}); }
    // A mount point whose file system stopped answering: every call on it that can fail never returns.
    void hang(const std::string& path) { hung_.insert(path); }
    void addFile(const std::string& path) { add(path, {false, false, 1}); }
    // A link to a directory.
    void addSymbolicLink(const std::string& path) { add(path, {false, true, 1}); }
    // Removes `path` and everything beneath it.
    void remove(const std::string& path) {
        std::erase_if(nodes_, [&](const auto& node) { return node.first == path || node.first.starts_with(path + "/"); });
    }

    std::string homeDirectory() override { return "/Users/alice"; }
    Status createDirectories(const std::string& path) override {
        if (Status failed = failure(FileCall::createDirectories, path); !failed.ok()) return failed;
        if (!exists(path)) addDirectory(path);
        return nodes_.at(path).isDirectory ? Status() : Status(path, ENOTDIR);
    }
    Status appendToFile(const std::string& path, std::string_view bytes) override {
        if (Status failed = failure(FileCall::appendToFile, path); !failed.ok()) return failed;
        if (!exists(parentOf(path))) return Status(path, ENOENT);
        if (!exists(path)) addFile(path);
        contents[path].append(bytes);
        return Status();
    }
    Status listDirectory(const std::string& path, std::vector<std::string>* names) override {
        if (Status failed = failure(FileCall::listDirectory, path); !failed.ok()) return failed;
        if (!exists(path) || !nodes_.at(path).isDirectory) return Status(path, exists(path) ? ENOTDIR : ENOENT);
        names->clear();
        for (const auto& [child, status] : nodes_)
            if (parentOf(child) == path) names->push_back(child.substr(child.rfind('/') + 1));
        return Status();
    }
    // No test reads a folder entry by entry: every folder reads as empty, or ends at once with its failure.
    std::unique_ptr<DirectoryStream> openDirectory(const std::string& path) override {
        struct Empty final : DirectoryStream {
            explicit Empty(Status status) : reason(std::move(status)) {}
            std::optional<std::string> next() override { return std::nullopt; }
            Status status() const override { return reason; }
            Status reason;
        };
        return std::make_unique<Empty>(failure(FileCall::openDirectory, path));
    }
    Status lstat(const std::string& path, FileStatus* status) override {
        if (Status failed = failure(FileCall::lstat, path); !failed.ok()) return failed;
        if (!exists(path)) return Status(path, ENOENT);
        *status = nodes_.at(path);
        return Status();
    }
    // Only the keep-alive's touch calls it, and looks at nothing it says: links are not followed.
    Status stat(const std::string& path, FileStatus* status) override { return lstat(path, status); }
    // A volume has as many blocks, and a thousand times as many bytes free, as its device number:
    // none on a dead mount point.
    Status statvfs(const std::string& path, VolumeStatus* volume) override {
        if (Status failed = failure(FileCall::statvfs, path); !failed.ok()) return failed;
        FileStatus status;
        Status looked = lstat(path, &status);
        *volume = {status.device, status.device * 1000};
        return looked;
    }
    Status syncFileSystem(const std::string& path) override {
        if (Status failed = failure(FileCall::syncFileSystem, path); !failed.ok()) return failed;
        return exists(path) ? Status() : Status(path, ENOENT);
    }
    bool exists(const std::string& path) override { return nodes_.contains(path); }
    bool isExecutable(const std::string& path) override { return exists(path) && !nodes_.at(path).isDirectory; }

    std::map<std::string, std::string> contents;  // of the files written
    std::map<std::pair<FileCall, std::string>, int> failing;  // {call, path}: the errno value it fails with; 0 for none

private:
    static std::string parentOf(const std::string& path) { return path.substr(0, std::max(path.rfind('/'), 1ul)); }
    void add(const std::string& path, FileStatus status) {
        for (std::string parent = parentOf(path); parent != "/"; parent = parentOf(parent))
            nodes_.try_emplace(parent, FileStatus{true, false, 1});
        nodes_.insert_or_assign(path, status);
    }
    Status failure(FileCall call, const std::string& path) {
        if (hung_.contains(path)) throw NeverReturns{};
        auto error = failing.find({call, path});
        return error == failing.end() || error->second == 0 ? Status() : Status(path, error->second);
    }

    std::map<std::string, FileStatus> nodes_;
    std::set<std::string> hung_;
};

}  // namespace drivelark::testing
