// The playback session driven through a simulated clock, media control, window and
// disk: companions and status texts, pacing, pause, Stop, the ends of a session,
// and the failures a player must survive.
#include "playback/playback_session.h"

#include <gtest/gtest.h>

#include "tests/session/session_fakes.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

using testing::graphicsBytes;
using Strings = std::vector<std::string>;

class SessionTest : public ::testing::Test {
  protected:
    // Companion names are built from the base name of the chosen file, as the session does.
    static std::string base(const std::string& chosen) { return StripExtension(chosen); }

    void addSong(const std::string& chosen, const Strings& suffixes, std::size_t packets = 0) {
        testing::addSong(files, base(chosen), suffixes, packets);
    }
    void run(const std::string& chosen) { session.DoCDGFile(chosen); }
    int32_t packets() const { return state.machine.PacketCount; }
    // Nothing left running and no file left open.
    bool idleAfterEnd() const { return !state.ProFlag && files.openNow == 0; }

    testing::World world;
    PlayerState state;
    testing::FakeHost host{world, state};
    testing::FakeFiles files;
    PlaybackSession session{state, world.media, host, world, files};
};

// ---- Companions, media commands and status texts ----

TEST_F(SessionTest, GraphicsWithMp3OpensBothByTheirRealNames) {
    const std::string chosen = "/songs/Song.cdg", cdg = base(chosen) + ".Cdg";
    addSong(chosen, {".Cdg", ".mp3"}, 40);
    run(chosen);

    EXPECT_EQ(state.CDGFile, cdg);
    EXPECT_TRUE(state.MP3Flag);
    EXPECT_EQ(host.statuses, (Strings{"Playing: Song.MP3/CDG", "Ready."}));
    EXPECT_EQ(world.media.log,
              (Strings{"Command stop", "Command close", "DeviceType MPEGVideo", "TimeFormat 0",
                       "FileName " + base(chosen) + ".mp3", "Command Open", "Wait false",
                       "Command Play", "Command Stop", "Command Close"}));
    EXPECT_EQ(host.displays, std::vector<bool>{true});
    EXPECT_EQ(packets(), 40);
    EXPECT_TRUE(idleAfterEnd());
    EXPECT_EQ(files.log, (Strings{"open " + cdg, "close " + cdg}));
}

struct CompanionCase {
    const char* chosen;
    Strings suffixes;
    bool alt;
    const char* status;    // after "Playing: "
    const char* graphics;  // suffix of the graphics file played, "" for none
    const char* audio;     // suffix of the audio file opened, "" for none, "*" for the chosen
};

TEST_F(SessionTest, CompanionsDeviceAndStatusFollowTheFilesPresent) {
    const CompanionCase cases[] = {
        {"/songs/song.mp3", {".CDG", ".MP3"}, true, "song.MP3/CDG", ".CDG", ".MP3"},
        {"/songs/duet.cdg", {".cdg", ".rw", ".wav", ".mp3"}, false, "duet.MP3/RW", ".rw", ".mp3"},
        {"/songs/song.cdg", {".cdg"}, false, "song.CDG (only)", ".cdg", ""},
        {"/videos/clip.avi", {}, false, "clip.avi", "", "*"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        testing::World w;
        PlayerState st;
        testing::FakeHost h{w, st};
        testing::FakeFiles f;
        testing::addSong(f, base(c.chosen), c.suffixes, 8);
        w.media.durationMs = 500.0;
        h.alt = c.alt;
        PlaybackSession(st, w.media, h, w, f).DoCDGFile(c.chosen);

        EXPECT_EQ(h.statuses.front(), std::string("Playing: ") + c.status);
        EXPECT_EQ(h.statuses.back(), "Ready.");
        if (*c.graphics) {
            EXPECT_EQ(st.CDGFile, base(c.chosen) + c.graphics);
        }
        EXPECT_EQ(st.machine.PacketCount, *c.graphics ? 8 : 0);
        const std::string audio = std::string(c.audio) == "*" ? c.chosen : base(c.chosen) + c.audio;
        EXPECT_EQ(st.MP3Flag, *c.graphics && *c.audio);
        if (*c.audio) {
            EXPECT_EQ(w.media.log[2], c.alt ? "DeviceType ActiveMovie" : "DeviceType MPEGVideo");
            EXPECT_EQ(w.media.log[4], "FileName " + audio);
        } else {
            EXPECT_EQ(w.media.commands(), (Strings{"stop", "close", "Stop", "Close"}));
        }
    }
}

TEST_F(SessionTest, AudioAloneHidesTheDisplayAndEndsWithTheMedia) {
    addSong("/songs/song.mp3", {".mp3"});
    world.media.durationMs = 10000.0;
    run("/songs/song.mp3");
    EXPECT_EQ(host.statuses, (Strings{"Playing: song.MP3", "Ready."}));
    EXPECT_EQ(host.displays, std::vector<bool>{false});
    EXPECT_NEAR(state.FrameMP3, 3000, 10);               // the elapsed time follows the audio: 10 s
    EXPECT_NEAR(world.nowSeconds - 1000.0, 10.0, 0.05);  // ended within a poll of the end
    EXPECT_EQ(host.stopClicks, 1);
    for (std::size_t i = 1; i < host.waits.size(); ++i) EXPECT_GT(host.waits[i], 0.0);
}

// ---- Pacing ----

class PacingTest : public SessionTest {
  protected:
    void SetUp() override { addSong(chosen, {".cdg", ".mp3"}, 3000); }
    const std::string chosen = "/songs/pace.cdg";
};

TEST_F(PacingTest, OneBatchAheadAtMostAndWaitsInsteadOfSpinning) {
    std::vector<int32_t> counts, frames;
    int idlePasses = 0;
    host.onYield = [&](std::size_t n) {
        if (n > 2 && packets() == counts.back()) ++idlePasses;
        counts.push_back(packets());
        frames.push_back(state.FrameMP3);
    };
    run(chosen);
    ASSERT_GT(counts.size(), 3u);
    EXPECT_EQ(counts[0], 0);  // the yield before the loop
    EXPECT_EQ(counts[1], 4);  // first pass: a batch before any target exists
    for (std::size_t i = 1; i < counts.size(); ++i) {
        EXPECT_LE(counts[i], frames[i] + 4) << "pass " << i;
        EXPECT_LE(counts[i] - counts[i - 1], 4) << "pass " << i;
        EXPECT_GT(host.waits[i], 0.0);
        EXPECT_LE(host.waits[i], PlaybackSession::kMaxWaitMs);
    }
    // 3000 packets at 4 a pass: 750 passes when every wake-up finds a batch due.
    EXPECT_LE(idlePasses, 10);
    EXPECT_EQ(packets(), 3000);
    EXPECT_NEAR(world.nowSeconds - 1000.0, 10.0, 0.05);  // 3000 packets take 10 s of audio
}

TEST_F(PacingTest, FallenBehindGraphicsCatchUpFourPacketsAPassWithoutWaiting) {
    std::vector<int32_t> counts;
    std::vector<double> waits;
    host.onYield = [&](std::size_t n) {
        if (n == 20) world.media.positionMs += 1000.0;  // the audio jumps a second ahead
        if (n > 20 && n < 60) {
            counts.push_back(packets());
            waits.push_back(host.waits.back());
        }
    };
    run(chosen);
    for (std::size_t i = 1; i < counts.size(); ++i) {
        EXPECT_EQ(counts[i] - counts[i - 1], 4);
        EXPECT_EQ(waits[i - 1], 0.0);
    }
}

TEST_F(PacingTest, PauseFreezesTheGraphicsAndContinueResumesThem) {
    std::vector<int32_t> whilePaused;
    host.onYield = [&](std::size_t n) {
        if (n == 100) host.pause();
        if (n > 101 && n < 150) whilePaused.push_back(packets());
        if (n == 150) host.resume();
    };
    run(chosen);
    ASSERT_FALSE(whilePaused.empty());
    EXPECT_EQ(whilePaused.front(), whilePaused.back());
    EXPECT_EQ(packets(), 3000);
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

TEST_F(SessionTest, WithoutAudioTheClockPacesAndPauseKeepsDrawing) {
    addSong("/songs/silent.cdg", {".cdg"}, 600);
    world.nowSeconds = 2000.25;  // StartTime 2000: the graphics start 75 packets ahead
    std::vector<int32_t> frames;
    host.onYield = [&](std::size_t n) {
        frames.push_back(state.FrameMP3);
        if (n == 10) host.pause();
    };
    run("/songs/silent.cdg");
    EXPECT_EQ(state.StartTime, 2000);
    ASSERT_GT(frames.size(), 2u);
    EXPECT_EQ(frames[1], 75);
    EXPECT_EQ(packets(), 600);  // kept going although paused
    EXPECT_NEAR(world.nowSeconds - 2000.25, 2.0 - 0.25, 0.05);
}

TEST(PacingArithmetic, TargetsRoundToNearestWithTiesToEven) {
    EXPECT_EQ(MsPerPacket, 3.3333332538604736f);
    EXPECT_EQ(packetTarget(10000.0), 3000);
    const std::pair<double, int32_t> cases[] = {{2.5, 2},   {3.5, 4},          {-0.5, 0},
                                                {-1.5, -2}, {1e12, INT32_MAX}, {-1e12, INT32_MIN}};
    for (const auto& [in, out] : cases) EXPECT_EQ(roundHalfEven(in), out) << in;
}

// ---- Ends of a session ----

TEST_F(SessionTest, StopEndsTheSessionAtTheNextPass) {
    addSong("/songs/stop.cdg", {".cdg", ".mp3"}, 3000);
    int32_t atStop = -1;
    host.onYield = [&](std::size_t n) {
        if (n != 30) return;
        host.btnStop_Click();
        atStop = packets();
    };
    run("/songs/stop.cdg");
    EXPECT_EQ(packets(), atStop);
    EXPECT_EQ(host.stopClicks, 2);  // the button, then the session's own end
    EXPECT_EQ(host.statuses.back(), "Ready.");
    EXPECT_TRUE(idleAfterEnd());
    EXPECT_EQ(host.waits.size(), 30u);
}

TEST_F(SessionTest, EndSeenOnlyAfterAnEmptyReadEndsAtOnce) {
    addSong("/songs/late.cdg", {".cdg"}, 8);
    files.files["/songs/late.cdg"].lateEnd = true;
    files.files["/songs/late.cdg"].chunk = 7;  // reads come back in pieces
    run("/songs/late.cdg");
    EXPECT_EQ(packets(), 8);
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_TRUE(idleAfterEnd());
}

TEST_F(SessionTest, AudioOnlySessionWaitsWhilePausedAndEndsAfterContinueOrStop) {
    addSong("/songs/song.wav", {".WAV"});
    world.media.durationMs = 2000.0;
    bool endedWhilePaused = false;
    host.onYield = [&](std::size_t n) {
        if (n == 10) host.pause();
        if (n > 10 && n < 200 && !state.ProFlag) endedWhilePaused = true;
        if (n == 200) host.resume();
    };
    run("/songs/song.wav");
    EXPECT_FALSE(endedWhilePaused);
    EXPECT_GT(host.waits.size(), 200u);
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_NEAR(state.FrameMP3, 600, 10);

    host.waits.clear();
    host.onYield = [&](std::size_t n) {
        if (n == 5) host.btnStop_Click();
    };
    world.media.durationMs = 1e12;
    run("/songs/song.wav");
    EXPECT_EQ(host.waits.size(), 5u);
    EXPECT_EQ(host.stopClicks, 3);
}

// ---- Failures the player must survive ----

TEST_F(SessionTest, UnreadableGraphicsFileTellsTheUserAndReturnsToIdle) {
    addSong("/songs/locked.cdg", {".cdg", ".mp3"}, 8);
    files.files["/songs/locked.cdg"].openable = false;
    run("/songs/locked.cdg");
    EXPECT_EQ(host.messages, Strings{"Cannot open the graphics file: /songs/locked.cdg"});
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_FALSE(state.ProFlag);
    EXPECT_FALSE(world.media.playing());
    EXPECT_EQ(packets(), 0);
    EXPECT_EQ(host.waits.size(), 1u);  // no pass ran
}

TEST_F(SessionTest, UnplayableAudioAloneEndsAtOnceAndSaysSo) {
    addSong("/songs/broken.mp3", {".MP3"});
    world.media.unplayable.push_back("/songs/broken.MP3");
    run("/songs/broken.mp3");
    EXPECT_LE(host.waits.size(), 2u);
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_EQ(host.statuses.back(), "Cannot play: broken.MP3");
}

// Audio that cannot be opened, fails midway or ends first: the clock finishes
// the graphics, never jumping back at the hand-over.
TEST_F(SessionTest, AudioThatGivesOutHandsThePacingToTheClock) {
    struct Case {
        bool unplayable;
        std::optional<double> failAtMs;
        double durationMs;
        const char* lastStatus;
    } const cases[] = {{true, {}, 1e12, "Cannot play: song.mp3"},
                       {false, 2000.0, 1e12, "Cannot play: song.mp3"},
                       {false, {}, 2000.0, "Ready."}};
    for (const auto& c : cases) {
        testing::World w;
        PlayerState st;
        testing::FakeHost h{w, st};
        testing::FakeFiles f;
        testing::addSong(f, "/songs/song", {".cdg", ".mp3"}, 1500);  // 5 s of graphics
        if (c.unplayable) w.media.unplayable.push_back("/songs/song.mp3");
        w.media.failAtMs = c.failAtMs;
        w.media.durationMs = c.durationMs;
        std::vector<int32_t> frames;
        h.onYield = [&](std::size_t) { frames.push_back(st.FrameMP3); };
        PlaybackSession(st, w.media, h, w, f).DoCDGFile("/songs/song.cdg");
        EXPECT_EQ(st.machine.PacketCount, 1500) << c.lastStatus;
        EXPECT_NEAR(w.nowSeconds - 1000.0, 5.0, 0.1);
        EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
        EXPECT_EQ(h.statuses.back(), c.lastStatus);
    }
}

TEST_F(SessionTest, PlayInsideTheYieldOfAnEndingSessionOwnsItsOwnFile) {
    addSong("/songs/first.cdg", {".cdg"}, 3000);
    addSong("/songs/second.cdg", {".cdg", ".mp3"}, 200);
    bool nested = false;
    host.onYield = [&](std::size_t n) {
        if (n == 20 && !nested) {
            nested = true;
            host.btnStop_Click();                    // Stop, then Play in the same yield
            session.DoCDGFile("/songs/second.cdg");  // runs to its end inside this yield
            EXPECT_EQ(packets(), 200);
            EXPECT_EQ(files.openNow, 1);  // the first session's file is still its own
        }
    };
    run("/songs/first.cdg");
    EXPECT_EQ(files.log, (Strings{"open /songs/first.cdg", "open /songs/second.cdg",
                                  "close /songs/second.cdg", "close /songs/first.cdg"}));
    EXPECT_EQ(packets(), 200);
    EXPECT_TRUE(idleAfterEnd());
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

}  // namespace
}  // namespace lyrvox
