#include "engine/retry_policy.h"

#include <algorithm>
#include <cmath>

namespace drivelark::RetryPolicy {

double backoff(std::int64_t failCount) {
    if (failCount < 1) return 0.0;
    // 2^9 already exceeds the cap: keep the exponent small for counts that grow without bound.
    double exponent = static_cast<double>(std::min<std::int64_t>(failCount - 1, 16));
    return std::min(kBackoffBase * std::pow(2.0, exponent), kBackoffCap);
}

bool canAttempt(const PartState* state, Date now) {
    if (state == nullptr) return true;
    if (state->inFlight) return false;
    return backoff(state->failCount) + kMinRetryInterval <= now.secondsSince(state->lastAttempt);
}

bool allowRecovery(std::vector<Date>& drops, Date lastAttempt, Date now) {
    std::erase_if(drops, [now](Date drop) { return !(now.secondsSince(drop) < kDropWindow); });
    if (drops.empty() || now.secondsSince(drops.back()) > kDropMergeInterval) drops.push_back(now);
    return drops.size() < kDropLimit || now.secondsSince(lastAttempt) >= kSlowedRecoverySpacing;
}

}  // namespace drivelark::RetryPolicy
