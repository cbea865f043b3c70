// Even loudness in the player: the gain each song's audio is opened with, from the
// readings in the library and the settings; and the background measuring, which
// runs the real command-line tool in a process of its own.
#include <gtest/gtest.h>

#include <gst/gst.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>

#include "app/even_loudness_media.h"
#include "app/loudness_measuring.h"
#include "app/qt_settings_store.h"
#include "library/library_index.h"
#include "library/loudness_store.h"
#include "playback/media/gst_media_control.h"
#include "playback/media/loudness_gain.h"
#include "support/session_world.h"
#include "support/test_files.h"
#include "support/tone_wav.h"

namespace lyrvox {
namespace {

struct GainMedia : testing::FakeMedia {
    double gain = -99.0;
    void setLoudnessGain(double gainDb) override { gain = gainDb; }
};

struct Reading {
    double lufs;
    double peak;
};

TEST(EvenLoudnessMedia, OpensEachSongWithTheGainOfItsKeptReading) {
    // The rule itself (rise, fall, the peak's ceiling) is LoudnessGain's; here the reading
    // each song is opened with.
    struct Case {
        const char* name;
        bool even;
        int target;
        std::optional<Reading> kept;  // none: never measured
        bool zip;                     // the reading is the zip's, the audio a scratch copy
        bool changedSince;            // the file was rewritten after it was measured
        double gain;
    } cases[] = {
        {"quiet song rises", true, -16, Reading{-23.0, -12.0}, false, false, 7.0},
        {"another target", true, -20, Reading{-9.5, 0.2}, false, false, -10.5},
        {"zip's own reading", true, -16, Reading{-20.0, -10.0}, true, false, 4.0},
        {"never measured", true, -16, std::nullopt, false, false, 0.0},
        {"measured in an older version", true, -16, Reading{-23.0, -12.0}, false, true, 0.0},
        {"switched off", false, -16, Reading{-23.0, -12.0}, false, false, 0.0},
    };
    for (const Case& c : cases) {
        testing::TempFolder dir;
        const std::string song = dir.path(c.zip ? "song.zip" : "song.cdg");
        const std::string audio = dir.path("song.mp3");
        testing::writeFile(song, std::string("graphics"));
        testing::writeFile(audio, std::string("audio"));
        const std::string source = c.zip ? song : audio;
        LibraryIndex index(dir.path("library.db"));
        ASSERT_TRUE(index.isOpen());
        if (c.kept) {
            FileVersion version = *fileVersion(source);
            if (c.changedSince) version.mtimeNs -= 1'000'000'000;
            LoudnessStore(index).save(
                source, version, {.integratedLufs = c.kept->lufs, .truePeakDbtp = c.kept->peak});
        }
        QtSettingsStore settings(QString::fromStdString(dir.path("lyrvox.ini")));
        settings.writeNumber(settings::kEvenLoudness, c.even ? 1 : 0);
        settings.writeNumber(settings::kLoudnessTargetLufs, c.target);
        GainMedia inner;
        EvenLoudnessMedia media(inner, settings, [&index] { return &index; });
        media.setSongFile(song);
        // A zipped song's audio is a copy elsewhere; the reading is found by the zip.
        media.open(c.zip ? dir.path("scratch-copy.mp3") : audio, false);
        EXPECT_NEAR(inner.gain, c.gain, 1e-9) << c.name;
        EXPECT_EQ(inner.calls.front(), "open " + (c.zip ? dir.path("scratch-copy.mp3") : audio))
            << c.name;
    }
}

TEST(EvenLoudnessMedia, WithoutALibraryEverySongPlaysAtUnity) {
    testing::TempFolder dir;
    testing::writeFile(dir.path("song.mp3"), std::string("audio"));
    QtSettingsStore settings(QString::fromStdString(dir.path("lyrvox.ini")));
    GainMedia inner;
    EvenLoudnessMedia media(inner, settings);
    media.open(dir.path("song.mp3"), false);
    EXPECT_EQ(inner.gain, 0.0);
}

// The loudest sample that reaches the output, as float.
struct PeakTap {
    std::atomic<float> peak{0.0f};
    GstElement* makeSink() {
        GstElement* sink = gst_parse_bin_from_description(
            "audioconvert ! audio/x-raw,format=F32LE ! fakesink name=tap sync=false "
            "signal-handoffs=true",
            TRUE, nullptr);
        GstElement* tap = gst_bin_get_by_name(GST_BIN(sink), "tap");
        g_signal_connect(tap, "handoff", G_CALLBACK(&PeakTap::handoff), this);
        gst_object_unref(tap);
        return sink;
    }
    static void handoff(GstElement*, GstBuffer* buffer, GstPad*, PeakTap* self) {
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
        const auto* data = reinterpret_cast<const float*>(map.data);
        float peak = self->peak;
        for (std::size_t i = 0; i < map.size / sizeof(float); ++i)
            peak = std::max(peak, std::fabs(data[i]));
        self->peak = peak;
        gst_buffer_unmap(buffer, &map);
    }
};

// On the real pipeline the song's gain multiplies the user's volume, and the next
// song starts at unity again.
TEST(LoudnessGain, ScalesWhatThePipelinePlays) {
    testing::TempFolder dir;
    testing::writeFile(dir.path("tone.wav"), testing::sineWav(-20.0, 1000.0, 0.5));
    const struct {
        int volume;
        std::optional<double> gainDb;  // none: not set after this open
        double peak;
    } cases[] = {
        {100, 0.0, 0.1},
        {100, 6.0, 0.1 * gainFactor(6.0)},
        {100, -10.0, 0.1 * gainFactor(-10.0)},
        {50, 6.0, 0.125 * 0.1 * gainFactor(6.0)},  // 50% on the cubic scale: 0.125
        {100, std::nullopt, 0.1},
    };
    PeakTap tap;
    GstMediaControl media(nullptr, [&tap] { return tap.makeSink(); });
    media.setLoudnessGain(-20.0);  // for the medium open now (none): not the next one
    for (const auto& c : cases) {
        tap.peak = 0.0f;
        media.setVolume(c.volume);
        media.open(dir.path("tone.wav"), false);
        if (c.gainDb) media.setLoudnessGain(*c.gainDb);
        media.play();
        ASSERT_TRUE(QTest::qWaitFor([&] { return media.state() == MediaState::Ended; }, 10000));
        EXPECT_NEAR(tap.peak, c.peak, c.peak * 0.02) << c.volume << " " << c.gainDb.value_or(0);
        media.setLoudnessGain(12.0);  // left on the old song: the next open starts at unity
    }
}

TEST(LoudnessMeasuring, MeasuresTheLibraryInTheBackgroundAndStartsAgainWhenAsked) {
    const char* tool = std::getenv("LYRVOX_CDG");
    ASSERT_NE(tool, nullptr);
    testing::TempFolder dir;
    const std::string db = dir.path("library.db");
    {
        LibraryIndex index(db);  // an empty library: the run ends at once
        ASSERT_TRUE(index.isOpen());
    }
    LoudnessMeasuring measuring(QString::fromStdString(db), QString::fromLocal8Bit(tool));
    QSignalSpy ended(&measuring, &LoudnessMeasuring::finished);
    measuring.start();
    measuring.start();  // asked again while running: one more run after this one
    ASSERT_TRUE(ended.wait(20000));
    if (ended.size() < 2) {
        ASSERT_TRUE(ended.wait(20000));
    }
    EXPECT_EQ(ended.size(), 2);
    EXPECT_EQ(ended.at(0).at(0).toString(),
              QStringLiteral("0 measured, 0 without audio, 0 already known"));
    EXPECT_FALSE(measuring.running());

    LoudnessMeasuring missing(QString::fromStdString(db), QStringLiteral("/nonexistent/tool"));
    QSignalSpy failed(&missing, &LoudnessMeasuring::finished);
    missing.start();
    ASSERT_TRUE(failed.size() == 1 || failed.wait(5000));
}

}  // namespace
}  // namespace lyrvox
