#include "helper/helper_commands.h"

#include "helper/commands.h"
#include "helper/helper_request.h"
#include "platform/posix/posix_error.h"

namespace drivelark::helper {

namespace {

using namespace HelperProtocol;

// A moment past the budget, in case a call that a stalled disk holds keeps the work from
// noticing that its time is up; the caller waits kCallerMargin, which is longer.
constexpr std::chrono::seconds kWatchdogGrace{1};

std::chrono::seconds budgetOf(Subcommand subcommand) {
    switch (subcommand) {
        case Subcommand::selftest: return kSelftestBudget;
        case Subcommand::mount: return kMountBudget;
        case Subcommand::fix: return kFixBudget;
        case Subcommand::unmount: return kUnmountBudget;
        case Subcommand::keepalive: return kKeepaliveBudget;
        case Subcommand::flush: return kFlushBudget;
    }
    return kSelftestBudget;
}

// The application asks this to learn whether the password-free channel is set up.
Outcome runSelftest(HelperSystem& system) {
    if (system.hasRootRights()) return Outcome{};
    return failed("not running with root rights");
}

// Reads one block of the raw device so that the disk does not spin down; never writes.
Outcome runKeepalive(HelperSystem& system, const std::string& device) {
    std::string raw = "/dev/r" + device;
    Status read = system.readAlignedBlock(raw);
    if (read.ok()) return Outcome{};
    return failed("cannot read " + raw + ": " + errorText(read.errorNumber()));
}

// Writes back what the device holds in its caches, before the system sleeps; never writes itself.
Outcome runFlush(HelperSystem& system, const std::string& device) {
    std::string node = "/dev/" + device;
    Status flushed = system.flushDevice(node);
    if (flushed.ok()) return Outcome{};
    return failed("cannot flush " + node + ": " + errorText(flushed.errorNumber()));
}

}  // namespace

Outcome runHelper(HelperSystem& system, const std::vector<std::string>& arguments) {
    Request request;
    if (Outcome stop = parseRequest(arguments, &request); !stop.ok()) return stop;
    const std::chrono::seconds budget = budgetOf(request.subcommand);
    system.endProcessAfter(budget + kWatchdogGrace, kFailed,
                           "drivelark-mount: stopped: " + arguments.front() + " did not finish within " +
                               std::to_string(budget.count()) + " s\n");
    Session session(system, budget);
    switch (request.subcommand) {
        case Subcommand::selftest: return runSelftest(system);
        case Subcommand::mount: return runMount(session, request);
        case Subcommand::fix: return runFix(session, request);
        case Subcommand::unmount: return runUnmount(session, request.mountPoint);
        case Subcommand::keepalive: return runKeepalive(system, request.device);
        case Subcommand::flush: return runFlush(system, request.device);
    }
    return refused("unknown subcommand");
}

}  // namespace drivelark::helper
