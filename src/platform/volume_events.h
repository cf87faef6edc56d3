#pragma once

// Port: notices of volumes appearing under /Volumes and leaving it.
// `start` is called on the main thread, and the notices arrive there.

#include <functional>
#include <string>

namespace drivelark {

class VolumeEvents {
public:
    virtual ~VolumeEvents() = default;
    // From now on calls `mounted` or `unmounted` on the main thread with the mount point of every
    // volume that appears under /Volumes or leaves it. Called once, on the main thread.
    virtual void start(std::function<void(const std::string& mountPoint)> mounted,
                       std::function<void(const std::string& mountPoint)> unmounted) = 0;
};

}  // namespace drivelark
