#pragma once

// Who uses a device and what is mounted where, read afresh for each decision. What ps and the
// mount program print is checked before it is believed: a listing that cannot be read, or that
// lacks what every real one has, stops the work. Each check's Outcome is ok() when the work may go
// on.

#include <optional>
#include <string>
#include <vector>

#include "helper/mount_listing.h"
#include "helper/outcome.h"
#include "discovery/process_list.h"
#include "helper/session.h"

namespace drivelark::helper {

Outcome readProcesses(Session& session, std::vector<Process>& processes);
Outcome readMounts(Session& session, std::vector<ListedMount>& mounts);

// The mount of `device` that the work may take away: none, or the system's own read-only NTFS
// mount, once. Any other mount of the device refuses.
Outcome findSystemMount(const std::vector<ListedMount>& mounts, const std::string& device,
                        std::optional<ListedMount>& systemMount);

// Refuses when a running ntfs-3g serves the device. An ntfs-3g whose volume was just ejected is
// still writing it back: it is given a few seconds to end before the refusal.
Outcome stopIfServedByNtfs3g(Session& session, const std::string& device);

// Refuses when another process holds a lock on the device. A system that keeps no lock
// information for device files is no objection: the other checks stand.
Outcome stopIfLockedByOther(HelperSystem& system, const std::string& device);

}  // namespace drivelark::helper
