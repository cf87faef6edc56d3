#pragma once

// Checks that a device is what the caller says before root touches it: the very volume the
// action was decided for, holding NTFS, whose raw node the system lets us write, in a state that
// ntfs-3g.probe says may be changed. Each check's Outcome is ok() when the work may go on.

#include <string>

#include "helper/outcome.h"
#include "helper/session.h"

namespace drivelark::helper {

// Stops unless the disk utility's description of `device` gives `identity` (volumeIdentity): the
// device name may have passed to another disk since the caller decided. A description that
// cannot be read fails; another volume fails with kVolumeChanged and its marker.
Outcome stopUnlessTheVolume(Session& session, const std::string& device, const std::string& identity);

// Refuses unless the boot sector of /dev/<device> says NTFS.
Outcome stopUnlessNtfs(HelperSystem& system, const std::string& device);

// True for the errors with which the system refuses raw writes (privacy settings, read-only media).
bool isWriteDenial(const Status& status);
// The failure for a raw write the system refused, with its marker.
Outcome writeDenied(const std::string& node, const Status& status);

// Opens /dev/r<device> for writing and writes nothing: when the system refuses, ntfs-3g and
// ntfsfix could not write either.
Outcome stopIfWritesRefused(HelperSystem& system, const std::string& device);

// What "ntfs-3g.probe --readwrite" found, by its exit status: 14 stands for both hibernation and
// a fast restart, of which only the latter has the probe say "Metadata kept in Windows cache".
enum class ProbeVerdict { mountable, fastRestart, unclean, hibernated, notNtfs, corrupt, unknown };
ProbeVerdict probeVerdict(const ProgramRun& probe);

}  // namespace drivelark::helper
