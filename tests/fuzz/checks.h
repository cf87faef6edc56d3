#pragma once

// The properties the fuzz targets check, one function per target, shared by the libFuzzer entry
// points and the test that replays the kept inputs. A check aborts when its property fails.

#include <string>
#include <string_view>

namespace drivelark::fuzz {

void checkPartitionListing(std::string_view input);
void checkMountTable(std::string_view input);
void checkVolumeDescription(std::string_view input);
void checkDefaultsStore(std::string_view input);
void checkShellQuoting(std::string_view input);
void checkHelperArguments(std::string_view input);

struct Target {
    const char* name;  // also the folder of its kept inputs, tests/fuzz/regressions/<name>
    void (*check)(std::string_view input);
};
inline constexpr Target kTargets[] = {
    {"partition_listing", checkPartitionListing}, {"mount_table", checkMountTable},
    {"volume_description", checkVolumeDescription}, {"defaults_store", checkDefaultsStore},
    {"shell_quoting", checkShellQuoting},         {"helper_arguments", checkHelperArguments},
};

std::string readFile(const std::string& path);

}  // namespace drivelark::fuzz
