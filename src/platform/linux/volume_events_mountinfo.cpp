#include "platform/linux/volume_events_mountinfo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/linux/mountinfo.h"

namespace drivelark {

namespace {

constexpr const char* kMountTable = "/proc/self/mountinfo";

}  // namespace

MountinfoVolumeEvents::MountinfoVolumeEvents(asio::io_context& mainLoop, std::string folder)
    : table_(mainLoop), folder_(std::move(folder)) {}

void MountinfoVolumeEvents::start(std::function<void(const std::string&)> mounted,
                                  std::function<void(const std::string&)> unmounted) {
    mounted_ = std::move(mounted);
    unmounted_ = std::move(unmounted);
    // Without the mount table there are no notices to give.
    int fd = ::open(kMountTable, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    std::error_code failed;
    table_.assign(fd, failed);
    if (failed) {
        ::close(fd);
        return;
    }
    volumes_ = readVolumes().value_or(std::set<std::string>());
    awaitChange();
}

void MountinfoVolumeEvents::awaitChange() {
    table_.async_wait(asio::posix::stream_descriptor::wait_error, [this](const std::error_code& error) {
        if (error) return;
        // Waiting again before reading: a change made while we read is then not missed.
        awaitChange();
        std::optional<std::set<std::string>> read = readVolumes();
        if (!read) return;  // unreadable just now: the next change compares again
        std::set<std::string> now = std::move(*read);
        std::vector<std::string> gone, appeared;
        std::set_difference(volumes_.begin(), volumes_.end(), now.begin(), now.end(), std::back_inserter(gone));
        std::set_difference(now.begin(), now.end(), volumes_.begin(), volumes_.end(), std::back_inserter(appeared));
        volumes_ = std::move(now);
        for (const std::string& mountPoint : gone) unmounted_(mountPoint);
        for (const std::string& mountPoint : appeared) mounted_(mountPoint);
    });
}

std::optional<std::set<std::string>> MountinfoVolumeEvents::readVolumes() const {
    std::ifstream table(kMountTable);
    if (!table.is_open()) return std::nullopt;
    return mountPointsIn(std::string(std::istreambuf_iterator<char>(table), {}), folder_);
}

}  // namespace drivelark
