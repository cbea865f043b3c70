// The frame-time rule: which packet count each video frame shows.
#include <gtest/gtest.h>

#include "video/frame_time.h"

namespace lyrvox {
namespace {

struct FrameCase {
    int fps;
    int tempo;
    int offsetMs;
    int64_t frame;
    int64_t packets;
};

class FrameTimeTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameTimeTest, ShowsThePacketCountAtTheFramesSongTime) {
    const FrameCase& c = GetParam();
    EXPECT_EQ(framePacketCount(c.frame, c.fps, c.tempo, c.offsetMs), c.packets);
}

INSTANTIATE_TEST_SUITE_P(
    FrameRates, FrameTimeTest,
    ::testing::Values(
        // At the song's own pace a frame is 300 / fps packets on.
        FrameCase{30, 100, 0, 0, 0}, FrameCase{30, 100, 0, 1, 10}, FrameCase{30, 100, 0, 30, 300},
        FrameCase{25, 100, 0, 1, 12}, FrameCase{25, 100, 0, 25, 300}, FrameCase{50, 100, 0, 1, 6},
        FrameCase{50, 100, 0, 7, 42}, FrameCase{60, 100, 0, 1, 5}, FrameCase{60, 100, 0, 59, 295},
        // Three hours in: no drift, no overflow.
        FrameCase{30, 100, 0, 324000, 3240000}, FrameCase{60, 100, 0, 648001, 3240005}));

INSTANTIATE_TEST_SUITE_P(
    Tempos, FrameTimeTest,
    ::testing::Values(
        // Graphics follow the song's time: at 80% a video second shows 0.8 song seconds.
        FrameCase{30, 80, 0, 1, 8}, FrameCase{30, 80, 0, 30, 240}, FrameCase{25, 90, 0, 1, 11},
        FrameCase{25, 90, 0, 5, 54}, FrameCase{30, 120, 0, 30, 360},
        // Halves round to even, as the player's target does: 7.5 -> 8, 22.5 -> 22.
        FrameCase{60, 150, 0, 1, 8}, FrameCase{60, 150, 0, 3, 22}, FrameCase{60, 110, 0, 1, 6},
        FrameCase{60, 110, 0, 3, 16}, FrameCase{50, 50, 0, 1, 3}, FrameCase{50, 50, 0, 3, 9}));

INSTANTIATE_TEST_SUITE_P(
    Offsets, FrameTimeTest,
    ::testing::Values(
        // A positive offset draws later than the sound; never before the first packet.
        FrameCase{30, 100, 100, 0, 0}, FrameCase{30, 100, 100, 3, 0},
        FrameCase{30, 100, 100, 10, 70}, FrameCase{30, 100, -100, 0, 30},
        FrameCase{25, 100, -40, 1, 24}, FrameCase{30, 80, 50, 30, 225}, FrameCase{30, 100, 5, 0, 0},
        FrameCase{30, 100, -5, 0, 2}));

struct CoverCase {
    int64_t outputNs;
    int fps;
    int64_t frames;
};

class FramesCoveringTest : public ::testing::TestWithParam<CoverCase> {};

TEST_P(FramesCoveringTest, TheLastFrameStartsBeforeTheEnd) {
    const CoverCase& c = GetParam();
    EXPECT_EQ(framesCovering(c.outputNs, c.fps), c.frames);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, FramesCoveringTest,
    ::testing::Values(CoverCase{0, 30, 0}, CoverCase{1, 30, 1}, CoverCase{1'000'000'000, 30, 30},
                      CoverCase{1'000'000'001, 30, 31}, CoverCase{150'050'000'000, 30, 4502},
                      CoverCase{150'050'000'000, 25, 3752}, CoverCase{40'000'000, 25, 1},
                      CoverCase{40'000'001, 25, 2}, CoverCase{10'800'000'000'000, 60, 648000}));

TEST(OutputTime, TempoStretchesTheSong) {
    EXPECT_EQ(outputNsForSong(3'000'000'000, 100), 3'000'000'000);
    EXPECT_EQ(outputNsForSong(3'000'000'000, 80), 3'750'000'000);
    EXPECT_EQ(outputNsForSong(3'000'000'000, 150), 2'000'000'000);
    EXPECT_EQ(outputNsForSong(10'800'000'000'000, 50), 21'600'000'000'000);
}

}  // namespace
}  // namespace lyrvox
