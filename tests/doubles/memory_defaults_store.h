#pragma once

// Test double for the user-defaults store: values in memory, with a switch that makes writes fail.

#include <map>
#include <mutex>

#include "platform/defaults_store.h"

namespace drivelark::testing {

class MemoryDefaultsStore final : public DefaultsStore {
public:
    std::optional<PlistValue> value(const std::string& key) override {
        std::lock_guard lock(mutex_);
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    bool setValue(const std::string& key, const PlistValue& value) override {
        std::lock_guard lock(mutex_);
        ++writes_;
        if (failWrites_) return false;
        values_[key] = value;
        return true;
    }

    void failWrites(bool fail) {
        std::lock_guard lock(mutex_);
        failWrites_ = fail;
    }
    int writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, PlistValue> values_;
    bool failWrites_ = false;
    int writes_ = 0;
};

}  // namespace drivelark::testing
