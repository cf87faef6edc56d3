#pragma once

// The user-defaults store on macOS: the application's preferences domain. Thread-safe: reads as
// CFPreferences is, writes one at a time, so that a failed write puts back no other's value.

#include <mutex>

#include "platform/defaults_store.h"

namespace drivelark {

class CFPreferencesDefaultsStore final : public DefaultsStore {
public:
    std::optional<PlistValue> value(const std::string& key) override;
    Status setValue(const std::string& key, const PlistValue& value) override;

private:
    std::mutex writing_;
};

}  // namespace drivelark
