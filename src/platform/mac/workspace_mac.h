#pragma once

// The desktop on macOS: NSWorkspace. Call from the main thread.

#include "platform/workspace.h"

namespace drivelark {

class MacWorkspace final : public Workspace {
public:
    Status openFolder(const std::string& path) override;
    Status openLog(const std::string& path) override;
    Status openURL(const std::string& url) override;
};

}  // namespace drivelark
