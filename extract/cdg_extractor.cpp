#include "extract/cdg_extractor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace lyrvox {
namespace {

using Clock = std::chrono::steady_clock;

// With a non-zero interval the clock is read once per this many sectors (about
// 80 KB of copying, microseconds of work), which keeps the reads of the clock
// out of the profile.
constexpr std::int64_t kSectorsPerClockCheck = 32;

// errno after a failed stream operation, when the library left one.
std::error_code lastSystemError() {
    const int e = errno;
    return e != 0 ? std::error_code(e, std::generic_category()) : std::error_code();
}

// Writes the collected subcode blocks; false (with the reason) on failure.
bool writeBlocks(std::ostream& out, const std::vector<char>& blocks, std::int64_t count,
                 std::error_code& error) {
    if (count == 0) return true;
    errno = 0;
    out.write(blocks.data(), static_cast<std::streamsize>(count * kSubcodeSize));
    if (out) return true;
    error = lastSystemError();
    if (!error) error = std::make_error_code(std::errc::io_error);
    return false;
}

}  // namespace

ExtractResult ExtractSubcode(std::istream& image, std::int64_t imageLength, std::ostream& out,
                             const std::function<bool(const ExtractProgress&)>& progress,
                             const ExtractOptions& options) {
    ExtractResult result;
    if (imageLength < 0 || imageLength % kSectorSize != 0) {
        result.outcome = ExtractOutcome::InvalidLength;
        return result;
    }
    const std::int64_t total = imageLength / kSectorSize;
    const std::int64_t blockSectors = std::clamp<std::int64_t>(options.blockSectors, 1, 1 << 16);
    const bool everySector = options.progressInterval <= std::chrono::nanoseconds::zero();

    std::vector<char> sectors(
        static_cast<std::size_t>(std::min(blockSectors, total) * kSectorSize));
    std::vector<char> blocks(
        static_cast<std::size_t>(std::min(blockSectors, total) * kSubcodeSize));
    auto lastReport = Clock::now();
    std::int64_t done = 0;

    bool stopped = false;
    while (done < total && !stopped) {
        const std::int64_t wanted = std::min(blockSectors, total - done);
        errno = 0;
        image.read(sectors.data(), static_cast<std::streamsize>(wanted * kSectorSize));
        const std::int64_t got = static_cast<std::int64_t>(image.gcount()) / kSectorSize;
        const bool readFailed = got < wanted;
        if (readFailed) result.error = lastSystemError();

        std::int64_t pending = 0;  // blocks collected in `blocks`, not yet written
        for (std::int64_t i = 0; i < got && !stopped; ++i) {
            std::memcpy(blocks.data() + pending * kSubcodeSize,
                        sectors.data() + i * kSectorSize + (kSectorSize - kSubcodeSize),
                        static_cast<std::size_t>(kSubcodeSize));
            ++pending;
            ++done;
            const bool last = done == total;
            if (!everySector && !last && done % kSectorsPerClockCheck != 0) continue;
            if (!everySector && !last && Clock::now() - lastReport < options.progressInterval) {
                continue;
            }
            // The sector in hand is collected; a stop ends the run with it included.
            stopped = progress && !progress({done, total});
            lastReport = Clock::now();  // the caller's time is not our work
        }
        if (!writeBlocks(out, blocks, pending, result.error)) {
            result.outcome = ExtractOutcome::WriteFailed;
            return result;
        }
        result.sectorsWritten = done;
        if (readFailed && !stopped) {
            result.outcome = ExtractOutcome::ReadFailed;
            return result;
        }
    }

    errno = 0;
    out.flush();
    if (!out) {
        result.outcome = ExtractOutcome::WriteFailed;
        result.error = lastSystemError();
        if (!result.error) result.error = std::make_error_code(std::errc::io_error);
        return result;
    }
    result.outcome =
        (stopped && done < total) ? ExtractOutcome::Stopped : ExtractOutcome::Completed;
    return result;
}

}  // namespace lyrvox
