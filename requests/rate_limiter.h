#pragma once
// How often each client may ask: a token bucket per client (its address), of
// `burst` tokens refilled at `perSecond`; each request takes one. The clock is
// given (milliseconds, any steady origin) so that tests can move time. The number
// of clients followed is bounded: once full, the clients whose buckets have
// refilled are forgotten, and a new client is refused while none has.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>

namespace lyrvox {

using MillisecondClock = std::function<std::int64_t()>;

// A steady clock in milliseconds, for the program itself.
MillisecondClock steadyMillisecondClock();

class RateLimiter {
  public:
    struct Rule {
        double burst = 40;      // requests at once
        double perSecond = 10;  // requests a second, sustained
    };
    static constexpr std::size_t kMaxClients = 4096;

    RateLimiter(Rule rule, MillisecondClock clock, std::size_t maxClients = kMaxClients);

    // True (and a token taken) when `client` may make a request now.
    bool allow(const std::string& client);
    // How long until `client` may ask again, in whole seconds (at least 1).
    int retryAfterSeconds(const std::string& client) const;

  private:
    struct Bucket {
        double tokens;
        std::int64_t atMs;
    };
    double refilled(const Bucket& bucket, std::int64_t nowMs) const;
    void forgetFullBuckets(std::int64_t nowMs);

    Rule rule_;
    MillisecondClock clock_;
    std::size_t maxClients_;
    std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace lyrvox
