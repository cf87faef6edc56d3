#pragma once

// Volume notices on macOS: NSWorkspace's mount and unmount notifications, delivered on the main
// operation queue. Used on the main thread only.

#include "platform/volume_events.h"

namespace drivelark {

class WorkspaceVolumeEvents final : public VolumeEvents {
public:
    void start(std::function<void(const std::string& mountPoint)> mounted,
               std::function<void(const std::string& mountPoint)> unmounted) override;
};

}  // namespace drivelark
