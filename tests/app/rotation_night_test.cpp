// A night of singers through the Library and Singers windows and the control
// window (offscreen), with real playback sessions on built songs and fakes for
// the media, the dialogs and the settings: turns after songs that end by
// themselves, the remembered key, Stop giving the turn back, the plain queue when
// no singer can sing, and the history's CSV.
#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include "app/control_window.h"
#include "app/library/library_controller.h"
#include "app/qt_settings_store.h"
#include "app/window_text.h"
#include "display/display_window.h"
#include "playback/cdg/packet_encoder.h"
#include "support/session_world.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

struct RotationNightTest : ::testing::Test, DialogProvider {
    QTemporaryDir program, work;
    QStringList messages;
    QtSettingsStore settings{work.filePath("settings.ini")};
    testing::FakeMedia media;
    ControlWindow window{{media, *this, settings, {}, program.path(), [] {}}};
    std::unique_ptr<LibraryController> library;
    QString answer;  // to every question of the Singers window
    QString csvPath;

    RotationNightTest() {
        window.startUp({});
        library = std::make_unique<LibraryController>(
            window, *this, settings, work.filePath("library.db"), [] { return QString(); });
        lib().pauseBox()->setValue(0);
        RotationWindowDeps& deps = library->rotationWindow().deps();
        deps.askText = [this](const QString&, const QString&) { return answer; };
        deps.chooseItem = [this](const QString&, const QStringList&) { return answer; };
        deps.chooseCsvFile = [this] { return csvPath; };
    }
    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest&) override { return {}; }
    void showMessage(const QString& text) override { messages << text; }
    bool askYesNo(const QString&) override { return false; }
    bool openDocument(const QString&) override { return true; }

    LibraryWindow& lib() { return library->libraryWindow(); }
    RotationWindow& singers() { return library->rotationWindow(); }
    QString path(const QString& title) { return work.filePath("drive/A - " + title + ".cdg"); }
    // A graphics-only song: one packet (over at once), or ten seconds paced by the clock.
    void writeSong(const QString& title, bool long_ = false) {
        QDir().mkpath(work.filePath("drive"));
        std::vector<uint8_t> bytes = encode::fileOf({encode::memoryPreset(1)});
        for (int i = 0; long_ && i < 3000; ++i) encode::append(bytes, encode::memoryPreset(i % 16));
        testing::writeFile(toFsPath(path(title)), bytes);
    }
    void addSinger(const QString& name) {
        answer = name;
        singers().addSinger();
    }
    void addFor(const QString& name, const QString& title) {
        answer = name;
        singers().addForSinger({toFsPath(path(title)), "A", title.toStdString()});
    }
    QString playing() { return QFileInfo(QString::fromStdString(window.chosenFile())).baseName(); }
    bool idle() { return window.session().transport() == Transport::Idle; }
    // Tonight's history: "singer title key ended", joined by "|".
    std::string history() {
        std::string text;
        for (const HistoryEntry& e : library->rotation().historySince(0))
            text += e.singer + " " + e.title + " " + std::to_string(e.key) + " " + e.ended + "|";
        return text;
    }
    QPushButton* button(QWidget& in, const QString& text) {
        for (QPushButton* b : in.findChildren<QPushButton*>())
            if (b->text() == text) return b;
        return nullptr;
    }
};

// Two singers take turns after songs that end by themselves, the countdown naming
// the singer; the key the host set for Ann's first "One" is remembered and applied
// when "One" comes up for her again. The history exports as CSV, and a failed
// export leaves no file.
TEST_F(RotationNightTest, SingersTakeTurnsWithTheRememberedKeyAndTheHistoryExports) {
    for (const char* title : {"One", "Two", "Before"}) writeSong(title);
    addSinger("Ann");
    addSinger("Bob");
    addFor("Ann", "One");
    addFor("Ann", "One");
    addFor("Bob", "Two");
    ASSERT_TRUE(library->rotation().setSongKey("Ann", 0, 2, std::nullopt));
    EXPECT_EQ(singers().list()->item(0)->text(), "Ann: A - One  (+1)");
    const std::vector<RotationTurn> coming = library->comingTurns(3);
    ASSERT_EQ(coming.size(), 3u);
    EXPECT_EQ(coming[1].singer + coming[2].singer, "BobAnn");

    lib().pauseBox()->setValue(1);
    auto* display = qobject_cast<DisplayWindow*>(window.display().window());
    ASSERT_TRUE(display);
    QStringList banners;
    window.playFile(path("Before"));  // a song of the host's own, then the night
    QElapsedTimer clock;
    clock.start();
    while (history().size() < 3 * 10 && clock.elapsed() < 15000) {
        if (banners.isEmpty() || banners.last() != display->banner()) banners << display->banner();
        QTest::qWait(10);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }));
    EXPECT_EQ(history(), "Ann One 2 finished|Bob Two 0 finished|Ann One 2 finished|");
    EXPECT_EQ(media.keyAndTempo, std::make_pair(2, 100));
    banners.removeAll("");
    EXPECT_EQ(banners.value(0), "Next singer: Ann - A - One in 1 s");
    EXPECT_TRUE(banners.contains("Next singer: Bob - A - Two in 1 s"));
    EXPECT_TRUE(library->comingTurns(1).empty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();

    singers().showHistory();
    ASSERT_EQ(singers().historyList()->count(), 3);
    EXPECT_TRUE(
        singers().historyList()->item(0)->text().endsWith("Ann: A - One  key +2  (finished)"));
    csvPath = work.filePath("night.csv");
    button(*singers().historyWindow(), "Export CSV...")->click();
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count("\r\n"), 4);  // the header and three songs
    csvPath = work.filePath("no such folder/night.csv");
    singers().exportHistory();
    EXPECT_FALSE(QFile::exists(csvPath));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Could not export the history to "));
}

// Stop during a turn gives it back: the same singer and song come next, and the
// history says it was stopped; "Play queue" plays it again.
TEST_F(RotationNightTest, StopGivesTheTurnBack) {
    writeSong("Long", true);
    writeSong("Two");
    addSinger("Ann");
    addSinger("Bob");
    addFor("Ann", "Long");
    addFor("Bob", "Two");
    button(lib(), "Play queue")->click();
    EXPECT_EQ(playing(), "A - Long");
    ASSERT_TRUE(library->currentTurn());
    window.controls().stop->click();
    EXPECT_TRUE(idle() && !library->currentTurn());
    EXPECT_EQ(history(), "Ann Long 0 stopped|");
    const std::vector<RotationTurn> coming = library->comingTurns(2);
    ASSERT_EQ(coming.size(), 2u);
    EXPECT_EQ(coming[0].singer + " " + coming[0].song.title, "Ann Long");
    button(lib(), "Play queue")->click();
    EXPECT_EQ(playing(), "A - Long");
    button(lib(), "Play queue")->click();  // the host moves on
    EXPECT_EQ(playing(), "A - Two");
    EXPECT_EQ(history(), "Ann Long 0 stopped|Ann Long 0 skipped|");
}

// With no singer who can sing, the night is the plain queue.
TEST_F(RotationNightTest, NoSingerWhoCanSingLeavesThePlainQueue) {
    struct Case {
        const char* name;
        bool singer, song, away;
    };
    const Case cases[] = {{"no singers", false, false, false},
                          {"a singer without songs", true, false, false},
                          {"the only singer away", true, true, true}};
    writeSong("Queued");
    writeSong("Hers");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const RotationSinger& s : std::vector(library->rotation().singers()))
            library->rotation().removeSinger(s.name);
        if (c.singer) addSinger("Ann");
        if (c.song) addFor("Ann", "Hers");
        if (c.away) {
            singers().refresh();
            singers().list()->setCurrentRow(0);
            button(singers(), "Away/Back")->click();
            EXPECT_EQ(singers().list()->item(0)->text(), "Ann  (away): A - Hers");
        }
        lib().addToQueue({toFsPath(path("Queued")), "A", "Queued"});
        button(lib(), "Play queue")->click();
        EXPECT_EQ(playing(), "A - Queued");
        ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }));
        EXPECT_EQ(history(), "");
    }
}

// Between turns the up-next screen names the singer, the song and who follows; H
// holds the pause past its end and lets it go on, and Enter starts the turn now.
TEST_F(RotationNightTest, TheUpNextScreenHoldsAndStartsOnTheHostsKeys) {
    for (const char* title : {"One", "Two", "Before"}) writeSong(title);
    addSinger("Ann");
    addSinger("Bob");
    addFor("Ann", "One");
    addFor("Bob", "Two");
    lib().pauseBox()->setValue(1);
    auto* display = qobject_cast<DisplayWindow*>(window.display().window());
    ASSERT_TRUE(display);
    const UpNextScreen& screen = display->upNextScreen();
    window.playFile(path("Before"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.isShown(); }, 5000));
    EXPECT_EQ(screen.next().singer, "Ann");
    EXPECT_EQ(screen.next().song, "A - One");
    EXPECT_EQ(screen.next().following, QStringList{"Bob"});

    QTest::keyClick(display, Qt::Key_H);
    ASSERT_TRUE(screen.next().held);
    QTest::qWait(1500);  // past the pause: held, nothing starts
    EXPECT_EQ(window.session().transport(), Transport::Waiting);
    QTest::keyClick(display, Qt::Key_H);
    EXPECT_FALSE(screen.next().held);
    ASSERT_TRUE(QTest::qWaitFor([&] { return playing() == "A - One"; }, 3000));
    EXPECT_FALSE(screen.isShown());

    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.isShown(); }, 5000));
    EXPECT_EQ(screen.next().singer, "Bob");
    QTest::keyClick(display, Qt::Key_Return);  // at once, not after the second
    EXPECT_EQ(playing(), "A - Two");
    EXPECT_FALSE(screen.isShown());
}

}  // namespace
}  // namespace lyrvox
