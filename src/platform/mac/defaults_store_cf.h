#pragma once

// The user-defaults store on macOS: the application's preferences domain. Thread-safe, as
// CFPreferences is.

#include "platform/defaults_store.h"

namespace drivelark {

class CFPreferencesDefaultsStore final : public DefaultsStore {
public:
    std::optional<PlistValue> value(const std::string& key) override;
    bool setValue(const std::string& key, const PlistValue& value) override;
};

}  // namespace drivelark
