#pragma once

// Port: handing a folder or an address to the desktop (the Finder and the default browser on
// macOS). Returns at once; safe from the main thread.

#include <string>

namespace drivelark {

class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the folder at `path` in the file browser.
    virtual void openFolder(const std::string& path) = 0;
    // Opens `url` with the application the user chose for it. False when it is not a URL.
    virtual bool openURL(const std::string& url) = 0;
};

}  // namespace drivelark
