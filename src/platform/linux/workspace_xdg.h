#pragma once

// The desktop on Linux: xdg-open, where the machine has it. Thread-safe.

#include "platform/workspace.h"

namespace drivelark {

class XdgWorkspace final : public Workspace {
public:
    bool openFolder(const std::string& path) override;
    bool openLog(const std::string& path) override;
    bool openURL(const std::string& url) override;
};

}  // namespace drivelark
