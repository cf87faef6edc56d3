#pragma once

// What the port tests share. The first three functions differ between the implementations:
// ports/linux/ and ports/mac_on_linux/ define them for their build.

#include <stdlib.h>

#include <filesystem>

#include "platform/native_platform.h"

namespace drivelark::testing {

// Runs a fresh main loop of the implementation on the calling (main) thread, calling `launched`
// from it with its dispatcher, until stopMainLoop() is called.
void runMainLoop(const std::function<void(Dispatcher&)>& launched);
void stopMainLoop();
std::string defaultsFile();  // where the native platform's defaults store keeps its values
// The build's own services, made once by the test program as the product's main() makes them.
Platform& nativePlatform();

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryDirectory {
public:
    TemporaryDirectory() : path_((std::filesystem::temp_directory_path() / "drivelark-test-XXXXXX").string()) {
        ::mkdtemp(path_.data());
    }
    ~TemporaryDirectory() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace drivelark::testing
