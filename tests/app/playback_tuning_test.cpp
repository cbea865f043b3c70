// Key and tempo where the media control can and cannot change them: what the user
// is told, what the status line shows and what reaches the media.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "app/playback_tuning.h"
#include "app/qt_settings_store.h"
#include "app/session_driver.h"
#include "support/session_world.h"

namespace lyrvox {
namespace {

// A media control of a system that lacks the part for key and tempo, or has it.
class Media : public testing::FakeMedia {
  public:
    std::string missing;
    bool setKeyAndTempo(int semitones, int tempoPercent) override {
        FakeMedia::setKeyAndTempo(semitones, tempoPercent);
        return missing.empty();
    }
    std::string keyAndTempoMissing() override { return missing; }
};

// Key up and tempo down, then back to the original: where the part is missing, both
// stay the song's own (0 and 100%, no status suffix, the media never asked to change)
// and each command's note names what is missing, not the file.
TEST(PlaybackTuning, KeyAndTempoShowUnchangedWhereTheyCannotChange) {
    const std::string missing =
        "Key and tempo need GStreamer's SoundTouch plugin (gstreamer1.0-plugins-bad)";
    const struct {
        std::string missing;
        int key, tempo;
        QString suffix;
        QStringList notes;
        std::pair<int, int> atMedia;
    } cases[] = {
        {"", 1, 95, "  Key +1, Tempo 95%", {"Key +1, Tempo 100%", "Key +1, Tempo 95%"}, {1, 95}},
        {missing,
         0,
         100,
         "",
         {QString::fromStdString(missing), QString::fromStdString(missing)},
         {0, 100}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing);
        const QTemporaryDir dir;
        Media media;
        media.missing = c.missing;
        SessionDriver driver(media, "");
        QtSettingsStore settings(dir.filePath("lyrvox.ini"));
        QStringList notes;
        PlaybackTuning tuning(driver.session(), media, settings,
                              [&](const QString& note) { notes << note; });
        tuning.changeKey(1);
        tuning.changeTempo(-PlaybackTuning::kTempoStep);
        EXPECT_EQ(tuning.keyShift(), c.key);
        EXPECT_EQ(tuning.tempoPercent(), c.tempo);
        EXPECT_EQ(tuning.statusSuffix(), c.suffix);
        EXPECT_EQ(notes, c.notes);
        EXPECT_EQ(media.keyAndTempo, c.atMedia);
        tuning.resetKeyAndTempo();
        EXPECT_EQ(tuning.statusSuffix(), "");
        EXPECT_EQ(media.keyAndTempo, std::make_pair(0, 100));
    }
}

}  // namespace
}  // namespace lyrvox
