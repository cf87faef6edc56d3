#pragma once

// The managed-volume registry: the read-write mounts Drivelark made or adopted, kept in the
// user-defaults store across restarts as three maps from mount point to text: "managedNames"
// (the volume name it was mounted under), "managedDevs" (the BSD name of its device) and
// "managedVolumes" (the identity of the volume, volume_identity.h). Main thread only: updates are
// read-modify-write.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "foundation/app_log.h"
#include "platform/defaults_store.h"

namespace drivelark {

// One of Drivelark's read-write mounts, as it was recorded when it was made.
struct ManagedMount {
    std::string mountPoint;
    std::string name;
    std::string deviceID;
    std::string identity;  // empty for a mount recorded before identities were

    bool operator==(const ManagedMount&) const = default;
};

using TextMap = std::map<std::string, std::string>;

class ManagedVolumes {
public:
    // A change that cannot be stored is logged in `log`.
    ManagedVolumes(DefaultsStore& defaults, AppLog& log) : defaults_(defaults), log_(log) {}

    // Every recorded mount, in mount-point order. A stored map that is not a dictionary of texts
    // reads as empty, each on its own.
    std::vector<ManagedMount> all() const;
    std::optional<ManagedMount> at(const std::string& mountPoint) const;
    // The device map alone ("managedDevs").
    TextMap managedDevs() const;
    // Records (or replaces) a mount in every map.
    void markManaged(const ManagedMount& mount);
    // Removes a mount point from every map; each is stored again even when it was not there.
    void unmarkManaged(const std::string& mountPoint);

private:
    TextMap read(const char* key) const;
    void update(const char* key, const std::string& mountPoint, const std::optional<std::string>& value);

    DefaultsStore& defaults_;
    AppLog& log_;
};

}  // namespace drivelark
