#include "helper/session.h"

#include <algorithm>

namespace drivelark::helper {

ProgramRun Session::run(const std::string& path, const std::vector<std::string>& arguments,
                        std::chrono::milliseconds limit) {
    std::chrono::milliseconds time = std::min(limit, left());
    if (time <= std::chrono::milliseconds::zero()) {
        ProgramRun notRun;
        notRun.launch = Status("no time was left to run " + path);
        return notRun;
    }
    return system.run(path, arguments, time);
}

bool Session::pause(std::chrono::milliseconds duration) {
    if (duration > left()) return false;
    system.pause(duration);
    return true;
}

std::chrono::milliseconds Session::left() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - system.now());
}

}  // namespace drivelark::helper
