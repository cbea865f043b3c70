#pragma once
// The host's PIN and the limit on guessing it. Each client (its address) may get
// a few wrong; after that every further try waits twice as long as the one
// before, and after `lockAfter` wrong in a row the client is locked out for
// `lockMs`. All clients together are held to the same rule with `allClients`
// times the numbers, so that many addresses do not multiply the guesses. A try
// made while waiting is refused without being compared. The right PIN clears the
// client's count. PINs are compared in time that does not depend on where they
// differ.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "requests/rate_limiter.h"

namespace lyrvox {

class PinGuard {
  public:
    struct Rule {
        int freeTries = 3;
        std::int64_t firstDelayMs = 1000;
        int lockAfter = 10;
        std::int64_t lockMs = 5 * 60 * 1000;
        int allClients = 5;  // the whole server's limits, in multiples of one client's
    };
    enum class Verdict { Accepted, Wrong, Waiting };
    struct Outcome {
        Verdict verdict;
        std::int64_t retryAfterMs = 0;  // with Waiting (and Wrong, when a wait begins)
    };
    static constexpr std::size_t kMaxClients = 4096;

    PinGuard(std::string pin, MillisecondClock clock)
        : PinGuard(std::move(pin), std::move(clock), Rule{}) {}
    PinGuard(std::string pin, MillisecondClock clock, Rule rule);

    Outcome check(const std::string& client, std::string_view given);
    const std::string& pin() const { return pin_; }

  private:
    struct Tries {
        int wrong = 0;
        std::int64_t notBeforeMs = 0;
    };
    // The wait after `wrong` wrong tries under limits scaled by `scale`.
    std::int64_t waitAfter(int wrong, int scale) const;
    Tries& triesOf(const std::string& client, std::int64_t nowMs);

    std::string pin_;
    MillisecondClock clock_;
    Rule rule_;
    std::unordered_map<std::string, Tries> clients_;
    Tries all_;
};

// A PIN of `digits` decimal digits from the system's random source.
std::string randomPin(int digits = 6);

}  // namespace lyrvox
