// The host's windows for a night, offscreen: the Even loudness dialog's values
// land in the settings; a key and tempo set on a singer's queued song through the
// Singers window are stored with the entry (as `lyrvox-cdg queue list` reads them)
// and shown beside it; a singer's History lists only their songs, newest first,
// and exports just those.
#include <gtest/gtest.h>
#include <QtWidgets>
#include <sstream>

#include "app/even_loudness_dialog.h"
#include "app/library/key_tempo_dialog.h"
#include "app/library/rotation_window.h"
#include "app/qt_settings_store.h"
#include "library/library_index.h"
#include "library/singer_rotation.h"
#include "tools/cli/cli_commands.h"

namespace lyrvox {
namespace {

// OK or Cancel on the Even loudness dialog, from what the settings held before.
TEST(EvenLoudnessDialogTest, TheValuesChosenLandInTheSettings) {
    struct Case {
        const char* name;
        const char* storedOn;  // nullptr: absent
        const char* storedTarget;
        bool shownOn;
        int shownTarget;
        bool setOn;
        int setTarget;
        bool ok;
        const char* savedOn;  // what the settings hold afterwards (nullptr: absent)
        const char* savedTarget;
    };
    const Case cases[] = {
        {"defaults, switched off", nullptr, nullptr, true, -16, false, -20, true, "0", "-20"},
        {"switched on with a quieter target", "0", "-12", false, -12, true, -23, true, "1", "-23"},
        {"a target out of range shows in range", "1", "-45", true, -30, true, -30, true, "1",
         "-30"},
        {"the target box keeps to the range", "1", "-16", true, -16, true, 99, true, "1", "-6"},
        {"cancel leaves the settings", "1", "-45", true, -30, false, -10, false, "1", "-45"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QtSettingsStore settings(dir.filePath("settings.ini"));
        if (c.storedOn) settings.write(settings::kEvenLoudness, QString::fromLatin1(c.storedOn));
        if (c.storedTarget)
            settings.write(settings::kLoudnessTargetLufs, QString::fromLatin1(c.storedTarget));
        EvenLoudnessDialog dialog(settings);
        EXPECT_EQ(dialog.onBox()->isChecked(), c.shownOn);
        EXPECT_EQ(dialog.targetBox()->value(), c.shownTarget);
        EXPECT_EQ(dialog.targetBox()->isEnabled(), c.shownOn);
        dialog.onBox()->setChecked(c.setOn);
        EXPECT_EQ(dialog.targetBox()->isEnabled(), c.setOn);
        dialog.targetBox()->setValue(c.setTarget);
        c.ok ? dialog.accept() : dialog.reject();
        EXPECT_EQ(dialog.result(), c.ok ? QDialog::Accepted : QDialog::Rejected);
        const auto stored = [&](const Setting& s) {
            return settings.readText(QString::fromLatin1(s.key)).value_or("absent");
        };
        EXPECT_EQ(stored(settings::kEvenLoudness), c.savedOn ? c.savedOn : "absent");
        EXPECT_EQ(stored(settings::kLoudnessTargetLufs), c.savedTarget);
    }
}

// The Key and tempo dialog: "Remembered" stands for no value, and the boxes keep
// to the ranges the player can play.
TEST(KeyTempoDialogTest, RememberedIsNoValueAndTheBoxesKeepToTheirRanges) {
    struct Case {
        std::optional<int> key, tempo;            // given
        std::optional<int> shownKey, shownTempo;  // read back
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {3, std::nullopt, 3, std::nullopt},
        {std::nullopt, 90, std::nullopt, 90},
        {-12, 200, -SingerRotation::kMaxKey, 150},
        {12, 10, SingerRotation::kMaxKey, 50},
    };
    for (const Case& c : cases) {
        KeyTempoDialog dialog("Ann: A - One", c.key, c.tempo);
        EXPECT_EQ(dialog.key(), c.shownKey);
        EXPECT_EQ(dialog.tempo(), c.shownTempo);
        EXPECT_EQ(dialog.keyBox()->isEnabled(), c.key.has_value());
        EXPECT_EQ(dialog.tempoBox()->isEnabled(), c.tempo.has_value());
    }
    KeyTempoDialog dialog("Ann: A - One", std::nullopt, std::nullopt);
    dialog.keyRemembered()->setChecked(false);
    dialog.keyBox()->setValue(-4);
    EXPECT_EQ(dialog.key(), -4);
    dialog.keyRemembered()->setChecked(true);
    EXPECT_EQ(dialog.key(), std::nullopt);
}

struct NightWindowsTest : ::testing::Test {
    QTemporaryDir work;
    std::string db = work.filePath("library.db").toStdString();
    std::unique_ptr<LibraryIndex> index = std::make_unique<LibraryIndex>(db);
    std::unique_ptr<SingerRotation> rotation = std::make_unique<SingerRotation>(*index);
    QStringList messages;
    // What the Key and tempo question answers; false: cancelled.
    bool answerOk = true;
    std::optional<int> answerKey, answerTempo;
    QString asked;
    QString csvPath;
    RotationWindow window{
        {[this] { return rotation.get(); }, [this](const QString& text) { messages << text; },
         [](const QString&, const QString&) { return QString(); },
         [](const QString&, const QStringList&) { return QString(); }, [this] { return csvPath; },
         [this](const QString& song, std::optional<int>& key, std::optional<int>& tempo) {
             asked = song;
             if (!answerOk) return false;
             key = answerKey;
             tempo = answerTempo;
             return true;
         }}};

    RotationSong song(const std::string& title) {
        return {0,
                work.filePath("A - " + QString::fromStdString(title) + ".cdg").toStdString(),
                "A",
                title,
                std::nullopt,
                std::nullopt};
    }
    void choose(const QString& singer) {
        window.refresh();
        const auto found = window.list()->findItems(singer + ":", Qt::MatchStartsWith);
        ASSERT_EQ(found.size(), 1);
        window.list()->setCurrentItem(found[0]);
    }
    QStringList songLines() {
        QStringList lines;
        for (int i = 0; i < window.songList()->count(); ++i)
            lines << window.songList()->item(i)->text();
        return lines;
    }
    // `lyrvox-cdg queue list` on the same library file, as "STATUS OUT|ERR".
    std::string queueList() {
        std::ostringstream out, err;
        const int status = runQueue({"list", "--db", db}, out, err);
        return std::to_string(status) + " " + out.str() + "|" + err.str();
    }
};

// The host sets, changes and clears the key and tempo of Ann's queued songs: the
// entry holds them after a restart, `queue list` plays them, and the window shows
// them (or the remembered key, marked so) beside each song.
TEST_F(NightWindowsTest, KeyAndTempoSetOnAQueuedSongAreStoredAndShown) {
    ASSERT_TRUE(rotation->addSinger("Ann") && rotation->addSinger("Bob"));
    ASSERT_TRUE(rotation->addSong("Ann", song("One")) && rotation->addSong("Ann", song("Two")));
    ASSERT_TRUE(rotation->addSong("Bob", song("Three")));
    // Ann sang "One" a semitone up before: the key memory has it.
    ASSERT_TRUE(rotation->played({"Ann", song("One").path, "A", "One", 1000, 1, 100, "finished"}));
    struct Case {
        const char* name;
        int row;
        bool ok;
        std::optional<int> key, tempo;
        QString lines;     // Ann's songs in the window, "|" between
        const char* keys;  // the keys `queue list` gives Ann's One and Two
    };
    const std::optional<int> none;
    const Case cases[] = {
        {"nothing set: the remembered key", 0, false, none, none,
         "A - One  key +1 (remembered)|A - Two", "+1 0"},
        {"a key for the first", 0, true, 3, none, "A - One  key +3|A - Two", "+3 0"},
        {"key and tempo for the second", 1, true, -2, 90,
         "A - One  key +3|A - Two  key -2  tempo 90%", "+3 -2"},
        {"cancelled: nothing changes", 1, false, 5, 120,
         "A - One  key +3|A - Two  key -2  tempo 90%", "+3 -2"},
        {"back to remembered", 0, true, none, none,
         "A - One  key +1 (remembered)|A - Two  key -2  tempo 90%", "+1 -2"},
        {"the song's own key, set", 0, true, 0, 100, "A - One|A - Two  key -2  tempo 90%", "0 -2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose("Ann");
        answerOk = c.ok;
        answerKey = c.key;
        answerTempo = c.tempo;
        window.setKeyAndTempo(c.row);
        EXPECT_EQ(asked, c.row == 0 ? "Ann: A - One" : "Ann: A - Two");
        EXPECT_EQ(songLines().join('|'), c.lines);
        std::istringstream keys(c.keys);
        std::string one, two;
        keys >> one >> two;
        EXPECT_EQ(queueList(),
                  "0 Ann\tA\tOne\t" + one + "\nBob\tA\tThree\t0\nAnn\tA\tTwo\t" + two + "\n|");
        // After a restart the entry still holds what was set.
        rotation = std::make_unique<SingerRotation>(*index);
        choose("Ann");
        EXPECT_EQ(songLines().join('|'), c.lines);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    // Bob's songs show when he is chosen, and a row past the end asks nothing.
    choose("Bob");
    EXPECT_EQ(songLines(), QStringList{"A - Three"});
    asked.clear();
    window.setKeyAndTempo(1);
    EXPECT_TRUE(asked.isEmpty());
}

// A singer's history: only their songs, from every night, newest first, in the
// History window's columns; its CSV holds just those, and tonight's list is
// still everybody's. An export that fails says so.
TEST_F(NightWindowsTest, OneSingersHistoryListsOnlyTheirsNewestFirst) {
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    const std::int64_t lastWeek = now - 7 * 86400;
    const HistoryEntry played[] = {
        {"Ann", song("One").path, "A", "One", lastWeek, 2, 100, "finished"},
        {"Bob", song("Two").path, "A", "Two", lastWeek + 300, 0, 100, "finished"},
        {"Ann", song("Two").path, "A", "Two", now - 600, 0, 90, "skipped"},
        {"Bob", song("One").path, "A", "One", now - 300, -1, 100, "stopped"},
    };
    for (const HistoryEntry& e : played) ASSERT_TRUE(rotation->played(e));
    ASSERT_TRUE(rotation->addSinger("Ann") && rotation->addSinger("Bob") &&
                rotation->addSinger("Cy"));
    const auto when = [](std::int64_t at) {
        return QDateTime::fromSecsSinceEpoch(at).toString("yyyy-MM-dd HH:mm");
    };
    struct Case {
        QString singer;
        QString title;
        QStringList lines;
        int csvLines;  // the header and one a song
    };
    const Case cases[] = {
        {"Ann",
         "Lyrvox History: Ann",
         {when(now - 600) + "  Ann: A - Two  tempo 90%  (skipped)",
          when(lastWeek) + "  Ann: A - One  key +2  (finished)"},
         3},
        {"Bob",
         "Lyrvox History: Bob",
         {when(now - 300) + "  Bob: A - One  key -1  (stopped)",
          when(lastWeek + 300) + "  Bob: A - Two  (finished)"},
         3},
        {"Cy", "Lyrvox History: Cy", {}, 1},
        // Tonight's: everybody's of the last hours, oldest first.
        {"",
         "Lyrvox History",
         {QDateTime::fromSecsSinceEpoch(now - 600).toString("HH:mm") +
              "  Ann: A - Two  tempo 90%  (skipped)",
          QDateTime::fromSecsSinceEpoch(now - 300).toString("HH:mm") +
              "  Bob: A - One  key -1  (stopped)"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.singer.toStdString());
        window.showHistory(c.singer);
        EXPECT_EQ(window.historyWindow()->windowTitle(), c.title);
        QStringList lines;
        for (int i = 0; i < window.historyList()->count(); ++i)
            lines << window.historyList()->item(i)->text();
        EXPECT_EQ(lines, c.lines);
        csvPath = work.filePath("history " + c.singer + ".csv");
        window.exportHistory();
        QFile csv(csvPath);
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        EXPECT_EQ(text.count("\r\n"), c.csvLines);
        if (!c.singer.isEmpty()) {
            EXPECT_EQ(text.count("," + c.singer.toUtf8() + ","), c.csvLines - 1);
        }
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    // An export that cannot be written leaves no file and says so.
    csvPath = work.filePath("no such folder/night.csv");
    window.exportHistory();
    EXPECT_FALSE(QFile::exists(csvPath));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Could not export the history to "));
}

// The singers' right-click menu offers the history of the singer under the mouse.
TEST_F(NightWindowsTest, TheSingersMenuOffersTheirHistory) {
    ASSERT_TRUE(rotation->addSinger("Ann"));
    ASSERT_TRUE(rotation->played({"Ann", song("One").path, "A", "One", 1000, 0, 100, "finished"}));
    ASSERT_TRUE(rotation->addSong("Ann", song("Two")));
    window.open();
    QStringList seen;
    QTimer::singleShot(0, &window, [&] {
        for (QMenu* menu : window.findChildren<QMenu*>()) {
            for (QAction* action : menu->actions()) seen << action->text();
            for (QAction* action : menu->actions())
                if (action->text() == "History of Ann...") action->trigger();
            menu->close();
        }
    });
    const QRect row = window.list()->visualItemRect(window.list()->item(0));
    emit window.list()->customContextMenuRequested(row.center());
    EXPECT_TRUE(seen.contains("History of Ann...")) << seen.join('|').toStdString();
    EXPECT_EQ(window.historyList()->count(), 1);

    choose("Ann");
    seen.clear();
    QTimer::singleShot(0, &window, [&] {
        for (QMenu* menu : window.findChildren<QMenu*>()) {
            for (QAction* action : menu->actions()) seen << action->text();
            menu->close();
        }
    });
    const QRect songRow = window.songList()->visualItemRect(window.songList()->item(0));
    emit window.songList()->customContextMenuRequested(songRow.center());
    EXPECT_EQ(seen, QStringList{"Key and tempo..."});
}

}  // namespace
}  // namespace lyrvox
