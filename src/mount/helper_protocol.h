#pragma once

// The helper tool's contract with the application: where it is installed, the exit statuses the
// application tells apart, the marker lines it prints about a volume's state, and how long each
// subcommand may take. Included by the helper tool and by the application alike.
//
//   drivelark-mount selftest
//   drivelark-mount mount <device> <mount point> <volume name> <volume identity>
//   drivelark-mount fix <device> <volume identity>
//   drivelark-mount unmount <mount point>
//   drivelark-mount keepalive <device>
//   drivelark-mount flush <device>
//
// A volume identity is what volumeIdentity (discovery/volume_identity.h) gives for the volume the
// action was decided for; the tool refuses the action when the device no longer holds it.

#include <chrono>
#include <string_view>

namespace drivelark::HelperProtocol {

// Where the installer puts the tool and the ntfs-3g tools it runs: a folder only root can change,
// as macOS keeps privileged helpers.
inline constexpr const char* kInstalledPath = "/Library/PrivilegedHelperTools/com.drivelark.Drivelark/drivelark-mount";

// Exit statuses. The tool never exits 126 or 127 itself: through sudo those mean that the
// password-free channel could not run at all.
inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;         // the work was tried and did not succeed
inline constexpr int kRefused = 2;        // the arguments or the target are unsafe; nothing was done
inline constexpr int kVolumeChanged = 3;  // the device no longer holds the volume named; nothing was done

// Marker lines: each stands alone on a line of the tool's output, so that no text carrying a
// volume's name can be taken for one. Through the administrator prompt the exit status is
// osascript's, and the markers are all the application has.
inline constexpr std::string_view kWriteDenied = "__WRITE_DENIED__";    // the system refuses raw writes
inline constexpr std::string_view kUnsafeState = "__UNSAFE_STATE__";    // Windows fast-started: "fix" can clear it
inline constexpr std::string_view kHibernated = "__HIBERNATED__";       // Windows hibernated: nothing may touch it
inline constexpr std::string_view kVolumeChangedMarker = "__VOLUME_CHANGED__";  // as kVolumeChanged

// The most each subcommand may take, every program it runs included; the tool stops its work
// and fails when its time is up. Callers wait kCallerMargin longer before they give up on it.
inline constexpr std::chrono::seconds kSelftestBudget{5};
inline constexpr std::chrono::seconds kMountBudget{100};
inline constexpr std::chrono::seconds kFixBudget{60};
inline constexpr std::chrono::seconds kUnmountBudget{20};
inline constexpr std::chrono::seconds kKeepaliveBudget{5};
inline constexpr std::chrono::seconds kFlushBudget{30};
inline constexpr std::chrono::seconds kCallerMargin{3};

// True when `output` holds `marker` as a line of its own (line breaks "\n", "\r" or both, as the
// administrator prompt turns them; blanks around it do not count).
inline bool hasMarkerLine(std::string_view output, std::string_view marker) {
    while (!output.empty()) {
        size_t end = output.find_first_of("\r\n");
        std::string_view line = output.substr(0, end);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        if (line == marker) return true;
        if (end == std::string_view::npos) break;
        output.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace drivelark::HelperProtocol
