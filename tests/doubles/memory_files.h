#pragma once

// Test double for the Files port: an in-memory tree of directories, files and symbolic links.
// Paths are absolute and compared as text.

#include <map>
#include <set>

#include "platform/files.h"

namespace drivelark::testing {

class MemoryFiles final : public Files {
public:
    static constexpr const char* kHome = "/Users/alice";

    // A directory (and its missing parents) on device `device`; 0 stands for a dead mount point.
    void addDirectory(const std::string& path, std::uint64_t device = 1) { add(path, Node{Type::directory, device}); }
    void addFile(const std::string& path, std::string content = {}) {
        add(path, Node{Type::file, 1, std::move(content)});
    }
    void addSymbolicLink(const std::string& path) { add(path, Node{Type::symbolicLink}); }
    void remove(const std::string& path) {
        std::erase_if(nodes_, [&](const auto& node) { return node.first == path || node.first.starts_with(path + "/"); });
    }
    // Every call on `path` fails from now on.
    void makeUnreachable(const std::string& path) { unreachable_.insert(path); }
    std::string content(const std::string& path) const {
        const Node* node = find(path);
        return node == nullptr ? std::string() : node->content;
    }

    std::string homeDirectory() override { return kHome; }
    bool createDirectories(const std::string& path) override {
        if (unreachable_.contains(path)) return false;
        addParents(path);
        return nodes_.try_emplace(path, Node{Type::directory}).first->second.type == Type::directory;
    }
    bool appendToFile(const std::string& path, std::string_view bytes) override {
        const Node* parent = find(parentOf(path));
        if (parent == nullptr || parent->type != Type::directory || unreachable_.contains(path)) return false;
        Node& node = nodes_.try_emplace(path, Node{Type::file}).first->second;
        if (node.type != Type::file) return false;
        node.content.append(bytes);
        return true;
    }
    std::optional<std::vector<std::string>> listDirectory(const std::string& path) override {
        const Node* directory = find(path);
        if (directory == nullptr || directory->type != Type::directory) return std::nullopt;
        std::vector<std::string> names;
        for (const auto& [child, node] : nodes_)
            if (parentOf(child) == path) names.push_back(child.substr(child.rfind('/') + 1));
        return names;
    }
    // No test reads a folder entry by entry.
    std::unique_ptr<DirectoryStream> openDirectory(const std::string&) override { return nullptr; }
    std::optional<FileStatus> lstat(const std::string& path) override {
        const Node* node = find(path);
        if (node == nullptr) return std::nullopt;
        return FileStatus{node->type == Type::directory, node->type == Type::symbolicLink, node->device};
    }
    std::optional<FileStatus> stat(const std::string& path) override {
        std::optional<FileStatus> status = lstat(path);
        if (status && status->isSymbolicLink) return FileStatus{true, false, 1};  // links lead to a directory
        return status;
    }
    std::optional<VolumeStatus> statvfs(const std::string& path) override {
        std::optional<FileStatus> status = lstat(path);
        if (!status) return std::nullopt;
        return VolumeStatus{status->device == 0 ? 0u : 1000u};
    }
    bool syncFileSystem(const std::string&) override { return true; }
    bool exists(const std::string& path) override { return find(path) != nullptr; }
    bool isExecutable(const std::string& path) override { return exists(path) && !lstat(path)->isDirectory; }
    bool isReadable(const std::string& path) override { return exists(path); }

private:
    enum class Type { directory, file, symbolicLink };
    struct Node {
        Node(Type type, std::uint64_t device = 1, std::string content = {})
            : type(type), device(device), content(std::move(content)) {}
        Type type;
        std::uint64_t device;
        std::string content;
    };
    static std::string parentOf(const std::string& path) {
        size_t slash = path.rfind('/');
        return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
    }
    const Node* find(const std::string& path) const {
        auto it = nodes_.find(path);
        return it == nodes_.end() || unreachable_.contains(path) ? nullptr : &it->second;
    }
    void addParents(const std::string& path) {
        for (std::string parent = parentOf(path); parent != "/"; parent = parentOf(parent))
            nodes_.try_emplace(parent, Node{Type::directory});
    }
    void add(const std::string& path, Node node) {
        addParents(path);
        nodes_.insert_or_assign(path, std::move(node));
    }

    std::map<std::string, Node> nodes_;
    std::set<std::string> unreachable_;
};

}  // namespace drivelark::testing
