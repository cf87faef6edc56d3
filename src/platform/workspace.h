#pragma once

// Port: handing a folder, a file or an address to the desktop (the Finder, Console and the
// default browser on macOS). Returns at once; call from the main thread.

#include <string>

namespace drivelark {

class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the folder at `path` in the file browser. False when the desktop did not take it.
    virtual bool openFolder(const std::string& path) = 0;
    // Shows the log file at `path` in the system's log viewer, or else in the application the
    // user chose for such files. False when neither could be asked to.
    virtual bool openLog(const std::string& path) = 0;
    // Opens `url` with the application the user chose for it. False when it is not a URL or
    // the desktop did not take it.
    virtual bool openURL(const std::string& url) = 0;
};

}  // namespace drivelark
