#include "requests/pin_guard.h"

#include <algorithm>
#include <random>

namespace lyrvox {

PinGuard::PinGuard(std::string pin, MillisecondClock clock, Rule rule)
    : pin_(std::move(pin)), clock_(std::move(clock)), rule_(rule) {}

std::int64_t PinGuard::waitAfter(int wrong, int scale) const {
    if (wrong >= rule_.lockAfter * scale) return rule_.lockMs;
    const int over = wrong - rule_.freeTries * scale;
    if (over <= 0) return 0;
    const int doublings = std::min(over - 1, 30);
    return std::min(rule_.lockMs, rule_.firstDelayMs << doublings);
}

PinGuard::Tries& PinGuard::triesOf(const std::string& client, std::int64_t nowMs) {
    auto found = clients_.find(client);
    if (found != clients_.end()) return found->second;
    if (clients_.size() >= kMaxClients) {
        // Forgotten: those whose wait is over and who are not yet at the lock.
        std::erase_if(clients_, [&](const auto& entry) {
            return entry.second.notBeforeMs <= nowMs && entry.second.wrong < rule_.lockAfter;
        });
    }
    return clients_[client];
}

PinGuard::Outcome PinGuard::check(const std::string& client, std::string_view given) {
    const std::int64_t now = clock_();
    Tries& tries = triesOf(client, now);
    const std::int64_t notBefore = std::max(tries.notBeforeMs, all_.notBeforeMs);
    if (now < notBefore) return {Verdict::Waiting, notBefore - now};

    unsigned char differ = given.size() == pin_.size() ? 0 : 1;
    for (std::size_t i = 0; i < pin_.size(); ++i)
        differ |= static_cast<unsigned char>(pin_[i] ^ (i < given.size() ? given[i] : '\0'));
    if (differ == 0) {
        tries = {};
        all_ = {};
        return {Verdict::Accepted};
    }
    ++tries.wrong;
    ++all_.wrong;
    tries.notBeforeMs = now + waitAfter(tries.wrong, 1);
    all_.notBeforeMs = now + waitAfter(all_.wrong, rule_.allClients);
    return {Verdict::Wrong, std::max(tries.notBeforeMs, all_.notBeforeMs) - now};
}

std::string randomPin(int digits) {
    std::random_device source;
    std::uniform_int_distribution<int> digit(0, 9);
    std::string pin;
    for (int i = 0; i < digits; ++i) pin += static_cast<char>('0' + digit(source));
    return pin;
}

}  // namespace lyrvox
