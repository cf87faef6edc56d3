#pragma once

// The properties the fuzz targets check, one per target, shared by the libFuzzer entry points and
// the test that replays the kept inputs. A check aborts when its property fails.

#include <string>
#include <string_view>

namespace drivelark::fuzz {

struct Target {
    const char* name;  // also the folder of its kept inputs, tests/fuzz/regressions/<name>
    void (*check)(std::string_view input);
};
// partition_listing, defaults_store, shell_quoting, helper_arguments, helper_outputs
extern const Target kTargets[5];

std::string readFile(const std::string& path);

}  // namespace drivelark::fuzz
