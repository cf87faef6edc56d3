#pragma once

// Test double for the user-defaults store: values in memory.

#include <map>

#include "platform/defaults_store.h"

namespace drivelark::testing {

class MemoryDefaultsStore final : public DefaultsStore {
public:
    std::optional<PlistValue> value(const std::string& key) override {
        auto it = values_.find(key);
        return it == values_.end() ? std::nullopt : std::optional(it->second);
    }
    bool setValue(const std::string& key, const PlistValue& value) override {
        values_.insert_or_assign(key, value);
        return true;
    }

private:
    std::map<std::string, PlistValue> values_;
};

}  // namespace drivelark::testing
