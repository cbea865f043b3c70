#pragma once
// The session's real file system and clock: plain C++ over the C library and
// std::chrono::steady_clock.
#include <cstdio>

#include "playback/session_host.h"

namespace lyrvox {

// A graphics file read sequentially through a buffered C stream. The end test
// looks ahead one byte, so it reports the end before a read comes back empty.
class DiskPacketSource : public PacketSource {
  public:
    explicit DiskPacketSource(std::FILE* file) : file_(file) {}
    ~DiskPacketSource() override;
    DiskPacketSource(const DiskPacketSource&) = delete;
    DiskPacketSource& operator=(const DiskPacketSource&) = delete;

    std::size_t read(uint8_t* buffer, std::size_t size) override;
    bool atEnd() override;

  private:
    std::FILE* file_;
};

class DiskSessionFiles : public SessionFiles {
  public:
    // Zips are unpacked into folders inside `scratchRoot` (see ScratchSpace).
    explicit DiskSessionFiles(std::string scratchRoot = ScratchSpace::defaultRoot())
        : scratch_(std::move(scratchRoot)) {}
    // Through findFileIgnoreCase: an ordinary file, letter case ignored.
    std::optional<std::string> find(const std::string& path) override;
    // nullptr unless `path` is a regular file that can be opened for reading.
    std::unique_ptr<PacketSource> open(const std::string& path) override;
    UnpackedSong unpackZip(const std::string& path) override;

  private:
    ScratchSpace scratch_;
};

class SteadySessionClock : public SessionClock {
  public:
    double seconds() override;
};

}  // namespace lyrvox
