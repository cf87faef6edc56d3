// Replays every kept input of every fuzz target (regressions/<target>/*) through its check; a
// failing check aborts, which fails the test.

#include <cstdio>
#include <filesystem>
#include <set>

#include "fuzz/checks.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;  // drivelark_fuzz_replay <regressions folder>
    for (const drivelark::fuzz::Target& target : drivelark::fuzz::kTargets) {
        const std::set<std::filesystem::path> inputs(
            std::filesystem::directory_iterator(std::filesystem::path(argv[1]) / target.name), {});
        for (const std::filesystem::path& input : inputs) {
            std::fprintf(stderr, "%s/%s\n", target.name, input.filename().c_str());  // shown before an abort
            target.check(drivelark::fuzz::readFile(input));
        }
        if (inputs.empty()) {
            std::fprintf(stderr, "no inputs for %s\n", target.name);
            return 1;
        }
    }
    return 0;
}
