#pragma once

// Port: the user-defaults store, where preferences and the managed-volume registry persist.
// Implementations are safe to call from any thread; the core calls them on the main thread.

#include <optional>
#include <string>

#include "platform/property_list.h"

namespace drivelark {

class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    // The value stored under `key` with its own type, or none when nothing is stored or the
    // stored values cannot be read just now.
    virtual std::optional<PlistValue> value(const std::string& key) = 0;
    // Replaces the value under `key`. False when it could not be made persistent (also while the
    // stored values cannot be read); the store then still holds its previous content.
    virtual bool setValue(const std::string& key, const PlistValue& value) = 0;
};

}  // namespace drivelark
