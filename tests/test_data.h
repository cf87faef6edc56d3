#pragma once

// Stored outputs of real-looking programs, from tests/data.

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace drivelark::testing {

inline std::string testData(const std::string& name) {
    std::ifstream file(std::string(DRIVELARK_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    if (!file) throw std::runtime_error("missing test data: " + name);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace drivelark::testing
