#pragma once

// When the next automatic attempt for a partition may start: the back-off after failures, the
// least spacing of attempts, and the throttle for a read-write mount that keeps getting lost.

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace drivelark {

// The attempt record of one partition.
struct PartState {
    Date lastAttempt = Date::distantPast();  // when the latest attempt started
    std::int64_t failCount = 0;              // failed attempts since the last success or reset
    bool inFlight = false;                   // an attempt has started and not finished

    bool operator==(const PartState&) const = default;
};

namespace RetryPolicy {

inline constexpr double kMinRetryInterval = 12.0;
inline constexpr double kBackoffBase = 60.0;
inline constexpr double kBackoffCap = 600.0;
inline constexpr double kDropWindow = 120.0;
inline constexpr double kDropMergeInterval = 8.0;
inline constexpr std::size_t kDropLimit = 3;
inline constexpr double kSlowedRecoverySpacing = 45.0;

// 0 without failures, then 60 s doubling with each further failure, at most 600 s.
double backoff(std::int64_t failCount);

// Whether an automatic attempt may start now for a partition with this record (none: never tried).
bool canAttempt(const PartState* state, Date now);

// Records a loss of the partition's read-write mount at `now` in `drops` (its recent losses,
// oldest first) and says whether recovering it may go ahead: always below three recent losses,
// then only 45 s after the last attempt started.
bool allowRecovery(std::vector<Date>& drops, Date lastAttempt, Date now);

}  // namespace RetryPolicy

}  // namespace drivelark
