#pragma once

// Test double for the Workspace port: records what was opened. Main thread only.

#include <string>
#include <vector>

#include "platform/workspace.h"

namespace drivelark::testing {

class RecordingWorkspace final : public Workspace {
public:
    void openFolder(const std::string& path) override { opened.push_back(path); }
    bool openURL(const std::string& url) override {
        if (url.find(' ') != std::string::npos) return false;
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;
};

}  // namespace drivelark::testing
