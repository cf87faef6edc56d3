#include "mount/volume_holders.h"

#include <charconv>

namespace drivelark {

std::vector<std::string> volumeHolderArguments(const std::string& mountPoint) {
    // +f: the name must be a mounted file system, every open file on it counts (a plain name
    // would find only the folder itself); -w keeps lsof's warnings out of the output.
    return {"-w", "-Fpc", "+f", "--", mountPoint};
}

std::vector<VolumeHolder> parseVolumeHolders(std::string_view output) {
    std::vector<VolumeHolder> holders;
    bool inProcess = false;  // the last process id read was a valid one
    while (!output.empty()) {
        size_t end = output.find('\n');
        std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        if (line.starts_with('p')) {
            int pid = 0;
            auto [next, error] = std::from_chars(line.data() + 1, line.data() + line.size(), pid);
            inProcess = error == std::errc() && next == line.data() + line.size() && pid > 0;
            if (inProcess) holders.push_back({pid, ""});
        } else if (line.starts_with('c') && inProcess) {
            holders.back().command = line.substr(1);
        }
    }
    return holders;
}

}  // namespace drivelark
