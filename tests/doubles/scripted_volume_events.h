#pragma once

// Test double for the VolumeEvents port: the test fires the notices, which arrive through the
// dispatcher's main queue as real ones do; before `start` nobody listens, and they are lost.
// Used on the test's thread.

#include "platform/dispatch.h"
#include "platform/volume_events.h"

namespace drivelark::testing {

class ScriptedVolumeEvents final : public VolumeEvents {
public:
    using Notice = std::function<void(const std::string&)>;
    explicit ScriptedVolumeEvents(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}

    void start(Notice mounted, Notice unmounted) override { mounted_ = std::move(mounted), unmounted_ = std::move(unmounted); }
    void mount(const std::string& mountPoint) { post(mounted_, mountPoint); }
    void unmount(const std::string& mountPoint) { post(unmounted_, mountPoint); }

private:
    void post(const Notice& notice, std::string mountPoint) {
        if (notice) dispatcher_.runOnMain([notice, mountPoint] { notice(mountPoint); });
    }
    Dispatcher& dispatcher_;
    Notice mounted_, unmounted_;
};

}  // namespace drivelark::testing
