#include "platform/linux/defaults_store_plist_file.h"
#include "platform/linux/linux_power.h"
#include "platform/linux/main_loop_asio.h"
#include "platform/linux/terminal_user_interface.h"
#include "platform/linux/volume_events_mountinfo.h"
#include "platform/linux/workspace_xdg.h"
#include "platform/linux/xdg_login_item.h"
#include "platform/native_platform.h"
#include "platform/posix/bundle_posix.h"
#include "platform/posix/clock_posix.h"
#include "platform/posix/end_process.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/processes_posix.h"

#include <cstdlib>

namespace drivelark {

namespace {

class LinuxPlatform final : public NativePlatform {
public:
    LinuxPlatform()
        : defaults_(files_.homeDirectory() + "/Library/Preferences/" + kBundleIdentifier + ".plist"),
          volumeEvents_(mainLoop_.context(), "/Volumes"),
          ui_(mainLoop_.context(), [this] { mainLoop_.context().stop(); }),
          loginItem_(autostartFolder() + "/" + kBundleIdentifier + ".desktop", runningExecutablePath().value_or("")),
          power_(mainLoop_.context()),
          services_{processes_, files_, defaults_, clock_,   mainLoop_,  bundle_,
                    workspace_, volumeEvents_, ui_, loginItem_, power_} {}

    Platform& services() override { return services_; }

    [[noreturn]] void runApplication(std::function<void()> launched, std::function<void()> quitting) override {
        mainLoop_.runUntilSignalled(std::move(launched));
        quitting();
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
    TerminalUserInterface ui_;
    XdgLoginItem loginItem_;
    LinuxPower power_;
    Platform services_;

    std::string autostartFolder() {
        const char* config = std::getenv("XDG_CONFIG_HOME");
        return (config != nullptr && *config == '/' ? std::string(config) : files_.homeDirectory() + "/.config") +
               "/autostart";
    }
};

}  // namespace

std::unique_ptr<NativePlatform> makeNativePlatform() { return std::make_unique<LinuxPlatform>(); }

}  // namespace drivelark
