#include "doubles/test_platform.h"

#include <sstream>

namespace drivelark::testing {

std::vector<std::string> TestPlatform::logMessages() const {
    std::istringstream log(files.content(std::string(MemoryFiles::kHome) + "/Library/Logs/Drivelark.log"));
    std::vector<std::string> messages;
    for (std::string line; std::getline(log, line);) {
        // "[yyyy-MM-dd HH:mm:ss] " is 22 characters; continuation lines of a message have none.
        messages.push_back(line.size() >= 22 && line[0] == '[' && line[20] == ']' ? line.substr(22) : line);
    }
    return messages;
}

}  // namespace drivelark::testing
