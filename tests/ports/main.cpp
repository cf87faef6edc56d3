// The tests of the real Linux services run with the real platform installed, as the product does.

#include <gtest/gtest.h>

#include <cstdlib>

#include "linux/temporary_directory.h"
#include "platform/native_platform.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // A home of our own, so that logs and preferences written here never touch the user's.
    static drivelark::testing::TemporaryDirectory home;
    ::setenv("HOME", home.path().c_str(), 1);
    std::unique_ptr<drivelark::NativePlatform> native = drivelark::makeNativePlatform();
    drivelark::installPlatform(&native->services());
    return RUN_ALL_TESTS();
}
