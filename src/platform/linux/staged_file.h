#pragma once

// Replacing a file so that it holds either its old or its new content, never a mix, even when
// the process dies or the disk fills up half-way.

#include <optional>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace drivelark {

class StagedFile {
public:
    // Writes `bytes` to a new temporary file beside `path`, flushes it to the disk and sets
    // `staged`. When that fails, `path` is untouched and no temporary file is left.
    static Status stage(const std::string& path, std::string_view bytes, std::optional<StagedFile>* staged);

    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    ~StagedFile();  // removes the temporary file unless it was committed

    // Puts the new content in place of `path` with one rename.
    Status commit();

private:
    StagedFile(std::string path, std::string temporaryPath);
    std::string path_;
    std::string temporaryPath_;
};

// Writes `bytes` to `path` through a staged file.
Status replaceFile(const std::string& path, std::string_view bytes);

}  // namespace drivelark
