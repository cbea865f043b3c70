// The smoothed play position against backends that stall, jump, lag or go back.
#include "playback/position_smoother.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lyrvox {
namespace {

TEST(PositionSmoother, FollowsTheClockBetweenReadingsAndNeverGoesBack) {
    PositionSmoother p;
    p.run(1000.0);
    // A backend that only moves every 30 ms: the position still moves every ms.
    double last = 0.0;
    for (int t = 0; t <= 500; ++t) {
        const double backend = (t / 30) * 30.0;
        const double ms = p.read(1000.0 + t, backend);
        EXPECT_GE(ms, last) << "t=" << t;
        EXPECT_LE(std::abs(ms - t), 40.0) << "t=" << t;
        last = ms;
    }
    EXPECT_DOUBLE_EQ(p.read(1500.0, 500.0), 500.0);
}

TEST(PositionSmoother, StallAtTheStartThenJump) {
    PositionSmoother p;
    p.run(0.0);
    double last = 0.0;
    // The backend says 0 for 1.5 s: the position waits within the margin of it.
    for (int t = 0; t < 1500; t += 5) {
        const double ms = p.read(t, 0.0);
        EXPECT_GE(ms, last);
        EXPECT_LE(ms, PositionSmoother::kDefaultResyncMs);
        last = ms;
    }
    // Then it jumps to where the audio really is, and runs on from there.
    EXPECT_DOUBLE_EQ(p.read(1500.0, 1480.0), 1480.0);
    EXPECT_DOUBLE_EQ(p.read(1510.0, 1480.0), 1490.0);
}

TEST(PositionSmoother, BackendBehindHoldsInsteadOfGoingBack) {
    PositionSmoother p;
    p.run(0.0);
    EXPECT_DOUBLE_EQ(p.read(1000.0, 1000.0), 1000.0);
    // The backend corrects itself 100 ms back: the position stands until it catches up.
    EXPECT_DOUBLE_EQ(p.read(1010.0, 910.0), 1000.0);
    EXPECT_DOUBLE_EQ(p.read(1050.0, 950.0), 1000.0);
    EXPECT_DOUBLE_EQ(p.read(1120.0, 1020.0), 1020.0);
}

TEST(PositionSmoother, HaltHoldsRunContinuesAndTheEndStandsStill) {
    PositionSmoother p;
    EXPECT_DOUBLE_EQ(p.read(0.0, 0.0), 0.0);  // halted from the start
    p.run(0.0);
    p.halt(2000.0, 2000.0);
    EXPECT_FALSE(p.running());
    EXPECT_DOUBLE_EQ(p.read(9000.0, 2100.0), 2000.0);
    p.run(9000.0);
    EXPECT_DOUBLE_EQ(p.read(9500.0, 2500.0), 2500.0);
    p.holdAt(2600.0);
    EXPECT_DOUBLE_EQ(p.read(20000.0, 0.0), 2600.0);  // a backend back at 0 changes nothing
    p.holdAt(100.0);                                 // never back
    EXPECT_DOUBLE_EQ(p.read(20000.0, 0.0), 2600.0);
    p.reset();
    EXPECT_DOUBLE_EQ(p.read(20000.0, 0.0), 0.0);
}

}  // namespace
}  // namespace lyrvox
