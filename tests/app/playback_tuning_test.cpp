// Key and tempo where the media control can and cannot change them: what the user
// is told, what the status line shows and what reaches the media.
#include <gtest/gtest.h>
#include <QMenu>
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
    std::string engine;
    std::string keyEngine() override { return engine; }
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

// Which part changes the key shows in tool tips, not in the status line's suffix: on the
// key's menu entries always, and for the status line while the key is not the song's own.
TEST(PlaybackTuning, KeyEngineShowsInToolTips) {
    const struct {
        std::string engine;
        QString tip;
    } cases[] = {{"Rubber Band, formants kept", "Key by Rubber Band, formants kept"},
                 {"SoundTouch", "Key by SoundTouch"},
                 {"", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.engine);
        const QTemporaryDir dir;
        Media media;
        media.engine = c.engine;
        SessionDriver driver(media, "");
        QtSettingsStore settings(dir.filePath("lyrvox.ini"));
        PlaybackTuning tuning(driver.session(), media, settings, [](const QString&) {});
        tuning.changeTempo(-PlaybackTuning::kTempoStep);
        EXPECT_EQ(tuning.keyEngineTip(), "");  // the key is the song's own
        tuning.changeKey(2);
        EXPECT_EQ(tuning.statusSuffix(), "  Key +2, Tempo 95%");
        EXPECT_EQ(tuning.keyEngineTip(), c.tip);
        QMenu menu;
        tuning.addMenuEntries(menu);
        int keyEntries = 0;
        for (QAction* action : menu.actions()) {
            if (!action->text().startsWith("Key ")) continue;
            ++keyEntries;
            if (c.tip.isEmpty()) {
                EXPECT_FALSE(action->toolTip().startsWith("Key by"));
            } else {
                EXPECT_EQ(action->toolTip(), c.tip);
            }
        }
        EXPECT_EQ(keyEntries, 2);
        tuning.resetKeyAndTempo();
        EXPECT_EQ(tuning.keyEngineTip(), "");
    }
}

}  // namespace
}  // namespace lyrvox
