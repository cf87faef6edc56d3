#include "platform/linux/defaults_store_plist_file.h"
#include "platform/linux/main_loop_asio.h"
#include "platform/linux/workspace_xdg.h"
#include "platform/linux/volume_events_mountinfo.h"
#include "platform/native_platform.h"
#include "platform/posix/bundle_posix.h"
#include "platform/posix/clock_posix.h"
#include "platform/posix/end_process.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/processes_posix.h"

namespace drivelark {

namespace {

class LinuxPlatform final : public NativePlatform {
public:
    LinuxPlatform()
        : defaults_(files_.homeDirectory() + "/Library/Preferences/" + kBundleIdentifier + ".plist"),
          volumeEvents_(mainLoop_.context(), "/Volumes"),
          services_{processes_, files_, defaults_, clock_, mainLoop_, bundle_, workspace_, volumeEvents_} {}

    Platform& services() override { return services_; }

    [[noreturn]] void runApplication(std::function<void()> launched) override {
        mainLoop_.runUntilSignalled(std::move(launched));
        endProcess(0);
    }

private:
    PosixProcesses processes_;
    PosixFiles files_;
    PlistFileDefaultsStore defaults_;
    PosixClock clock_;
    AsioMainLoop mainLoop_;
    ExecutableBundle bundle_;
    XdgWorkspace workspace_;
    MountinfoVolumeEvents volumeEvents_;
    Platform services_;
};

}  // namespace

std::unique_ptr<NativePlatform> makeNativePlatform() { return std::make_unique<LinuxPlatform>(); }

}  // namespace drivelark
