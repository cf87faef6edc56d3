#pragma once

// Port: the user-defaults store, where preferences and the managed-volume registry persist.
// Implementations are safe to call from any thread; the core calls them on the main thread.

#include <optional>
#include <string>

#include "platform/property_list.h"
#include "platform/status.h"

namespace drivelark {

class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    // The value stored under `key` with its own type, or none when nothing is stored or the
    // stored values cannot be read just now.
    virtual std::optional<PlistValue> value(const std::string& key) = 0;
    // Replaces the value under `key` and makes it persistent. When only that fails (a full disk),
    // the value is read back all the same and persists with the next write that succeeds; while
    // the stored values cannot be read, nothing is replaced.
    virtual Status setValue(const std::string& key, const PlistValue& value) = 0;
};

}  // namespace drivelark
