// The port tests, run against the build's own platform, as the product runs.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/bundle_posix.h"
#include "ports/port_tests.h"

namespace {
drivelark::NativePlatform* native = nullptr;  // never destroyed: background jobs may outlive a test
}

drivelark::Platform& drivelark::testing::nativePlatform() { return native->services(); }

int main(int argc, char** argv) {
    using namespace drivelark;
    const char* home = std::getenv("DRIVELARK_TEST_HOME");
    if (home == nullptr) {
        // CoreFoundation reads HOME and XDG_CONFIG_HOME once, as it loads: the program starts again
        // in a home of its own, so that no log or preference written here touches the user's.
        std::string folder = (std::filesystem::temp_directory_path() / "drivelark-ports-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr || ::mkdir((folder + "/.config").c_str(), 0700) != 0) return 1;
        ::setenv("DRIVELARK_TEST_HOME", folder.c_str(), 1);
        ::setenv("HOME", folder.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
        std::optional<std::string> self = runningExecutablePath();
        if (self) ::execv(self->c_str(), argv);
        return 127;
    }
    native = makeNativePlatform().release();
    ::testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // children start afresh: libdispatch cannot follow a fork
    int failed = RUN_ALL_TESTS();
    std::filesystem::remove(drivelark::testing::defaultsFile());  // outside the home of its own on a Mac
    std::filesystem::remove_all(home);
    return failed;
}
