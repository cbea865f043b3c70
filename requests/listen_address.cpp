#include "requests/listen_address.h"

#include <arpa/inet.h>

namespace lyrvox {

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string* why) {
    const auto refuse = [why](std::string reason) -> std::optional<ListenAddress> {
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    ListenAddress address;
    std::string_view port = text;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        port = text.substr(colon + 1);
        bool v6 = false;
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
            v6 = true;
        }
        const std::string name(host);
        unsigned char bytes[16];
        if (name.empty() || ::inet_pton(v6 ? AF_INET6 : AF_INET, name.c_str(), bytes) != 1)
            return refuse("the address must be an IP address (IPv6 in brackets: [::1]:8080)");
        address.host = name;
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos)
        return refuse("the port must be a number from 1024 to 65535");
    address.port = std::stoi(std::string(port));
    if (address.port < kMinServerPort || address.port > kMaxServerPort)
        return refuse("the port must be a number from 1024 to 65535");
    return address;
}

std::optional<ListenAddress> takeServeOption(std::vector<std::string>& args, bool& ok,
                                             std::string& why) {
    ok = true;
    for (auto at = args.begin(); at != args.end(); ++at) {
        if (*at == "--") break;  // songs from here on
        const bool joined = at->starts_with("--serve=");
        if (*at != "--serve" && !joined) continue;
        const bool hasValue = joined || at + 1 != args.end();
        const std::string text = joined ? at->substr(8) : hasValue ? *(at + 1) : std::string();
        std::optional<ListenAddress> address = parseListenAddress(text, &why);
        ok = address.has_value();
        args.erase(at, joined || !hasValue ? at + 1 : at + 2);
        return address;
    }
    return std::nullopt;
}

}  // namespace lyrvox
