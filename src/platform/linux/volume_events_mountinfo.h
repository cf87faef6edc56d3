#pragma once

// Volume notices on Linux: the kernel's mount table, watched on the main loop. A change of
// /proc/self/mountinfo shows as an exceptional condition of its descriptor (POLLPRI), so the
// table is read again only when it has changed. Used on the main thread only.

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <optional>
#include <set>

#include "platform/volume_events.h"

namespace drivelark {

class MountinfoVolumeEvents final : public VolumeEvents {
public:
    // Watches the mount points directly in `folder` ("/Volumes" for the application).
    MountinfoVolumeEvents(asio::io_context& mainLoop, std::string folder);

    void start(std::function<void(const std::string& mountPoint)> mounted,
               std::function<void(const std::string& mountPoint)> unmounted) override;

private:
    void awaitChange();
    std::optional<std::set<std::string>> readVolumes() const;  // none when the table cannot be read

    asio::posix::stream_descriptor table_;
    std::string folder_;
    std::set<std::string> volumes_;
    std::function<void(const std::string&)> mounted_;
    std::function<void(const std::string&)> unmounted_;
};

}  // namespace drivelark
