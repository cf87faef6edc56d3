#pragma once

// The desktop on Linux: xdg-open, where the machine has it. Thread-safe.

#include "platform/workspace.h"

namespace drivelark {

class XdgWorkspace final : public Workspace {
public:
    Status openFolder(const std::string& path) override;
    Status openLog(const std::string& path) override;
    Status openURL(const std::string& url) override;
};

}  // namespace drivelark
