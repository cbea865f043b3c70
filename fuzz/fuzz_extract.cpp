// Runs the subcode extraction over arbitrary images, with a stop requested after
// a number of progress reports taken from the input, and checks that the output
// always holds whole 96-byte blocks equal to the images' sector tails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "extract/cdg_extractor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int stopAfter = data[0];  // 255: never stop
    // Grow small inputs to whole sectors so that the copy path runs, not only the
    // length check: repeat the input up to a few sectors.
    std::string image;
    const std::size_t sectors = (size % 5);
    image.reserve(sectors * lyrvox::kSectorSize);
    for (std::size_t i = 0; i < sectors * lyrvox::kSectorSize; ++i)
        image.push_back(static_cast<char>(data[i % size]));
    std::istringstream in(image);
    std::ostringstream out;
    int reports = 0;
    const lyrvox::ExtractResult result = lyrvox::ExtractSubcode(
        in, static_cast<std::int64_t>(image.size()), out, [&](const lyrvox::ExtractProgress& p) {
            if (p.sectorsDone < 0 || p.sectorsDone > p.sectorsTotal) std::abort();
            return stopAfter == 255 || reports++ < stopAfter;
        });
    const std::string written = out.str();
    if (written.size() != static_cast<std::size_t>(result.sectorsWritten) * lyrvox::kSubcodeSize)
        std::abort();
    if (result.sectorsWritten > static_cast<std::int64_t>(sectors)) std::abort();
    for (std::int64_t k = 0; k < result.sectorsWritten; ++k) {
        const std::size_t from =
            static_cast<std::size_t>((k + 1) * lyrvox::kSectorSize - lyrvox::kSubcodeSize);
        if (std::memcmp(written.data() + k * lyrvox::kSubcodeSize, image.data() + from,
                        lyrvox::kSubcodeSize) != 0)
            std::abort();
    }
    if (result.outcome == lyrvox::ExtractOutcome::Completed &&
        result.sectorsWritten != static_cast<std::int64_t>(sectors))
        std::abort();
    return 0;
}
