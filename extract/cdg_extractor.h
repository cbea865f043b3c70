#pragma once
// Extraction of CD+G subcode from CDRWin images read with their subchannel data:
// every 2448-byte sector ends in the 96 bytes of its subcode, which are copied in
// sector order, unchanged, into the output. Plain C++, no Qt.
#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <system_error>

namespace lyrvox {

inline constexpr std::int64_t kSectorSize = 2448;
inline constexpr std::int64_t kSubcodeSize = 96;

struct ExtractProgress {
    std::int64_t sectorsDone = 0;
    std::int64_t sectorsTotal = 0;
};

enum class ExtractOutcome { Completed, Stopped, InvalidLength, ReadFailed, WriteFailed };

struct ExtractResult {
    ExtractOutcome outcome = ExtractOutcome::Completed;
    std::int64_t sectorsWritten = 0;  // the output holds 96 * sectorsWritten bytes
    // The system's reason for a read or write failure when it gave one; empty
    // for a read that simply ran out of data (the image is shorter than claimed).
    std::error_code error;
};

struct ExtractOptions {
    // Longest stretch of work between two progress calls. Zero calls progress
    // after every sector (tests use that to stop at an exact sector).
    std::chrono::nanoseconds progressInterval = std::chrono::milliseconds(50);
    // Sectors read at once: about 1 MB, small enough that one read from a slow
    // drive stays within the progress interval, large enough to read at the
    // speed of the page cache.
    std::int64_t blockSectors = 428;
};

// Copies the subcode of every sector of `image` (imageLength bytes from its
// current position, a multiple of 2448) to `out`. `progress` is called at least
// every options.progressInterval of work and after the last sector, always right
// after a whole sector; returning false stops the run there, and the output then
// holds exactly the sectors done so far. A length that is negative or not a
// multiple of 2448 gives InvalidLength and writes nothing. An empty `progress`
// is allowed.
ExtractResult ExtractSubcode(std::istream& image, std::int64_t imageLength, std::ostream& out,
                             const std::function<bool(const ExtractProgress&)>& progress,
                             const ExtractOptions& options = {});

}  // namespace lyrvox
