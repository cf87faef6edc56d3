#pragma once

// The application's delegate: what happens once the application has finished launching.
// Lives for the whole process; called on the main thread.

namespace drivelark {

class AppDelegate {
public:
    void applicationDidFinishLaunching();
};

}  // namespace drivelark
