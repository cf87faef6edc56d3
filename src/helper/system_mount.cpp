#include "helper/commands.h"

#include "foundation/system_programs.h"

namespace drivelark::helper {

namespace {

// A dissenting process can keep diskutil waiting for minutes.
constexpr std::chrono::seconds kDiskutilTimeLimit{15};

}  // namespace

Outcome unmountSystemMount(Session& session, const std::string& device) {
    ProgramRun forced = session.run(kDiskutilPath, {"unmount", "force", device}, kDiskutilTimeLimit);
    if (succeeded(forced)) return Outcome{};
    ProgramRun plain = session.run(kDiskutilPath, {"unmount", device}, kDiskutilTimeLimit);
    if (succeeded(plain)) return Outcome{};
    Outcome outcome{kFailed, {}};
    return outcome.quote(forced, kDiskutilPath).quote(plain, kDiskutilPath).say("could not unmount /dev/" + device);
}

void restoreSystemMount(Session& session, Outcome& outcome, const std::string& device) {
    ProgramRun mounted = session.run(kDiskutilPath, {"mount", device}, kDiskutilTimeLimit);
    if (succeeded(mounted)) {
        outcome.say("mounted /dev/" + device + " again as the system had it");
    } else {
        outcome.quote(mounted, kDiskutilPath).say("could not mount /dev/" + device + " again");
    }
}

}  // namespace drivelark::helper
