// Subcode extraction from in-memory images: what is copied, stops and read failures.
#include "extract/cdg_extractor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "support/test_files.h"

namespace lyrvox {
namespace {

// Hands out its bytes, then fails with `error` (0: a plain end) as a bad disk does.
struct FailingReadBuffer : std::stringbuf {
    FailingReadBuffer(const std::string& bytes, int e) : std::stringbuf(bytes), error(e) {}
    int_type underflow() override { return errno = error, traits_type::eof(); }
    int error;
};

// An image stated as `sectors` long gives `bytes`, then fails with `error`; `block` sectors
// are read at once, reporting after each (0: the defaults); a stop after `stopAt`.
TEST(ExtractSubcode, CopiesTheLast96BytesOfEverySectorUntilStopOrFailure) {
    using O = ExtractOutcome;
    struct Case {
        std::int64_t sectors;
        std::size_t bytes = SIZE_MAX;
        int error = 0;
        std::int64_t block = 0, stopAt = -1;
        ExtractOutcome outcome = O::Completed;
        std::int64_t written = sectors;
    };
    std::vector<Case> cases = {
        {.sectors = 1},
        {.sectors = 10, .block = 3},  // a short last block
        {.sectors = 1000},
        {.sectors = 9, .block = 4, .stopAt = 9},             // nothing left to stop
        {6, 3 * 2448 + 1000, EIO, 2, -1, O::ReadFailed, 3},  // whole blocks only
        {3, 2 * 2448, 0, 1, -1, O::ReadFailed, 2},  // shorter than stated: no system reason
    };
    for (std::int64_t k : {1, 3, 4, 8}) cases.push_back({9, SIZE_MAX, 0, 4, k, O::Stopped, k});
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases.data());
        const std::string image = testing::makeImage(c.sectors, 5);
        FailingReadBuffer buffer(image.substr(0, c.bytes), c.error);
        std::istream in(&buffer);
        std::ostringstream out;
        std::vector<std::int64_t> reports;
        ExtractOptions options;
        if (c.block > 0) options = {.progressInterval = {}, .blockSectors = c.block};
        const auto progress = [&](const ExtractProgress& p) {
            reports.push_back(p.sectorsDone);
            return p.sectorsDone != c.stopAt;
        };
        const ExtractResult result = ExtractSubcode(in, c.sectors * 2448, out, progress, options);
        EXPECT_EQ(std::tuple(result.outcome, result.sectorsWritten, result.error.value()),
                  std::tuple(c.outcome, c.written, c.error));
        EXPECT_EQ(out.str(), testing::expectedSubcode(image, c.written));
        EXPECT_EQ(reports.empty() ? -1 : reports.back(), c.written);  // one after the last
        EXPECT_EQ(std::ssize(reports), c.block ? c.written : std::ssize(reports));  // each sector
    }
}

}  // namespace
}  // namespace lyrvox
