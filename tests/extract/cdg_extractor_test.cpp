#include "extract/cdg_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <streambuf>
#include <vector>

#include "tests/extract/temp_folder.h"

namespace lyrvox {
namespace {

using testing::expectedSubcode;
using testing::makeImage;

struct ExtractRun {
    ExtractResult result;
    std::string output;
    std::vector<ExtractProgress> reports;
};

// Extracts from an in-memory image; stopAt > 0 asks for a stop once that many
// sectors are done.
ExtractRun extract(const std::string& image, std::int64_t stopAt = 0, ExtractOptions options = {},
                   std::optional<std::int64_t> length = std::nullopt) {
    ExtractRun run;
    std::istringstream in(image);
    std::ostringstream out;
    run.result = ExtractSubcode(
        in, length.value_or(static_cast<std::int64_t>(image.size())), out,
        [&](const ExtractProgress& p) {
            run.reports.push_back(p);
            return stopAt == 0 || p.sectorsDone < stopAt;
        },
        options);
    run.output = out.str();
    return run;
}

ExtractOptions everySector(std::int64_t blockSectors = 428) {
    ExtractOptions options;
    options.progressInterval = std::chrono::nanoseconds::zero();
    options.blockSectors = blockSectors;
    return options;
}

TEST(ExtractSubcode, CopiesTheLast96BytesOfEverySectorInOrder) {
    const std::string one = makeImage(1);
    ExtractRun run = extract(one);
    EXPECT_EQ(run.output, one.substr(2448 - 96));
    ASSERT_EQ(run.reports.size(), 1u);  // the report after the last sector
    EXPECT_EQ(run.reports[0].sectorsDone, 1);
    EXPECT_EQ(run.reports[0].sectorsTotal, 1);

    // Several blocks, the last one short; then the default block size and interval.
    for (const auto& [sectors, options] : {std::pair{std::int64_t{10}, everySector(3)},
                                           std::pair{std::int64_t{1000}, ExtractOptions{}}}) {
        const std::string image = makeImage(sectors, 5);
        run = extract(image, 0, options);
        EXPECT_EQ(run.result.outcome, ExtractOutcome::Completed);
        EXPECT_EQ(run.result.sectorsWritten, sectors);
        EXPECT_EQ(run.output, expectedSubcode(image, sectors));
        ASSERT_FALSE(run.reports.empty());
        EXPECT_EQ(run.reports.back().sectorsDone, sectors);
    }
    run = extract(makeImage(10), 0, everySector(3));
    ASSERT_EQ(run.reports.size(), 10u);  // one per sector
    for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(run.reports[i].sectorsDone, std::int64_t(i) + 1);
}

TEST(ExtractSubcode, StopLeavesExactlyTheSectorsDone) {
    const std::string image = makeImage(9, 2);
    for (std::int64_t k : {1, 3, 4, 8, 9}) {
        ExtractRun run = extract(image, k, everySector(4));
        // A stop after the last sector has nothing left to stop.
        EXPECT_EQ(run.result.outcome, k < 9 ? ExtractOutcome::Stopped : ExtractOutcome::Completed);
        EXPECT_EQ(run.result.sectorsWritten, k);
        EXPECT_EQ(run.output, expectedSubcode(image, k)) << k;
    }
}

// Hands out `limit` bytes of the data, then fails as a bad disk would.
class FailingReadBuffer : public std::streambuf {
  public:
    FailingReadBuffer(std::string data, std::size_t limit) : data_(std::move(data)) {
        setg(data_.data(), data_.data(), data_.data() + std::min(limit, data_.size()));
    }

  protected:
    int_type underflow() override {
        errno = EIO;
        return traits_type::eof();
    }

  private:
    std::string data_;
};

TEST(ExtractSubcode, ReadFailuresAreReportedWithWholeBlocksOnly) {
    const std::string image = makeImage(6, 4);
    FailingReadBuffer buffer(image, 2448 * 3 + 1000);
    std::istream in(&buffer);
    std::ostringstream out;
    const ExtractResult result = ExtractSubcode(
        in, static_cast<std::int64_t>(image.size()), out,
        [](const ExtractProgress&) { return true; }, everySector(2));
    EXPECT_EQ(result.outcome, ExtractOutcome::ReadFailed);
    EXPECT_EQ(result.error, std::error_code(EIO, std::generic_category()));
    EXPECT_EQ(result.sectorsWritten, 3);
    EXPECT_EQ(out.str(), expectedSubcode(image, 3));

    // An image shorter than its stated length: no system reason, just too little.
    ExtractRun run = extract(makeImage(2), 0, {}, 3 * 2448);
    EXPECT_EQ(run.result.outcome, ExtractOutcome::ReadFailed);
    EXPECT_FALSE(run.result.error);
    EXPECT_EQ(run.output.size() % 96, 0u);
}

TEST(ExtractSubcode, WriteFailuresAreReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    const std::string image = makeImage(500);
    std::istringstream in(image);
    std::ofstream out("/dev/full", std::ios::binary);
    ASSERT_TRUE(out.is_open());
    const ExtractResult result = ExtractSubcode(in, static_cast<std::int64_t>(image.size()), out,
                                                [](const ExtractProgress&) { return true; });
    EXPECT_EQ(result.outcome, ExtractOutcome::WriteFailed);
    EXPECT_EQ(result.error, std::error_code(ENOSPC, std::generic_category()));
}

}  // namespace
}  // namespace lyrvox
