#pragma once

// The desktop on macOS: NSWorkspace. Call from the main thread.

#include "platform/workspace.h"

namespace drivelark {

class MacWorkspace final : public Workspace {
public:
    bool openFolder(const std::string& path) override;
    bool openLog(const std::string& path) override;
    bool openURL(const std::string& url) override;
};

}  // namespace drivelark
