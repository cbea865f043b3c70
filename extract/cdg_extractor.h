#pragma once
// Extraction of CD+G subcode from CDRWin images read with their subchannel data:
// every 2448-byte sector ends in the 96 bytes of its subcode, which are copied in
// sector order, unchanged, into the output. Plain C++, no Qt.
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

namespace lyrvox {

inline constexpr std::int64_t kSectorSize = 2448;
inline constexpr std::int64_t kSubcodeSize = 96;

struct ExtractProgress {
    std::int64_t sectorsDone = 0;
    std::int64_t sectorsTotal = 0;
};

enum class ExtractOutcome { Completed, Stopped, ReadFailed, WriteFailed };

struct ExtractResult {
    ExtractOutcome outcome = ExtractOutcome::Completed;
    std::int64_t sectorsWritten = 0;  // the output holds 96 * sectorsWritten bytes
};

// Copies the subcode of every sector of `image` (imageLength bytes, a multiple of
// 2448) to `out`. Reads in large blocks. `progress` is called now and then (at
// least every ~50 ms of work and after the last sector); it may request a stop by
// returning false, which ends the run after the sector in hand.
ExtractResult ExtractSubcode(std::istream& image, std::int64_t imageLength, std::ostream& out,
                             const std::function<bool(const ExtractProgress&)>& progress);

}  // namespace lyrvox
