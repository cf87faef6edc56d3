#include "platform/mac/application_mac.h"
#include "platform/mac/defaults_store_cf.h"
#include "platform/mac/dispatch_gcd.h"
#include "platform/mac/login_item_mac.h"
#include "platform/mac/power_mac.h"
#include "platform/mac/user_interface_mac.h"
#include "platform/mac/workspace_mac.h"
#include "platform/mac/volume_events_mac.h"
#include "platform/native_platform.h"
#include "platform/posix/bundle_posix.h"
#include "platform/posix/clock_posix.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/processes_posix.h"

namespace drivelark {

namespace {

class MacPlatform final : public NativePlatform {
public:
    Platform& services() override { return services_; }
    [[noreturn]] void runApplication(std::function<void()> launched, std::function<void()> quitting) override {
        runCocoaApplication(std::move(launched), std::move(quitting));
    }

private:
    PosixProcesses processes_;
    PosixFiles files_;
    CFPreferencesDefaultsStore defaults_;
    PosixClock clock_;
    GCDDispatcher dispatcher_;
    ExecutableBundle bundle_;
    MacWorkspace workspace_;
    WorkspaceVolumeEvents volumeEvents_;
    MacUserInterface ui_;
    MacLoginItem loginItem_;
    MacPower power_;
    Platform services_{processes_,  files_,        defaults_, clock_,     dispatcher_, bundle_,
                       workspace_, volumeEvents_, ui_,       loginItem_, power_};
};

}  // namespace

std::unique_ptr<NativePlatform> makeNativePlatform() { return std::make_unique<MacPlatform>(); }

}  // namespace drivelark
