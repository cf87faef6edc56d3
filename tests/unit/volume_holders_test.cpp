// Who holds a volume, from lsof's field output: macOS's lsof (4.91) adds a line per open file,
// Debian's (4.95) does not.

#include <gtest/gtest.h>

#include "mount/volume_holders.h"

namespace drivelark::testing {

TEST(VolumeHoldersTest, ProcessesFromFieldOutput) {
    const std::pair<std::string, std::vector<VolumeHolder>> cases[] = {
        {"p412\ncFinder\nfcwd\np1187\ncbash\nfcwd\nf3\nf4\nf255\n", {{412, "Finder"}, {1187, "bash"}}},
        {"p2301\ncsleep\np2307\ncQuick Look Helper\n", {{2301, "sleep"}, {2307, "Quick Look Helper"}}},
        {"p77\ncmds_stores", {{77, "mds_stores"}}},  // no final line break
        {"p9\nfcwd\n", {{9, ""}}},                    // no command name
        {"", {}},
        {"lsof: status error on /Volumes/Data: No such file or directory\n", {}},
        {"cfirst\npx1\ncbad\np-3\np0\np99999999999\np\np 5\nc\np8\ncok\n", {{8, "ok"}}},
    };
    for (const auto& [output, holders] : cases) EXPECT_EQ(parseVolumeHolders(output), holders) << output;
}

}  // namespace drivelark::testing
