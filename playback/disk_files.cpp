#include "playback/disk_files.h"

namespace lyrvox {
// Placeholder; filled in by its own change.
std::optional<std::string> DiskSessionFiles::find(const std::string&) { return std::nullopt; }
std::unique_ptr<PacketSource> DiskSessionFiles::open(const std::string&) { return nullptr; }
double SteadySessionClock::Seconds() { return 0.0; }
}  // namespace lyrvox
