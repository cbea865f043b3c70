// The playback session in a simulated world (clock, media, window, in-memory
// disk): the song's files and status line, pacing, pause, Stop, the ends of a
// session and the failures it must survive; and the smoothed media position.
#include "playback/playback_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "playback/media/position_smoother.h"
#include "playback/song_files.h"
#include "support/session_world.h"

namespace lyrvox {
namespace {

using Strings = std::vector<std::string>;
using testing::FakeFiles;

TEST(SongFiles, PartnersAndStatusFollowTheFilesPresent) {
    struct Case {
        const char* chosen;
        const char* base;  // of the files present
        Strings suffixes;
        const char* graphics;  // real names expected, "" for none
        const char* audio;
        bool audioPaces;
        const char* status;
    } const cases[] = {
        {"/s/song.mp3",
         "/s/song",
         {".CDG", ".MP3"},
         "/s/song.CDG",
         "/s/song.MP3",
         true,
         "Playing: song.MP3/CDG"},
        {"/s/duet.cdg",
         "/s/duet",
         {".cdg", ".rw", ".wav", ".mp3"},
         "/s/duet.rw",
         "/s/duet.mp3",
         true,
         "Playing: duet.MP3/RW"},
        {"/s/HIT.cdg",
         "/s/hit",
         {".Cdg", ".wAv"},
         "/s/hit.Cdg",
         "/s/hit.wAv",
         true,
         "Playing: HIT.WAV/CDG"},
        {"/s/song.cdg", "/s/song", {".cdg"}, "/s/song.cdg", "", false, "Playing: song.CDG (only)"},
        {"/s/song.wav", "/s/song", {".wav"}, "", "/s/song.wav", true, "Playing: song.WAV"},
        {"/v/clip.avi", "/v/clip", {}, "", "/v/clip.avi", false, "Playing: clip.avi"},
        {"/my.songs/v1.2/hit.cdg",
         "/my.songs/v1.2/hit",
         {".cdg", ".mp3"},
         "/my.songs/v1.2/hit.cdg",
         "/my.songs/v1.2/hit.mp3",
         true,
         "Playing: hit.MP3/CDG"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        FakeFiles files;
        files.addSong(c.base, c.suffixes, 1);
        const SongFiles song = findSongFiles(c.chosen, files);
        EXPECT_EQ(song.graphics, c.graphics);
        EXPECT_EQ(song.audio, c.audio);
        EXPECT_EQ(song.audioPaces, c.audioPaces);
        EXPECT_EQ(playingStatus(c.chosen, song), c.status);
    }
}

class SessionTest : public ::testing::Test {
  protected:
    // Plays `chosen`, recording packets and target at every serving; `at` runs
    // inside the n-th serving (from 1), as the events served there would.
    void play(const std::string& chosen, std::function<void(std::size_t)> at = {}) {
        host.onServe = [this, at](std::size_t n) {
            counts.push_back(packets());
            targets.push_back(state.targetPacket);
            if (at) at(n);
        };
        session.play(chosen, false);
    }
    int32_t packets() const { return state.machine.PacketCount; }
    // Nothing left running and no file left open.
    bool idle() const { return !state.sessionRunning && files.openNow == 0; }

    testing::World world;
    PlayerState state;
    testing::FakeHost host{world, state};
    FakeFiles files;
    PlaybackSession session{state, world.media, host, world, files};
    std::vector<int32_t> counts, targets;  // per serving
};

TEST_F(SessionTest, GraphicsWithAudioPlaysBothByTheirRealNames) {
    files.addSong("/songs/Song", {".Cdg", ".mp3"}, 40);
    session.play("/songs/Song.cdg", true);
    EXPECT_EQ(world.media.calls,
              (Strings{"stop", "close", "open /songs/Song.mp3 alt", "play", "stop", "close"}));
    EXPECT_EQ(host.statuses, (Strings{"Playing: Song.MP3/CDG", "Ready."}));
    EXPECT_EQ(host.displays, std::vector<bool>{true});
    EXPECT_EQ(packets(), 40);
    EXPECT_EQ(state.graphicsFile, "/songs/Song.Cdg");
    EXPECT_EQ(files.log, (Strings{"open /songs/Song.Cdg", "close /songs/Song.Cdg"}));
    EXPECT_EQ(host.ends, 1);
    EXPECT_TRUE(idle());
}

TEST_F(SessionTest, AudioAloneHidesTheDisplayAndEndsWithTheMedia) {
    files.addSong("/songs/song", {".mp3"}, 0);
    world.media.durationMs = 10000.0;
    play("/songs/song.mp3");
    EXPECT_EQ(world.media.calls,
              (Strings{"stop", "close", "open /songs/song.mp3", "play", "stop", "close"}));
    EXPECT_EQ(host.statuses, (Strings{"Playing: song.MP3", "Ready."}));
    EXPECT_EQ(host.displays, std::vector<bool>{false});
    EXPECT_NEAR(state.targetPacket, 3000, 10);  // the elapsed time follows the audio
    EXPECT_NEAR(world.now - 1000.0, 10.0, PlaybackSession::kStatePollMs / 1000.0);
    EXPECT_EQ(host.ends, 1);
    for (std::size_t i = 1; i < host.waits.size(); ++i) EXPECT_GT(host.waits[i], 0.0);
}

TEST_F(SessionTest, AudioPacesOneBatchAheadAtMostAndWaitsInsteadOfSpinning) {
    files.addSong("/songs/pace", {".cdg", ".mp3"}, 3000);
    play("/songs/pace.cdg");
    ASSERT_GT(counts.size(), 3u);
    EXPECT_EQ(counts[1], 4);  // first pass: one batch before any target exists
    int idlePasses = 0;
    for (std::size_t i = 1; i < counts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(counts[i], targets[i] + kPacketsPerBatch);
        EXPECT_LE(counts[i] - counts[i - 1], kPacketsPerBatch);
        EXPECT_GT(host.waits[i], 0.0);
        EXPECT_LE(host.waits[i], PlaybackSession::kMaxWaitMs);
        idlePasses += counts[i] == counts[i - 1];
    }
    EXPECT_LE(idlePasses, 10);  // almost every wake-up finds its batch due
    EXPECT_EQ(packets(), 3000);
    EXPECT_NEAR(world.now - 1000.0, 10.0, 0.05);  // 3000 packets take 10 s of audio
}

TEST_F(SessionTest, FallenBehindCatchesUpFourAPassWithoutWaiting) {
    files.addSong("/songs/pace", {".cdg", ".mp3"}, 3000);
    play("/songs/pace.cdg", [&](std::size_t n) {
        if (n == 20) world.media.position += 1000.0;  // 300 packets behind at once
    });
    for (std::size_t i = 21; i < 60; ++i) {
        EXPECT_EQ(counts[i] - counts[i - 1], kPacketsPerBatch) << i;
        EXPECT_EQ(host.waits[i], 0.0) << i;
    }
}

TEST_F(SessionTest, PauseFreezesTheGraphicsAndContinueResumesThem) {
    files.addSong("/songs/pace", {".cdg", ".mp3"}, 3000);
    play("/songs/pace.cdg", [&](std::size_t n) {
        if (n == 100) host.pause();
        if (n == 150) host.resume();
    });
    EXPECT_EQ(counts[101], counts[148]);
    EXPECT_EQ(packets(), 3000);
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

TEST_F(SessionTest, WithoutAudioTheClockPacesAndPauseKeepsDrawing) {
    files.addSong("/songs/silent", {".cdg"}, 600);
    world.now = 2000.25;  // the start rounds to 2000 s: the graphics start 75 packets in
    play("/songs/silent.cdg", [&](std::size_t n) {
        if (n == 10) host.pause();
    });
    EXPECT_EQ(state.startSeconds, 2000);
    EXPECT_EQ(targets[1], 75);
    EXPECT_EQ(packets(), 600);  // kept going although paused
    EXPECT_NEAR(world.now - 2000.25, 2.0 - 0.25, 0.05);
}

TEST(PacketTarget, NearestWithHalvesToEven) {
    EXPECT_EQ(kMsPerPacket, 3.3333332538604736f);
    EXPECT_EQ(packetTarget(10000.0), 3000);
    const std::pair<double, int32_t> cases[] = {{2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}};
    for (const auto& [packets, target] : cases)
        EXPECT_EQ(packetTarget(packets * static_cast<double>(kMsPerPacket)), target) << packets;
    EXPECT_EQ(packetTarget(1e12), INT32_MAX);
}

TEST_F(SessionTest, StopEndsTheSessionAtTheNextPass) {
    files.addSong("/songs/stop", {".cdg", ".mp3"}, 3000);
    int32_t atStop = -1;
    play("/songs/stop.cdg", [&](std::size_t n) {
        if (n != 30) return;
        host.sessionEnded();  // the Stop button
        atStop = packets();
    });
    EXPECT_EQ(packets(), atStop);
    EXPECT_EQ(host.waits.size(), 30u);
    EXPECT_EQ(host.ends, 2);  // the button, then the session's own end
    EXPECT_EQ(host.statuses.back(), "Ready.");
    EXPECT_TRUE(idle());
}

TEST_F(SessionTest, EndSeenOnlyAfterAnEmptyReadAndChunkedReads) {
    files.addSong("/songs/late", {".cdg"}, 8);
    FakeFiles::File& file = files.files["/songs/late.cdg"];
    file.bytes.append(10, '\x01');  // a partial packet that must never be interpreted
    file.lateEnd = true;
    file.chunk = 7;
    play("/songs/late.cdg");
    EXPECT_EQ(packets(), 8);
    EXPECT_EQ(host.ends, 1);
    EXPECT_TRUE(idle());
}

TEST_F(SessionTest, AudioAloneWaitsWhilePausedAndEndsAfterContinueOrStop) {
    files.addSong("/songs/song", {".WAV"}, 0);
    world.media.durationMs = 2000.0;
    bool endedWhilePaused = false;
    play("/songs/song.wav", [&](std::size_t n) {
        if (n == 10) host.pause();
        if (n > 10 && n < 200 && !state.sessionRunning) endedWhilePaused = true;
        if (n == 200) host.resume();
    });
    EXPECT_FALSE(endedWhilePaused);
    EXPECT_GT(host.waits.size(), 200u);
    EXPECT_NEAR(state.targetPacket, 600, 10);

    host.waits.clear();
    world.media.durationMs = 1e12;
    play("/songs/song.wav", [&](std::size_t n) {
        if (n == 5) host.sessionEnded();
    });
    EXPECT_EQ(host.waits.size(), 5u);
    EXPECT_EQ(host.ends, 3);
}

TEST_F(SessionTest, UnreadableGraphicsFileTellsTheUserAndReturnsToIdle) {
    files.addSong("/songs/locked", {".cdg", ".mp3"}, 8);
    files.files["/songs/locked.cdg"].openable = false;
    play("/songs/locked.cdg");
    EXPECT_EQ(host.messages, Strings{"Cannot open the graphics file: /songs/locked.cdg"});
    EXPECT_EQ(host.ends, 1);
    EXPECT_TRUE(idle());
    EXPECT_FALSE(world.media.playing());
    EXPECT_EQ(packets(), 0);
    EXPECT_EQ(host.waits.size(), 1u);  // no pass ran
}

TEST_F(SessionTest, UnplayableAudioAloneEndsAtOnceAndSaysSo) {
    files.addSong("/songs/broken", {".MP3"}, 0);
    world.media.unplayable.push_back("/songs/broken.MP3");
    play("/songs/broken.mp3");
    EXPECT_LE(host.waits.size(), 2u);
    EXPECT_EQ(host.ends, 1);
    EXPECT_EQ(host.statuses.back(), "Cannot play: broken.MP3");
}

// Audio that cannot be opened, fails midway or ends first: the clock finishes
// the graphics from where the audio was, never going back at the hand-over.
TEST(SessionAudioGivesOut, TheClockFinishesTheGraphics) {
    struct Case {
        bool unplayable;
        std::optional<double> failAtMs;
        double durationMs;
        const char* lastStatus;
    } const cases[] = {{true, {}, 1e12, "Cannot play: song.mp3"},
                       {false, 2000.0, 1e12, "Cannot play: song.mp3"},
                       {false, {}, 2000.0, "Ready."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.durationMs + (c.unplayable ? 1 : 0));
        testing::World world;
        PlayerState state;
        testing::FakeHost host{world, state};
        FakeFiles files;
        files.addSong("/songs/song", {".cdg", ".mp3"}, 1500);  // 5 s of graphics
        if (c.unplayable) world.media.unplayable.push_back("/songs/song.mp3");
        world.media.failAtMs = c.failAtMs;
        world.media.durationMs = c.durationMs;
        std::vector<int32_t> targets;
        host.onServe = [&](std::size_t) { targets.push_back(state.targetPacket); };
        PlaybackSession(state, world.media, host, world, files).play("/songs/song.cdg", false);
        EXPECT_EQ(state.machine.PacketCount, 1500);
        EXPECT_NEAR(world.now - 1000.0, 5.0, 0.1);
        EXPECT_TRUE(std::is_sorted(targets.begin(), targets.end()));
        EXPECT_EQ(host.statuses.back(), c.lastStatus);
    }
}

TEST_F(SessionTest, PlayInsideTheServingOfAnEndingSessionOwnsItsOwnFile) {
    files.addSong("/songs/first", {".cdg"}, 3000);
    files.addSong("/songs/second", {".cdg", ".mp3"}, 200);
    bool nested = false;
    host.onServe = [&](std::size_t n) {
        if (n != 20 || nested) return;
        nested = true;
        host.sessionEnded();  // Stop, then Play in the same serving
        session.play("/songs/second.cdg", false);
        EXPECT_EQ(packets(), 200);
        EXPECT_EQ(files.openNow, 1);  // the first session's file is still its own
    };
    session.play("/songs/first.cdg", false);
    EXPECT_EQ(files.log, (Strings{"open /songs/first.cdg", "open /songs/second.cdg",
                                  "close /songs/second.cdg", "close /songs/first.cdg"}));
    EXPECT_EQ(packets(), 200);
    EXPECT_TRUE(idle());
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

// A backend that stalls for 1.5 s at the start, then jumps, then moves only every
// 30 ms, then corrects itself 100 ms back.
TEST(PositionSmoother, FollowsTheClockBetweenReadingsAndNeverGoesBack) {
    PositionSmoother p;
    p.run(0.0);
    double last = 0.0;
    for (int t = 0; t < 1500; t += 5) {
        const double ms = p.read(t, 0.0);
        EXPECT_GE(ms, last);
        EXPECT_LE(ms, PositionSmoother::kDefaultResyncMs);  // waits within the margin
        last = ms;
    }
    EXPECT_DOUBLE_EQ(p.read(1500.0, 1480.0), 1480.0);
    for (int t = 0; t <= 500; ++t) {
        EXPECT_DOUBLE_EQ(p.read(1500.0 + t, 1480.0 + (t / 30) * 30.0), 1480.0 + t) << t;
    }
    EXPECT_DOUBLE_EQ(p.read(2010.0, 1890.0), 1980.0);  // holds instead of going back
    EXPECT_DOUBLE_EQ(p.read(2050.0, 1930.0), 1980.0);
    EXPECT_DOUBLE_EQ(p.read(2120.0, 2000.0), 2000.0);
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
