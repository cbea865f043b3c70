// Music between songs on the real GStreamer backend, played into a fake sink that
// keeps real time; the fade runs on a clock the test sets.
#include <gtest/gtest.h>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <gst/gst.h>

#include <atomic>
#include <cmath>
#include <numbers>

#include "app/break_music_controller.h"
#include "app/qt_settings_store.h"
#include "support/test_files.h"
#include "support/tone_wav.h"

namespace lyrvox {
namespace {

struct Night {
    testing::TempFolder dir;
    QtSettingsStore settings{QString::fromStdString(dir.path("lyrvox.ini"))};
    double now = 0.0;  // the fade's clock, seconds
    std::atomic<int> buffers{0};
    BreakMusicController music{
        settings, nullptr,
        [this] {
            GstElement* sink = gst_element_factory_make("fakesink", nullptr);
            g_object_set(sink, "sync", TRUE, "signal-handoffs", TRUE, nullptr);
            g_signal_connect(sink, "handoff", G_CALLBACK(&Night::handoff), this);
            return sink;
        },
        [this] { return now; }};
    static void handoff(GstElement*, GstBuffer*, GstPad*, Night* self) { ++self->buffers; }

    // Sets the clock and waits for the fade's timer to bring the pipeline there.
    bool volumeAt(double seconds, double expected) {
        now = seconds;
        return QTest::qWaitFor(
            [&] { return std::abs(music.player().pipelineVolume() - expected) < 1e-6; }, 2000);
    }
};

// Turned on between songs: an unplayable file is passed over with one note and the
// next plays. It fades in over 3 s (equal power, at its own 80%), out to silence over
// 3 s when a song starts (then pauses), and in again when the song is over; the fade's
// timer runs only while a fade moves. Shut down, the pipeline is gone.
TEST(BreakMusicController, FadesTheRealPlayerAroundASong) {
    Night night;
    testing::writeFile(night.dir.path("1 broken.mp3"), testing::randomBytes(20000));
    testing::writeFile(night.dir.path("2 tone.wav"), testing::sineWav(-20.0, 440.0, 6.0));
    QSignalSpy notes(&night.music, &BreakMusicController::noteChanged);
    night.music.setOptions({true, QString::fromStdString(night.dir.path()), 80, 3});
    EXPECT_EQ(night.music.options().volume, 80);

    ASSERT_TRUE(QTest::qWaitFor([&] { return night.buffers.load() > 5; }, 5000));
    EXPECT_EQ(night.music.player().path(), night.dir.path("2 tone.wav"));
    EXPECT_EQ(notes.count(), 1);
    const double half = 0.8 * std::sqrt(0.5);  // the curve half way, at 80%
    const struct {
        double at;
        Transport transport;  // told at that moment (Idle twice changes nothing)
        double volume;
        bool playing;
        bool timerRuns;
    } steps[] = {
        {1.5, Transport::Idle, half, true, true},
        {3.0, Transport::Idle, 0.8, true, false},
        {10.0, Transport::Playing, 0.8, true, true},
        {11.5, Transport::Paused, half, true, true},  // paused is still the song
        {13.0, Transport::Playing, 0.0, false, false},
        {20.0, Transport::Waiting, 0.0, true, true},  // the wait before the next queued song
        {20.75, Transport::Playing, 0.8 * std::sin(std::numbers::pi / 8), true,
         true},  // turned around
        {21.5, Transport::Playing, 0.0, false, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE("at " + std::to_string(s.at));
        night.now = s.at;
        night.music.transportChanged(s.transport);
        EXPECT_TRUE(night.volumeAt(s.at, s.volume)) << night.music.player().pipelineVolume();
        EXPECT_EQ(night.music.player().isPlaying(), s.playing);
        EXPECT_EQ(night.music.timer().isActive(), s.timerRuns);
    }
    EXPECT_EQ(notes.count(), 1);
    night.music.shutDown();
    EXPECT_FALSE(night.music.player().isOpen());
    night.music.transportChanged(Transport::Idle);  // nothing plays again
    EXPECT_FALSE(night.music.player().isOpen());
}

// Five unplayable files give two notes, not five: one that files are passed over, one
// that none can play. The options stay in the settings for the next run.
TEST(BreakMusicController, UnplayableFilesGiveOneNoteAndOptionsAreKept) {
    Night night;
    for (int i = 0; i < 5; ++i)
        testing::writeFile(night.dir.path("bad" + std::to_string(i) + ".ogg"),
                           testing::randomBytes(5000, i));
    QSignalSpy notes(&night.music, &BreakMusicController::noteChanged);
    night.music.setOptions({true, QString::fromStdString(night.dir.path()), 40, 5});
    ASSERT_TRUE(QTest::qWaitFor([&] { return notes.count() == 2; }, 5000));
    QTest::qWait(200);
    EXPECT_EQ(notes.count(), 2);
    EXPECT_EQ(night.music.policy().unplayableCount(), 5U);
    EXPECT_TRUE(night.music.note().contains(QStringLiteral("none")));

    BreakMusicController later(night.settings);
    later.load();
    EXPECT_TRUE(later.options().on);
    EXPECT_EQ(later.options().path.toStdString(), night.dir.path());
    EXPECT_EQ(later.options().volume, 40);
    EXPECT_EQ(later.options().fadeSeconds, 5);
    later.shutDown();
}

}  // namespace
}  // namespace lyrvox
