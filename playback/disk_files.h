#pragma once
// The session's real file system and clock: plain C++ over std::filesystem and
// std::chrono::steady_clock.
#include "playback/session_host.h"

namespace lyrvox {

class DiskSessionFiles : public SessionFiles {
public:
    std::optional<std::string> find(const std::string& path) override;
    std::unique_ptr<PacketSource> open(const std::string& path) override;
};

class SteadySessionClock : public SessionClock {
public:
    double Seconds() override;
};

}  // namespace lyrvox
