// Runs one mount operation the way the application does (real services, real main loop) and
// prints each completion as a JSON line {"step": ..., "ok": ..., "out": ...}, for the
// end-to-end tests in the simulated Mac.
//
//   mount_driver remount <device> <volume name>
//   mount_driver remount-repairing <device> <volume name>   remount; on an unsafe state, repair and remount
//   mount_driver fix <device>
//   mount_driver unmount <mount point> <volume name>
//   mount_driver holders <mount point>     who holds it, as "pid command" lines
//
// The volume's identity is the one the disk utility gives for the device when the driver starts.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "discovery/disk_topology.h"
#include "discovery/volume_identity.h"
#include "foundation/command_runner.h"
#include "mount/mount_manager.h"
#include "mount/volume_holders.h"
#include "platform/native_platform.h"
#include "platform/posix/bundle_posix.h"

namespace {

using namespace drivelark;

std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

void report(const char* step, bool ok, const std::string& out) {
    std::printf("{\"step\":%s,\"ok\":%s,\"out\":%s}\n", jsonText(step).c_str(), ok ? "true" : "false",
                jsonText(out).c_str());
    std::fflush(stdout);
}

void finish(bool ok) { std::_Exit(ok ? 0 : 1); }

MountCompletion reportThenFinish(const char* step) {
    return [step](bool ok, const std::string& out) {
        report(step, ok, out);
        finish(ok);
    };
}

void remountRepairing(MountManager& mounts, const NTFSPartition& partition) {
    mounts.remountReadWrite(partition, [&mounts, partition](bool ok, const std::string& out) {
        report("remount", ok, out);
        if (ok || !MountManager::isUnsafeStateError(out)) return finish(ok);
        mounts.fixUnsafeState(partition, [&mounts, partition](bool fixed, const std::string& fixOut) {
            report("fix", fixed, fixOut);
            if (!fixed) return finish(false);
            mounts.remountReadWrite(partition, reportThenFinish("remount"));
        });
    });
}

void reportHolders(const std::string& mountPoint) {
    CommandResult result = runCommand(kLsofPath, volumeHolderArguments(mountPoint), kListingTimeLimit);
    std::string lines;
    for (const VolumeHolder& holder : parseVolumeHolders(result.out)) {
        lines += std::to_string(holder.pid) + " " + holder.command + "\n";
    }
    report("holders", result.exit == 0, lines);
    finish(result.exit == 0);
}

}  // namespace

// The application's bundle beside this program's folder (build/Drivelark.app), as if it ran there.
class BuiltBundle final : public Bundle {
public:
    std::optional<std::string> executableDirectory() override { return folder("MacOS"); }
    std::optional<std::string> resourceDirectory() override { return folder("Resources"); }

private:
    static std::optional<std::string> folder(const std::string& name) {
        std::optional<std::string> self = runningExecutablePath();
        if (!self) return std::nullopt;
        std::string tests = self->substr(0, self->rfind('/'));
        return tests.substr(0, tests.rfind('/')) + "/Drivelark.app/Contents/" + name;
    }
};

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    std::string first = argc > 2 ? argv[2] : "";
    std::string second = argc > 3 ? argv[3] : "";
    NativePlatform* native = makeNativePlatform().release();
    static BuiltBundle bundle;
    Platform& services = native->services();
    static Platform withBundle{services.processes, services.files,        services.defaults, services.clock,
                               services.dispatcher, bundle,               services.workspace, services.volumeEvents,
                               services.ui,        services.loginItem,    services.power};
    installPlatform(&withBundle);
    static auto* mounts = new std::shared_ptr<MountManager>(std::make_shared<MountManager>());
    std::optional<PlistValue> description = command == "unmount" ? std::nullopt : DiskTopology::describeDevice(first);
    NTFSPartition partition{first, second, "", description ? volumeIdentity(*description) : ""};
    native->runApplication([=] {
        MountManager& operations = **mounts;
        if (command == "remount" && argc == 4) {
            operations.remountReadWrite(partition, reportThenFinish("remount"));
        } else if (command == "remount-repairing" && argc == 4) {
            remountRepairing(operations, partition);
        } else if (command == "fix" && argc == 3) {
            operations.fixUnsafeState(partition, reportThenFinish("fix"));
        } else if (command == "unmount" && argc == 4) {
            operations.unmount(VolumeInfo{"", first, second, VolumeInfo::Kind::ntfsReadWrite, "", {}},
                               [](bool ok, const std::string& out, const std::vector<VolumeHolder>&) {
                                   reportThenFinish("unmount")(ok, out);
                               });
        } else if (command == "holders" && argc == 3) {
            reportHolders(first);
        } else {
            std::fprintf(stderr, "usage: mount_driver remount|remount-repairing|fix|unmount|holders ...\n");
            finish(false);
        }
    }, [] {});
}
