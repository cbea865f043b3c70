#include "requests/rate_limiter.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace lyrvox {

MillisecondClock steadyMillisecondClock() {
    return [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

RateLimiter::RateLimiter(Rule rule, MillisecondClock clock, std::size_t maxClients)
    : rule_(rule), clock_(std::move(clock)), maxClients_(maxClients) {}

double RateLimiter::refilled(const Bucket& bucket, std::int64_t nowMs) const {
    const double elapsed = static_cast<double>(std::max<std::int64_t>(0, nowMs - bucket.atMs));
    return std::min(rule_.burst, bucket.tokens + elapsed * rule_.perSecond / 1000.0);
}

void RateLimiter::forgetFullBuckets(std::int64_t nowMs) {
    std::erase_if(buckets_,
                  [&](const auto& entry) { return refilled(entry.second, nowMs) >= rule_.burst; });
}

bool RateLimiter::allow(const std::string& client) {
    const std::int64_t now = clock_();
    auto found = buckets_.find(client);
    if (found == buckets_.end()) {
        if (buckets_.size() >= maxClients_) forgetFullBuckets(now);
        if (buckets_.size() >= maxClients_) return false;
        found = buckets_.emplace(client, Bucket{rule_.burst, now}).first;
    }
    Bucket& bucket = found->second;
    bucket.tokens = refilled(bucket, now);
    bucket.atMs = now;
    if (bucket.tokens < 1.0) return false;
    bucket.tokens -= 1.0;
    return true;
}

int RateLimiter::retryAfterSeconds(const std::string& client) const {
    const auto found = buckets_.find(client);
    if (found == buckets_.end() || rule_.perSecond <= 0) return 1;
    const double missing = 1.0 - refilled(found->second, clock_());
    return std::max(1, static_cast<int>(std::ceil(missing / rule_.perSecond)));
}

}  // namespace lyrvox
