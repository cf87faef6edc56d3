// How much of a reconcile pass is our own parsing: the partition listing and the mount table,
// typical and large, beside the cost of starting one program.

#include <benchmark/benchmark.h>

#include "discovery/mount_table.h"
#include "discovery/partition_listing.h"
#include "foundation/command_runner.h"
#include "platform/native_platform.h"
#include "test_data.h"

namespace drivelark {
namespace {

// 50 disks of 10 partitions each, every other one NTFS.
std::string largeListing() {
    std::string disks;
    for (int disk = 4; disk < 54; ++disk) {
        std::string name = "disk" + std::to_string(disk);
        disks += "<dict><key>Content</key><string>GUID_partition_scheme</string><key>DeviceIdentifier</key><string>" +
                 name + "</string><key>Partitions</key><array>";
        for (int slice = 1; slice <= 10; ++slice) {
            bool ntfs = slice % 2 == 0;
            disks += "<dict><key>Content</key><string>Microsoft Basic Data</string><key>DeviceIdentifier</key><string>" +
                     name + "s" + std::to_string(slice) + "</string><key>FilesystemType</key><string>" +
                     (ntfs ? "ntfs" : "msdos") + "</string><key>Size</key><integer>1000000000</integer>"
                     "<key>VolumeName</key><string>Volume " + std::to_string(slice) +
                     "</string><key>VolumeUUID</key><string>7C1E4A2F-93B5-4D1C-A6E8-2F0B9D3C5E" +
                     std::to_string(10 + slice) + "</string></dict>";
        }
        disks += "</array><key>Size</key><integer>10000000000</integer></dict>";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>AllDisksAndPartitions</key>"
           "<array>" + disks + "</array></dict></plist>";
}

std::string largeMountTable() {
    std::string table = testing::testData("mount_mac_mixed.txt");
    for (int i = 0; table.size() < 1000 * 70 || std::count(table.begin(), table.end(), '\n') < 1000; ++i) {
        table += "/dev/disk" + std::to_string(10 + i) + "s1 on /Volumes/Volume " + std::to_string(i) +
                 " (ntfs, local, nodev, nosuid, read-only, noowners, noatime)\n";
    }
    return table;
}

void parseListing(benchmark::State& state, const std::string& listing) {
    size_t expected = parsePartitionListing(listing)->size();
    for (auto _ : state) {
        std::optional<std::vector<ListedPartition>> partitions = parsePartitionListing(listing);
        if (partitions->size() != expected) state.SkipWithError("unstable result");
        benchmark::DoNotOptimize(partitions);
    }
    state.counters["partitions"] = static_cast<double>(expected);
}

void parseMounts(benchmark::State& state, const std::string& listing) {
    for (auto _ : state) benchmark::DoNotOptimize(parseMountTable(listing));
    state.counters["lines"] = static_cast<double>(std::count(listing.begin(), listing.end(), '\n'));
}

void BM_ParseListingTypical(benchmark::State& state) {
    parseListing(state, testing::testData("diskutil_list_mac_mixed.plist"));
}
void BM_ParseListingLarge(benchmark::State& state) { parseListing(state, largeListing()); }
void BM_ParseMountTableTypical(benchmark::State& state) { parseMounts(state, testing::testData("mount_mac_mixed.txt")); }
void BM_ParseMountTable1000Lines(benchmark::State& state) { parseMounts(state, largeMountTable()); }

void BM_RunCommandTrue(benchmark::State& state) {
    std::unique_ptr<NativePlatform> native = makeNativePlatform();
    for (auto _ : state) benchmark::DoNotOptimize(runCommand(native->services().processes, "/bin/true", {}, kListingTimeLimit));
}

BENCHMARK(BM_ParseListingTypical);
BENCHMARK(BM_ParseListingLarge);
BENCHMARK(BM_ParseMountTableTypical);
BENCHMARK(BM_ParseMountTable1000Lines);
BENCHMARK(BM_RunCommandTrue)->UseRealTime();

}  // namespace
}  // namespace drivelark

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
