#pragma once

// The user-defaults store on Linux: one property-list file, as macOS keeps
// ~/Library/Preferences/<bundle identifier>.plist. Thread-safe (one lock).

#include <mutex>
#include <string>

#include "platform/defaults_store.h"
#include "platform/linux/property_list_libplist.h"

namespace drivelark {

class PlistFileDefaultsStore final : public DefaultsStore {
public:
    explicit PlistFileDefaultsStore(std::string path);

    std::optional<PlistValue> value(const std::string& key) override;
    Status setValue(const std::string& key, const PlistValue& value) override;

private:
    // Reads the file into `document_` on first use; fails while it cannot be read, so that no
    // write replaces settings that are only out of reach for now. A file that is not a
    // property-list dictionary is moved aside to "<path>.damaged" (or "<path>.damaged N") so that
    // the next write cannot destroy what may still be recovered.
    Status load();

    std::mutex mutex_;
    std::string path_;
    PlistNode document_;
};

}  // namespace drivelark
