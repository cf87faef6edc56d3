#pragma once

// Port: handing a folder, a file or an address to the desktop (the Finder, Console and the
// default browser on macOS). Returns at once; call from the main thread.

#include <string>

#include "platform/status.h"

namespace drivelark {

class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the folder at `path` in the file browser. Fails when the desktop did not take it.
    virtual Status openFolder(const std::string& path) = 0;
    // Shows the log file at `path` in the system's log viewer, or else in the application the
    // user chose for such files. Fails when neither could be asked to.
    virtual Status openLog(const std::string& path) = 0;
    // Opens `url` with the application the user chose for it. Fails when it is not a URL or
    // the desktop did not take it.
    virtual Status openURL(const std::string& url) = 0;
};

}  // namespace drivelark
