// The libFuzzer entry point of one fuzz target, named by DRIVELARK_FUZZ_TARGET (CMakeLists.txt).

#include <cstdint>
#include <cstring>

#include "fuzz/checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto check = [] {
        for (const drivelark::fuzz::Target& target : drivelark::fuzz::kTargets)
            if (std::strcmp(target.name, DRIVELARK_FUZZ_TARGET) == 0) return target.check;
        __builtin_trap();
    }();
    check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
