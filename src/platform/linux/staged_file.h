#pragma once

// Replacing a file so that it holds either its old or its new content, never a mix, even when
// the process dies or the disk fills up half-way.

#include <optional>
#include <string>
#include <string_view>

namespace drivelark {

class StagedFile {
public:
    // Writes `bytes` to a new temporary file beside `path` and flushes it to the disk.
    // None when that fails; `path` is then untouched and no temporary file is left.
    static std::optional<StagedFile> stage(const std::string& path, std::string_view bytes);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    ~StagedFile();  // removes the temporary file unless it was committed

    // Puts the new content in place of `path` with one rename. False when that fails.
    bool commit();

private:
    StagedFile(std::string path, std::string temporaryPath);
    std::string path_;
    std::string temporaryPath_;
};

// Writes `bytes` to `path` through a staged file.
bool replaceFile(const std::string& path, std::string_view bytes);

}  // namespace drivelark
