#pragma once
// Where the request server listens, as `lyrvox --serve [ADDRESS:]PORT` and the
// settings give it: a port of 1024 to 65535, and an IPv4 address, an IPv6 address
// in brackets ("[::1]:8080"), or none (every interface).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lyrvox {

struct ListenAddress {
    std::string host;  // "" for every interface; IPv6 without brackets
    int port = 0;
    bool operator==(const ListenAddress&) const = default;
};

inline constexpr int kMinServerPort = 1024;
inline constexpr int kMaxServerPort = 65535;

// Nullopt, with `why` set, when the text is not such an address.
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string* why = nullptr);

// Takes "--serve ADDRESS" or "--serve=ADDRESS" (the first) out of a command
// line's arguments. Nullopt when there is none; false in `ok` (with `why`) when
// its address is missing or wrong.
std::optional<ListenAddress> takeServeOption(std::vector<std::string>& args, bool& ok,
                                             std::string& why);

}  // namespace lyrvox
