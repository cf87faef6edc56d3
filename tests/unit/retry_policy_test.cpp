#include "engine/retry_policy.h"

#include <gtest/gtest.h>

#include <tuple>

namespace drivelark::RetryPolicy {

constexpr double kNow = 1740838029.0;
static Date ago(double seconds) { return Date{kNow - seconds}; }

TEST(RetryPolicyTest, BackoffAndTheAttemptGateAtTheirBoundaries) {
    for (auto [failures, seconds] : std::vector<std::pair<std::int64_t, double>>{
             {0, 0}, {1, 60}, {2, 120}, {3, 240}, {4, 480}, {5, 600}, {7, 600}, {1LL << 62, 600}})
        EXPECT_EQ(backoff(failures), seconds) << failures;

    // The state of a partition, and whether it may try now.
    for (const auto& [state, allowed] : std::vector<std::pair<PartState, bool>>{
             {{ago(3600), 0, true}, false}, {{ago(11.9), 0, false}, false}, {{ago(12.0), 0, false}, true},
             {{ago(71), 1, false}, false},  {{ago(72), 1, false}, true},    {{ago(611.9), 7, false}, false},
             {{ago(612), 7, false}, true},  {{Date::distantPast(), 9, false}, true}})
        EXPECT_EQ(canAttempt(&state, Date{kNow}), allowed) << kNow - state.lastAttempt.secondsSince1970;
    EXPECT_TRUE(canAttempt(nullptr, Date{kNow}));  // the first attempt is never delayed
}

// The losses so far and the last attempt, in seconds ago; the losses recorded after this one, and
// whether recovering may go ahead.
TEST(RetryPolicyTest, DropThrottleMergesForgetsAndSlows) {
    using Case = std::tuple<std::vector<double>, double, std::vector<double>, bool>;
    for (const auto& [dropsAgo, lastAttemptAgo, afterAgo, allowed] : std::vector<Case>{
             {{}, 0, {0}, true},
             {{10, 5}, 0, {10, 5}, true},          // within the merge interval of the last loss
             {{10, 8.0}, 0, {10, 8.0}, true},      // exactly 8.0 s: still merged
             {{10, 8.5}, 0, {10, 8.5, 0}, false},  // three losses and an attempt just now
             {{100, 50, 20}, 44.9, {100, 50, 20, 0}, false},
             {{100, 50, 20}, 45, {100, 50, 20, 0}, true},
             {{130, 125}, 0, {0}, true},           // too old to count
             {{120, 30}, 0, {30, 0}, true},        // exactly 120 s old is gone
         }) {
        SCOPED_TRACE(::testing::PrintToString(dropsAgo) + ", last attempt " + std::to_string(lastAttemptAgo));
        std::vector<Date> drops, expected;
        for (double seconds : dropsAgo) drops.push_back(ago(seconds));
        for (double seconds : afterAgo) expected.push_back(ago(seconds));
        EXPECT_EQ(allowRecovery(drops, ago(lastAttemptAgo), Date{kNow}), allowed);
        EXPECT_EQ(drops, expected);
    }
}

}  // namespace drivelark::RetryPolicy
