#include "doubles/memory_files.h"

namespace drivelark::testing {

namespace {

std::string parentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

class MemoryDirectoryStream final : public DirectoryStream {
public:
    explicit MemoryDirectoryStream(std::vector<std::string> names) : names_(std::move(names)) {}
    std::optional<std::string> next() override {
        if (index_ == names_.size()) return std::nullopt;
        return names_[index_++];
    }

private:
    std::vector<std::string> names_;
    size_t index_ = 0;
};

}  // namespace

const MemoryFiles::Node* MemoryFiles::find(const std::string& path) const {
    if (unreachable_.count(path) != 0) return nullptr;
    auto it = nodes_.find(path);
    return it == nodes_.end() ? nullptr : &it->second;
}

void MemoryFiles::addParents(const std::string& path) {
    for (std::string parent = parentOf(path); parent != "/"; parent = parentOf(parent)) {
        nodes_.try_emplace(parent, Node{Node::Type::directory});
    }
}

void MemoryFiles::addDirectory(const std::string& path, std::uint64_t device) {
    std::lock_guard lock(mutex_);
    addParents(path);
    nodes_.insert_or_assign(path, Node{Node::Type::directory, device});
}

void MemoryFiles::addFile(const std::string& path, std::string content) {
    std::lock_guard lock(mutex_);
    addParents(path);
    nodes_.insert_or_assign(path, Node{Node::Type::file, 1, std::move(content)});
}

void MemoryFiles::addSymbolicLink(const std::string& path) {
    std::lock_guard lock(mutex_);
    addParents(path);
    nodes_.insert_or_assign(path, Node{Node::Type::symbolicLink});
}

void MemoryFiles::remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (auto it = nodes_.begin(); it != nodes_.end();) {
        bool inside = it->first == path || it->first.rfind(path + "/", 0) == 0;
        it = inside ? nodes_.erase(it) : std::next(it);
    }
}

void MemoryFiles::makeUnreachable(const std::string& path) {
    std::lock_guard lock(mutex_);
    unreachable_.insert(path);
}

std::string MemoryFiles::content(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const Node* node = find(path);
    return node == nullptr ? std::string() : node->content;
}

bool MemoryFiles::isDirectory(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const Node* node = find(path);
    return node != nullptr && node->type == Node::Type::directory;
}

bool MemoryFiles::createDirectories(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (unreachable_.count(path) != 0) return false;
    addParents(path);
    nodes_.try_emplace(path, Node{Node::Type::directory});
    return nodes_.at(path).type == Node::Type::directory;
}

bool MemoryFiles::appendToFile(const std::string& path, std::string_view bytes) {
    std::lock_guard lock(mutex_);
    const Node* parent = find(parentOf(path));
    if (parent == nullptr || parent->type != Node::Type::directory || unreachable_.count(path) != 0) return false;
    Node& node = nodes_.try_emplace(path, Node{Node::Type::file}).first->second;
    if (node.type != Node::Type::file) return false;
    node.content.append(bytes);
    return true;
}

std::optional<std::vector<std::string>> MemoryFiles::listDirectory(const std::string& path) {
    std::lock_guard lock(mutex_);
    const Node* directory = find(path);
    if (directory == nullptr || directory->type != Node::Type::directory) return std::nullopt;
    std::vector<std::string> names;
    std::string prefix = path == "/" ? "/" : path + "/";
    for (const auto& [child, node] : nodes_) {
        if (child.size() > prefix.size() && child.rfind(prefix, 0) == 0 &&
            child.find('/', prefix.size()) == std::string::npos)
            names.push_back(child.substr(prefix.size()));
    }
    return names;
}

std::unique_ptr<DirectoryStream> MemoryFiles::openDirectory(const std::string& path) {
    std::optional<std::vector<std::string>> names = listDirectory(path);
    if (!names) return nullptr;
    names->insert(names->begin(), {".", ".."});
    return std::make_unique<MemoryDirectoryStream>(std::move(*names));
}

std::optional<FileStatus> MemoryFiles::lstat(const std::string& path) {
    std::lock_guard lock(mutex_);
    const Node* node = find(path);
    if (node == nullptr) return std::nullopt;
    return FileStatus{node->type == Node::Type::directory, node->type == Node::Type::symbolicLink, node->device};
}

std::optional<FileStatus> MemoryFiles::stat(const std::string& path) {
    std::optional<FileStatus> status = lstat(path);
    if (status && status->isSymbolicLink) return FileStatus{true, false, 1};  // links lead to a directory
    return status;
}

std::optional<VolumeStatus> MemoryFiles::statvfs(const std::string& path) {
    std::optional<FileStatus> status = lstat(path);
    if (!status) return std::nullopt;
    return VolumeStatus{status->device == 0 ? 0u : 1000u};
}

bool MemoryFiles::exists(const std::string& path) { return lstat(path).has_value(); }
bool MemoryFiles::isExecutable(const std::string& path) {
    std::optional<FileStatus> status = lstat(path);
    return status && !status->isDirectory;
}
bool MemoryFiles::isReadable(const std::string& path) { return exists(path); }

}  // namespace drivelark::testing
