// The playback session driven through a simulated clock, media control, window and
// disk: companions and status texts, pacing, pause, Stop, the ends of a session,
// and the failures a player must survive.
#include "playback/playback_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "playback/disk_files.h"
#include "tests/session/session_fakes.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

using testing::FakeClock;
using testing::FakeFiles;
using testing::FakeHost;
using testing::graphicsBytes;
using testing::World;

class SessionTest : public ::testing::Test {
  protected:
    // Companion names are built the way the session builds them, from the base
    // name of the chosen file.
    static std::string base(const std::string& chosen) { return StripExtension(chosen); }
    static std::string playing(const std::string& chosen, const std::string& tail) {
        return "Playing: " + FileNameOf(base(chosen)) + "." + tail;
    }

    void addFile(const std::string& name, std::vector<uint8_t> bytes = {}) {
        files.files[name].bytes = std::move(bytes);
    }
    void run(const std::string& chosen) { session.DoCDGFile(chosen); }
    int32_t packets() const { return state.machine.PacketCount; }
    // Nothing left running and no file left open.
    bool idleAfterEnd() const { return !state.ProFlag && files.openNow == 0; }

    World world;
    PlayerState state;
    FakeClock clock{world};
    FakeHost host{world, state};
    FakeFiles files;
    PlaybackSession session{state, world.media, host, clock, files};
};

// ---- Companions, media commands and status texts ----

TEST_F(SessionTest, GraphicsWithMp3OpensBothByTheirRealNames) {
    const std::string chosen = "/songs/Song.cdg";
    addFile(base(chosen) + ".Cdg", graphicsBytes(40));
    addFile(base(chosen) + ".mp3");
    run(chosen);

    EXPECT_EQ(state.CDGFile, base(chosen) + ".Cdg");
    EXPECT_TRUE(state.MP3Flag);
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_EQ(host.statuses.front(), playing(chosen, "MP3/CDG"));
    EXPECT_EQ(host.statuses.back(), "Ready.");
    const std::vector<std::string> expected{"Command stop",
                                            "Command close",
                                            "DeviceType MPEGVideo",
                                            "TimeFormat 0",
                                            "FileName " + base(chosen) + ".mp3",
                                            "Command Open",
                                            "Wait false",
                                            "Command Play",
                                            "Command Stop",
                                            "Command Close"};
    EXPECT_EQ(world.media.log, expected);
    EXPECT_EQ(host.displays, std::vector<bool>{true});
    EXPECT_EQ(packets(), 40);
    EXPECT_TRUE(idleAfterEnd());
    EXPECT_EQ(files.log, (std::vector<std::string>{"open " + base(chosen) + ".Cdg",
                                                   "close " + base(chosen) + ".Cdg"}));
}

TEST_F(SessionTest, ChoosingTheAudioFilePlaysThePairAndAltPicksTheOtherDevice) {
    const std::string chosen = "/songs/song.mp3";
    addFile(base(chosen) + ".CDG", graphicsBytes(8));
    addFile(base(chosen) + ".MP3");
    host.alt = true;
    run(chosen);
    EXPECT_EQ(host.statuses.front(), playing(chosen, "MP3/CDG"));
    EXPECT_EQ(world.media.log[2], "DeviceType ActiveMovie");
}

TEST_F(SessionTest, RwWinsOverCdgAndMp3OverWav) {
    const std::string chosen = "/songs/duet.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(8));
    addFile(base(chosen) + ".rw", graphicsBytes(12));
    addFile(base(chosen) + ".wav");
    addFile(base(chosen) + ".mp3");
    run(chosen);
    EXPECT_EQ(state.CDGFile, base(chosen) + ".rw");
    EXPECT_EQ(packets(), 12);
    EXPECT_EQ(host.statuses.front(), playing(chosen, "MP3/RW"));
    EXPECT_NE(std::find(world.media.log.begin(), world.media.log.end(),
                        "FileName " + base(chosen) + ".mp3"),
              world.media.log.end());
}

TEST_F(SessionTest, GraphicsAloneSendsOnlyTheInitialAndFinalMediaCommands) {
    const std::string chosen = "/songs/song.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(20));
    run(chosen);
    EXPECT_EQ(host.statuses.front(), playing(chosen, "CDG (only)"));
    EXPECT_FALSE(state.MP3Flag);
    EXPECT_EQ(world.media.commands(), (std::vector<std::string>{"stop", "close", "Stop", "Close"}));
    EXPECT_EQ(packets(), 20);
}

TEST_F(SessionTest, AudioAloneHidesTheDisplayAndEndsWithTheMedia) {
    const std::string chosen = "/songs/song.mp3";
    addFile(base(chosen) + ".mp3");
    world.media.durationMs = 10000.0;
    run(chosen);
    EXPECT_EQ(host.statuses.front(), playing(chosen, "MP3"));
    EXPECT_EQ(host.displays, std::vector<bool>{false});
    EXPECT_EQ(host.statuses.back(), "Ready.");
    EXPECT_NEAR(state.FrameMP3, 3000, 10);               // the elapsed time follows the audio: 10 s
    EXPECT_NEAR(world.nowSeconds - 1000.0, 10.0, 0.05);  // ended within a poll of the end
    EXPECT_EQ(host.stopClicks, 1);
    for (std::size_t i = 1; i < host.waits.size(); ++i) EXPECT_GT(host.waits[i], 0.0);
}

TEST_F(SessionTest, AnyOtherMediaFileIsPlayedItself) {
    const std::string chosen = "/videos/clip.avi";
    world.media.durationMs = 500.0;
    run(chosen);
    EXPECT_EQ(host.statuses.front(),
              "Playing: " + FileNameOf(base(chosen)) + "." + ExtensionOf(chosen));
    EXPECT_FALSE(state.MP3Flag);
    EXPECT_EQ(world.media.log[4], "FileName " + chosen);
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

// ---- Pacing ----

class PacingTest : public SessionTest {
  protected:
    void SetUp() override {
        addFile(base(chosen) + ".cdg", graphicsBytes(3000));
        addFile(base(chosen) + ".mp3");
    }
    const std::string chosen = "/songs/pace.cdg";
};

TEST_F(PacingTest, FirstBatchAtOnceThenNeverMoreThanOneBatchAhead) {
    std::vector<int32_t> counts, frames;
    host.onYield = [&](std::size_t) {
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
    }
    EXPECT_EQ(packets(), 3000);
}

TEST_F(PacingTest, WaitsUntilTheNextPacketIsDueInsteadOfSpinning) {
    int idlePasses = 0;
    int32_t before = 0;
    host.onYield = [&](std::size_t n) {
        if (n > 2 && packets() == before) ++idlePasses;
        before = packets();
    };
    run(chosen);
    // 3000 packets at 4 a pass: 750 passes when every wake-up finds a batch due.
    EXPECT_EQ(packets(), 3000);
    EXPECT_LE(idlePasses, 10);
    for (std::size_t i = 1; i < host.waits.size(); ++i) {
        EXPECT_GT(host.waits[i], 0.0);
        EXPECT_LE(host.waits[i], PlaybackSession::kMaxWaitMs);
    }
    // 3000 packets take 10 s of audio.
    EXPECT_NEAR(world.nowSeconds - 1000.0, 10.0, 0.05);
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
    const std::string chosen = "/songs/silent.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(600));
    world.nowSeconds = 2000.25;  // StartTime 2000: the graphics start 75 packets ahead
    std::vector<int32_t> frames;
    host.onYield = [&](std::size_t n) {
        frames.push_back(state.FrameMP3);
        if (n == 10) host.pause();
    };
    run(chosen);
    EXPECT_EQ(state.StartTime, 2000);
    ASSERT_GT(frames.size(), 2u);
    EXPECT_EQ(frames[1], 75);
    EXPECT_EQ(packets(), 600);  // kept going although paused
    EXPECT_NEAR(world.nowSeconds - 2000.25, 2.0 - 0.25, 0.05);
}

TEST(PacingArithmetic, TargetsRoundToNearestWithTiesToEven) {
    EXPECT_EQ(MsPerPacket, 3.3333332538604736f);
    EXPECT_EQ(packetTarget(10000.0), 3000);
    EXPECT_EQ(packetTarget(0.0), 0);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(-1.5), -2);
    EXPECT_EQ(roundHalfEven(1e12), INT32_MAX);
    EXPECT_EQ(roundHalfEven(-1e12), INT32_MIN);
}

// ---- Ends of a session ----

TEST_F(SessionTest, StopEndsTheSessionAtTheNextPass) {
    const std::string chosen = "/songs/stop.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(3000));
    addFile(base(chosen) + ".mp3");
    int32_t atStop = -1;
    host.onYield = [&](std::size_t n) {
        if (n == 30) {
            host.btnStop_Click();
            atStop = packets();
        }
    };
    run(chosen);
    EXPECT_EQ(packets(), atStop);
    EXPECT_EQ(host.stopClicks, 2);  // the button, then the session's own end
    EXPECT_EQ(host.statuses.back(), "Ready.");
    EXPECT_TRUE(idleAfterEnd());
    EXPECT_EQ(host.waits.size(), 30u);
}

TEST_F(SessionTest, WholePacketsOnlyWhateverTheFileLength) {
    const std::string chosen = "/songs/odd.cdg";
    // 10 packets and a partial one: the last batch reads past the end.
    addFile(base(chosen) + ".cdg", graphicsBytes(10, 5));
    run(chosen);
    EXPECT_EQ(packets(), 10);
    EXPECT_TRUE(idleAfterEnd());
}

TEST_F(SessionTest, EndSeenOnlyAfterAnEmptyReadEndsAtOnce) {
    const std::string chosen = "/songs/late.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(8));
    files.files[base(chosen) + ".cdg"].lateEnd = true;
    files.files[base(chosen) + ".cdg"].chunk = 7;  // reads come back in pieces
    run(chosen);
    EXPECT_EQ(packets(), 8);
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_TRUE(idleAfterEnd());
}

TEST_F(SessionTest, EmptyGraphicsFileEndsAndStopsTheAudio) {
    const std::string chosen = "/songs/empty.cdg";
    addFile(base(chosen) + ".cdg");
    addFile(base(chosen) + ".mp3");
    run(chosen);
    EXPECT_EQ(packets(), 0);
    EXPECT_FALSE(world.media.playing());
    const auto cmds = world.media.commands();
    EXPECT_EQ(std::vector<std::string>(cmds.end() - 2, cmds.end()),
              (std::vector<std::string>{"Stop", "Close"}));
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

TEST_F(SessionTest, AudioOnlySessionWaitsWhilePausedAndEndsAfterContinue) {
    const std::string chosen = "/songs/song.wav";
    addFile(base(chosen) + ".WAV");
    world.media.durationMs = 2000.0;
    bool endedWhilePaused = false;
    host.onYield = [&](std::size_t n) {
        if (n == 10) host.pause();
        if (n > 10 && n < 200 && !state.ProFlag) endedWhilePaused = true;
        if (n == 200) host.resume();
    };
    run(chosen);
    EXPECT_FALSE(endedWhilePaused);
    EXPECT_GT(host.waits.size(), 200u);
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_NEAR(state.FrameMP3, 600, 10);
}

TEST_F(SessionTest, AudioOnlySessionStopsOnStop) {
    const std::string chosen = "/songs/long.mp3";
    addFile(base(chosen) + ".mp3");
    host.onYield = [&](std::size_t n) {
        if (n == 5) host.btnStop_Click();
    };
    run(chosen);
    EXPECT_EQ(host.waits.size(), 5u);
    EXPECT_EQ(host.stopClicks, 2);
}

TEST_F(SessionTest, WritesOneTraceLinePerPass) {
    const std::string chosen = "/songs/trace.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(400));
    addFile(base(chosen) + ".mp3");
    const std::string path = ::testing::TempDir() + "lyrvox-session-trace.txt";
    std::remove(path.c_str());
    session.setTraceFile(path);
    run(chosen);
    std::ifstream in(path);
    std::string line;
    std::size_t lines = 0;
    double ms = 0;
    long position = 0, frame = 0, count = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ASSERT_TRUE(fields >> ms >> position >> frame >> count) << line;
        ++lines;
    }
    EXPECT_EQ(lines, host.waits.size() - 1);  // every yield but the one before the loop
    EXPECT_EQ(count, 400);
    EXPECT_EQ(frame, packetTarget(static_cast<double>(position)));
    EXPECT_NEAR(static_cast<double>(position), 400 * MsPerPacket, 15.0);
    session.setTraceFile(nullptr);
    std::remove(path.c_str());
}

// ---- Failures the player must survive ----

TEST_F(SessionTest, UnreadableGraphicsFileTellsTheUserAndReturnsToIdle) {
    const std::string chosen = "/songs/locked.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(8));
    addFile(base(chosen) + ".mp3");
    files.files[base(chosen) + ".cdg"].openable = false;
    run(chosen);
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"Cannot open the graphics file: " + base(chosen) + ".cdg"});
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_FALSE(state.ProFlag);
    EXPECT_FALSE(world.media.playing());
    EXPECT_EQ(packets(), 0);
    EXPECT_EQ(host.waits.size(), 1u);  // no pass ran
}

TEST_F(SessionTest, UnplayableAudioAloneEndsAtOnceAndSaysSo) {
    const std::string chosen = "/songs/broken.mp3";
    addFile(base(chosen) + ".MP3");
    world.media.unplayable.push_back(base(chosen) + ".MP3");
    run(chosen);
    EXPECT_LE(host.waits.size(), 2u);
    EXPECT_EQ(host.stopClicks, 1);
    EXPECT_EQ(host.statuses.back(), "Cannot play: " + FileNameOf(base(chosen) + ".MP3"));
}

TEST_F(SessionTest, UnplayableAudioLetsTheClockPaceTheGraphics) {
    const std::string chosen = "/songs/broken.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(900));
    addFile(base(chosen) + ".mp3");
    world.media.unplayable.push_back(base(chosen) + ".mp3");
    world.nowSeconds = 3000.0;
    run(chosen);
    EXPECT_EQ(packets(), 900);
    EXPECT_NEAR(world.nowSeconds - 3000.0, 3.0, 0.05);
    EXPECT_EQ(host.statuses.back(), "Cannot play: " + FileNameOf(base(chosen) + ".mp3"));
}

TEST_F(SessionTest, AudioFailingMidwayHandsThePacingToTheClock) {
    const std::string chosen = "/songs/dropout.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(1500));
    addFile(base(chosen) + ".mp3");
    world.nowSeconds = 4000.0;
    world.media.failAtMs = 2000.0;
    run(chosen);
    EXPECT_EQ(packets(), 1500);
    EXPECT_NEAR(world.nowSeconds - 4000.0, 5.0, 0.1);
    EXPECT_EQ(host.statuses.back(), "Cannot play: " + FileNameOf(base(chosen) + ".mp3"));
}

TEST_F(SessionTest, AudioEndingFirstLetsTheClockFinishTheGraphics) {
    const std::string chosen = "/songs/short.cdg";
    addFile(base(chosen) + ".cdg", graphicsBytes(1500));  // 5 s of graphics
    addFile(base(chosen) + ".mp3");
    world.nowSeconds = 5000.0;
    world.media.durationMs = 2000.0;
    std::vector<int32_t> frames;
    host.onYield = [&](std::size_t) { frames.push_back(state.FrameMP3); };
    run(chosen);
    EXPECT_EQ(packets(), 1500);
    EXPECT_NEAR(world.nowSeconds - 5000.0, 5.0, 0.1);
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));  // no jump back at the hand-over
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

TEST_F(SessionTest, PlayInsideTheYieldOfAnEndingSessionOwnsItsOwnFile) {
    const std::string first = "/songs/first.cdg";
    const std::string second = "/songs/second.cdg";
    addFile(base(first) + ".cdg", graphicsBytes(3000));
    addFile(base(second) + ".cdg", graphicsBytes(200));
    addFile(base(second) + ".mp3");
    bool nested = false;
    host.onYield = [&](std::size_t n) {
        if (n == 20 && !nested) {
            nested = true;
            host.btnStop_Click();       // Stop, then Play in the same yield
            session.DoCDGFile(second);  // runs to its end inside this yield
            EXPECT_EQ(packets(), 200);
            EXPECT_EQ(files.openNow, 1);  // the first session's file is still its own
        }
    };
    run(first);
    EXPECT_EQ(files.log, (std::vector<std::string>{
                             "open " + base(first) + ".cdg", "open " + base(second) + ".cdg",
                             "close " + base(second) + ".cdg", "close " + base(first) + ".cdg"}));
    EXPECT_EQ(packets(), 200);
    EXPECT_TRUE(idleAfterEnd());
    EXPECT_EQ(host.statuses.back(), "Ready.");
}

// ---- The disk adapter ----

TEST(DiskSessionFiles, OpensOnlyPlainReadableFiles) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "lyrvox-disk-files";
    fs::remove_all(dir);
    fs::create_directories(dir / "folder.cdg");
    {
        std::ofstream f(dir / "song.cdg", std::ios::binary);
        f << std::string(24 * 2 + 5, 'x');
    }
    DiskSessionFiles disk;
    EXPECT_EQ(disk.open((dir / "folder.cdg").string()), nullptr);
    EXPECT_EQ(disk.open((dir / "missing.cdg").string()), nullptr);
    auto source = disk.open((dir / "song.cdg").string());
    ASSERT_NE(source, nullptr);
    uint8_t buffer[24];
    EXPECT_FALSE(source->atEnd());
    EXPECT_EQ(source->read(buffer, 24), 24u);
    EXPECT_EQ(source->read(buffer, 24), 24u);
    EXPECT_FALSE(source->atEnd());  // the 5 bytes of a partial packet are still there
    EXPECT_EQ(source->read(buffer, 24), 5u);
    EXPECT_TRUE(source->atEnd());
    EXPECT_EQ(source->read(buffer, 24), 0u);
    source.reset();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace lyrvox
