// The media control, the event pump and whole sessions on the real backend,
// headless: GStreamer plays into a fake sink that keeps real time. Bounds only
// catch "not advancing", "never ends", "blocks" and "spins"; figures belong in bench/.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/event_pump.h"
#include "playback/disk_files.h"
#include "playback/media/qt_media_control.h"
#include "playback/playback_session.h"
#include "support/test_files.h"
#include "tools/demo_song/melody.h"

namespace lyrvox {
namespace {

using testing::filesIn;
using testing::TempFolder;
using testing::writeFile;

std::vector<uint8_t> toneWav(double seconds) {  // A 440 Hz; 0 s: a header and no data
    const int packets = static_cast<int>(seconds * Melody::kPacketsPerSecond);
    return Melody::wavFile(Melody::render({{0, packets, 69, 0.1}}, packets));
}

// Serves events until `done` holds; false after `ms`.
template <typename Done>
bool waitUntil(Done done, int ms = 8000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

TEST(MediaControl, NothingOpenReadsClosedAndEveryCommandIsHarmless) {
    QtMediaControl media;
    for (auto command : {&MediaControl::play, &MediaControl::pause, &MediaControl::stop,
                         &MediaControl::close, &MediaControl::play}) {
        (media.*command)();
        EXPECT_EQ(media.state(), MediaState::Closed);
        EXPECT_EQ(media.positionMs(), 0);
        EXPECT_EQ(media.error(), MediaError::None);
    }
}

TEST(MediaControl, PlaysPausesContinuesEndsAndCloses) {
    TempFolder dir;
    writeFile(dir.path("tone.wav"), toneWav(1.6));
    QtMediaControl media;
    media.open(dir.path("tone.wav"), false);
    EXPECT_EQ(media.state(), MediaState::Stopped);
    media.play();
    EXPECT_EQ(media.state(), MediaState::Playing);
    int32_t last = 0;
    bool monotonic = true;
    ASSERT_TRUE(waitUntil([&] {
        monotonic = monotonic && media.positionMs() >= last;
        last = media.positionMs();
        return last > 300;
    }));
    EXPECT_TRUE(monotonic);

    media.pause();  // halts and holds
    EXPECT_EQ(media.state(), MediaState::Stopped);
    const int32_t held = media.positionMs();
    QTest::qWait(300);
    EXPECT_EQ(media.positionMs(), held);
    media.play();  // continues from there
    EXPECT_EQ(media.state(), MediaState::Playing);
    EXPECT_GE(media.positionMs(), held);
    EXPECT_TRUE(waitUntil([&] { return media.positionMs() > held + 100; }));

    ASSERT_TRUE(waitUntil([&] { return media.state() != MediaState::Playing; }));
    EXPECT_EQ(media.state(), MediaState::Ended);
    const int32_t atEnd = media.positionMs();
    EXPECT_GT(atEnd, held);
    QTest::qWait(200);
    EXPECT_EQ(media.positionMs(), atEnd);
    media.close();
    EXPECT_EQ(media.state(), MediaState::Closed);
    EXPECT_EQ(media.positionMs(), 0);
}

// Missing, a folder or corrupt: Failed at once or soon, and open never blocks
// long; the next open, after a close or without one, starts afresh.
TEST(MediaControl, BadMediaFailAndTheNextOpenStartsAfresh) {
    TempFolder dir;
    writeFile(dir.path("corrupt.mp3"), testing::randomBytes(20000));
    writeFile(dir.path("tone.wav"), toneWav(3.0));
    QtMediaControl media;
    for (bool closeFirst : {false, true}) {
        for (const std::string& bad :
             {dir.path("missing.mp3"), dir.path(), dir.path("corrupt.mp3")}) {
            SCOPED_TRACE(bad);
            QElapsedTimer timer;
            timer.start();
            media.open(bad, false);
            media.play();
            EXPECT_LT(timer.elapsed(), 3000);
            EXPECT_TRUE(waitUntil([&] { return media.state() == MediaState::Failed; }, 5000));
            EXPECT_NE(media.error(), MediaError::None);
        }
        SCOPED_TRACE(closeFirst ? "after close" : "without close");
        if (closeFirst) media.close();
        media.open(dir.path("tone.wav"), true);
        EXPECT_EQ(media.state(), MediaState::Stopped);
        EXPECT_EQ(media.error(), MediaError::None);
        media.play();
        EXPECT_TRUE(waitUntil([&] { return media.positionMs() > 100; }));
        EXPECT_EQ(media.state(), MediaState::Playing);
    }
}

TEST(EventPump, TheWaitEndsAtTheFirstEventAndPendingEventsNeedNoWait) {
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    QElapsedTimer timer;
    timer.start();
    while (!fired && timer.elapsed() < 5000) serveEvents(5000.0);
    EXPECT_TRUE(fired);
    EXPECT_LT(timer.elapsed(), 2500);

    bool served = false;
    QMetaObject::invokeMethod(
        qApp, [&] { served = true; }, Qt::QueuedConnection);
    serveEvents(0.0);
    EXPECT_TRUE(served);
}

// What the control window does for a session: Stop's steps at the end, with
// status lines and messages recorded.
struct PumpHost : SessionHost {
    PlayerState state;
    QtMediaControl media;
    std::vector<std::string> statuses, messages;
    int passes = 0;
    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void setOpenEnabled(bool) override {}
    void enableStopNow() override {}
    void showDisplay(bool) override {}
    void serveEvents(double maxWaitMs) override {
        ++passes;
        lyrvox::serveEvents(maxWaitMs);
    }
    void sessionEnded() override {
        media.stop();
        media.close();
        state.sessionRunning = state.paused = false;
        showStatus("Ready.");
        lyrvox::serveEvents(0.0);
    }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    qint64 play(const std::string& chosen) {  // milliseconds the session took
        SteadySessionClock clock;
        DiskSessionFiles files;
        QElapsedTimer timer;
        timer.start();
        PlaybackSession(state, media, *this, clock, files).play(chosen, false);
        return timer.elapsed();
    }
};

// Audio beside a second of graphics, and alone. Graphics follow real audio, and
// broken audio never stops them: they play to their end by the clock, and the
// status then says the audio could not be played. Alone such audio says so at once.
TEST(RealSession, AudioBesideGraphicsAndAlone) {
    const std::string corpusMp3 = testing::readFile(LYRVOX_CORPUS_DIR "/demokar.mp3");
    ASSERT_GT(corpusMp3.size(), 48000u);
    const std::vector<uint8_t> tone = toneWav(2.0), header = toneWav(0.0);
    const struct {
        const char *name, *file, *shown;
        std::string bytes;
        const char* last;
    } cases[] = {
        {"real audio", "song.wav", "song.WAV", {tone.begin(), tone.end()}, "Ready."},
        {"header, no data", "song.wav", "song.WAV", {header.begin(), header.end()}, "Ready."},
        {"empty", "song.mp3", "song.MP3", "", "Cannot play: song.mp3"},
        {"random bytes", "song.mp3", "song.MP3", testing::randomBytes(200000, 11),
         "Cannot play: song.mp3"},
        {"truncated", "song.mp3", "song.MP3", corpusMp3.substr(0, 48000), "Ready."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        writeFile(dir.path(c.file), c.bytes);
        writeFile(dir.path("song.cdg"), std::string(24 * 300, '\0'));
        const auto before = filesIn(dir.path());
        const bool fails = std::string(c.last) != "Ready.";

        PumpHost withGraphics;
        const qint64 ms = withGraphics.play(dir.path("song.cdg"));
        EXPECT_EQ(withGraphics.state.machine.PacketCount, 300);
        std::vector<std::string> expected{"Playing: " + std::string(c.shown) + "/CDG", "Ready."};
        if (fails) expected.push_back(c.last);
        EXPECT_EQ(withGraphics.statuses, expected);
        EXPECT_TRUE(withGraphics.messages.empty());
        EXPECT_GT(ms, 500);                    // paced, not read at once
        EXPECT_LT(ms, 10000);                  // and not stuck
        EXPECT_LT(withGraphics.passes, 1000);  // about 75 a second: no spin

        std::filesystem::remove(dir.path("song.cdg"));
        PumpHost alone;
        const qint64 aloneMs = alone.play(dir.path(c.file));
        EXPECT_EQ(alone.statuses.front(), "Playing: " + std::string(c.shown));
        EXPECT_EQ(alone.statuses.back(), c.last);
        EXPECT_LT(aloneMs, fails ? 3000 : 15000);
        EXPECT_LT(alone.passes, 1000);
        auto after = filesIn(dir.path());
        after["song.cdg"] = before.at("song.cdg");
        EXPECT_EQ(after, before);
    }
}

// A video name takes the video path (a window for the picture), but sound alone
// shows no window.
TEST(MediaControl, SoundUnderAVideoNamePlaysWithoutAWindow) {
    TempFolder dir;
    writeFile(dir.path("clip.avi"), toneWav(1.0));
    QtMediaControl media;
    media.open(dir.path("clip.avi"), false);
    media.play();
    EXPECT_TRUE(waitUntil([&] { return media.state() != MediaState::Playing; }));
    EXPECT_EQ(media.state(), MediaState::Ended);
    EXPECT_GT(media.positionMs(), 500);
    for (QWidget* window : QApplication::topLevelWidgets()) EXPECT_FALSE(window->isVisible());
}

}  // namespace
}  // namespace lyrvox
