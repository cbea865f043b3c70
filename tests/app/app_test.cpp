// The control window through its commands and controls (offscreen), with real playback
// sessions on built songs and fakes for the media, the dialogs and the settings; and its
// pieces without widgets: command line, frame rates, paths, settings and snapshot files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QTest>
#include <QtWidgets>

#include "app/control_window.h"
#include "app/library/library_controller.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "app/song_drops.h"
#include "app/window_text.h"
#include "display/display_window.h"
#include "display/snapshot.h"
#include "library/library_scanner.h"
#include "playback/cdg/packet_encoder.h"
#include "support/session_world.h"
#include "support/sqlite_shell.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

// The fixture is the window's dialogs and settings too, in a current folder of its own.
struct ControlWindowTest : ::testing::Test, DialogProvider, SettingsStore {
    QTemporaryDir program, work;
    const QString cwd = QDir::currentPath();
    std::optional<OpenFileChoice> answer;  // the next Open's choice; none: cancelled
    std::vector<OpenFileRequest> requests;
    QStringList messages, opened;
    std::optional<QString> savedFolder;
    bool viewerStarts = true, canSave = true, yes = false;
    bool realQuestions = false;         // questions in a real modal box
    std::function<void()> whileAsking;  // done once, with the next question open
    int ends = 0;
    testing::FakeMedia media;
    std::map<QString, QString> texts;  // other settings: made before the window, gone after it
    ControlWindow window{{media, *this, *this, {}, program.path(), [this] { ++ends; }}};
    const ControlLayout& c = window.controls();

    ControlWindowTest() { QDir::setCurrent(work.path()); }
    ~ControlWindowTest() override { QDir::setCurrent(cwd); }
    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest& request) override {
        requests.push_back(request);
        return std::exchange(answer, std::nullopt);
    }
    void showMessage(const QString& text) override { messages << text; }
    bool askYesNo(const QString& text) override {  // the user answers `yes`
        messages << "?" + text;
        if (realQuestions) return QtDialogProvider(&window).askYesNo(text);
        if (whileAsking) std::exchange(whileAsking, nullptr)();
        return yes;
    }
    bool openDocument(const QString& path) override {
        opened << path;
        return viewerStarts;
    }
    std::optional<QString> readPath() override { return savedFolder; }
    bool writePath(const QString& folder) override {
        if (canSave) savedFolder = folder;
        return canSave;
    }
    std::optional<QString> readText(const QString& key) override {
        return texts.contains(key) ? std::optional(texts[key]) : std::nullopt;
    }
    bool writeText(const QString& key, const QString& value) override {
        texts[key] = value;
        return true;
    }
    // A graphics-only song of ten seconds: its session is paced by the clock.
    static void writeSong(const std::string& path) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 3000; ++i) encode::append(bytes, encode::memoryPreset(i % 16));
        testing::writeFile(path, bytes);
    }
    void open(const QString& path, int filterIndex = 2) {
        answer = OpenFileChoice{path, filterIndex};
        window.openSong();
    }
    void key(QWidget* target, QKeySequence keys) {
        QApplication::setActiveWindow(target);  // shortcuts go to the active window's
        QTest::keySequence(target, keys);
    }
    bool idle() { return window.session().transport() == Transport::Idle; }
    // The transport at a glance: the Play caption; Open, Play and Stop enabled (+) or
    // not (-); a session running (R) and paused (P); the status.
    std::string transport() {
        const auto on = [](QWidget* w) { return w->isEnabled() ? "+" : "-"; };
        const Transport t = window.session().transport();
        return (c.play->text() + " " + on(c.open) + on(c.play) + on(c.stop) +
                (window.session().songRunning() ? " R" : "") + (t == Transport::Paused ? "P" : "") +
                " " + c.status->text())
            .toStdString();
    }
};

TEST_F(ControlWindowTest, StartsUpAndItsKeysFrameRateAndOptionsWork) {
    QTimer& timer = window.displayTimer();
    window.startUp({});
    EXPECT_TRUE(timer.interval() == 67 && timer.isActive() && c.frameRate->currentText() == "15");
    EXPECT_EQ(transport(), "&Play +-- Click OPEN to play a file...");
    EXPECT_TRUE(window.isVisible() && window.focusWidget() == c.options);
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    // The access keys click their buttons: Alt+O, a cancelled Open.
    QTest::keyClick(window.windowHandle(), Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return requests.size() == 1; }));
    c.frameRate->setCurrentIndex(6);  // "2"
    EXPECT_TRUE(timer.interval() == 500 && timer.isActive());
    // Tab goes round the controls in sight only: the extraction area's once it is shown.
    const auto tabStopsInExtraction = [&] {
        int stops = 0;
        for (int i = 0; i < 30; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab))
            stops += c.extractionArea->isAncestorOf(QApplication::focusWidget());
        return stops;
    };
    EXPECT_EQ(tabStopsInExtraction(), 0);
    for (int twips : {2775, 1725, 2775}) {
        window.toggleOptions();
        EXPECT_EQ(window.outerHeightTwips(), twips);
    }
    EXPECT_GT(tabStopsInExtraction(), 0);
}

TEST_F(ControlWindowTest, OpenStartsInTheSavedFolderWithTheLastFileType) {
    const QString folder = work.filePath("My Songs.v2/Ünï"), song = folder + "/a b.cdg";
    ASSERT_TRUE(QDir().mkpath(folder));
    window.snapshots().nextNumber = 5;
    open(song, 3);  // a successful Open restarts the snapshot numbers
    EXPECT_TRUE(requests.at(0).folder == program.path() + "/" && requests[0].filterIndex == 2);
    EXPECT_TRUE(window.chosenFile() == song.toStdString() && savedFolder == folder + "/");
    EXPECT_TRUE(transport() == "&Play ++- Click PLAY to start." && !window.snapshots().nextNumber);
    window.snapshots().nextNumber = 5;
    window.openSong();  // cancelled: nothing changes
    EXPECT_TRUE(requests.at(1).folder == folder + "/" && requests[1].filterIndex == 3);
    EXPECT_TRUE(window.chosenFile() == song.toStdString() && window.snapshots().nextNumber == 5);
    ASSERT_TRUE(QDir(work.filePath("My Songs.v2")).removeRecursively());
    canSave = false;
    c.play->setEnabled(false);
    open(song);  // the saved folder has gone: the program's folder again
    EXPECT_EQ(requests.at(2).folder, program.path() + "/");
    EXPECT_TRUE(c.play->isEnabled());  // although the folder could not be saved
}

// Play returns at once with the song running; Pause, Continue and Stop act at once, the
// caption before the media; a Stop or a Play right after a start takes effect.
TEST_F(ControlWindowTest, PauseContinueAndStopDuringASessionAndNothingPlayableEndsIdle) {
    writeSong("song.cdg");
    window.startUp({});
    open(work.filePath("song.cdg"));
    std::vector<std::string> seen;  // the transport before each click, then each media call
    media.onCall = [&](const std::string& call) {
        seen.push_back(call + " under " + c.play->text().toStdString());
    };
    window.playPauseOrContinue();
    for (int i = 0; i < 3; ++i) {
        seen.push_back(transport());
        c.play->click();
    }
    c.stop->click();  // while paused
    EXPECT_EQ(seen, std::vector<std::string>(
                        {"stop under &Pause", "close under &Pause",
                         "&Pause -++ R Playing: song.CDG (only)", "pause under &Cont",
                         "&Cont -++ RP Playing: song.CDG (only)", "play under &Pause",
                         "&Pause -++ R Playing: song.CDG (only)", "pause under &Cont",
                         "stop under &Cont", "close under &Cont"}));
    EXPECT_EQ(transport(), "&Play ++- Ready.");
    media.onCall = {};
    // Songs that end by themselves: a short song, and paths naming nothing playable.
    testing::writeFile("short.cdg", encode::fileOf({encode::memoryPreset(1)}));
    ASSERT_TRUE(QDir().mkdir("folder"));
    media.unplayable = {work.filePath("folder").toStdString()};
    for (const auto& [path, status] : {std::pair{work.filePath("short.cdg"), "Ready."},
                                       {work.filePath("folder"), "Cannot play: folder"},
                                       {QString(), "Ready."}}) {
        open(path);
        window.playPauseOrContinue();
        EXPECT_TRUE(QTest::qWaitFor([&] { return idle(); }));
        EXPECT_EQ(transport(), std::string("&Play ++- ") + status);
    }
}

TEST_F(ControlWindowTest, CommandLinePlaysAtStartUpAndSnapshotsNeverReplaceFiles) {
    ASSERT_TRUE(QDir().mkdir("My Songs"));
    writeSong("My Songs/a.cdg");
    c.time->setText("09:59");  // an earlier song's
    window.startUp({("\"" + work.path() + "/My").toStdString(), "Songs/a.cdg\""});
    c.play->click();  // it pauses as an opened song does; no stem yet: 000.bmp, 001.bmp
    EXPECT_EQ(transport() + " " + c.time->text().toStdString(),
              "&Cont -++ RP Playing: a.CDG (only) 00:00");
    window.takeSnapshot();
    window.takeSnapshot();
    c.stop->click();
    testing::writeFile("nofile000.bmp", std::string("keep"));
    window.takeSnapshot();  // nofile002.bmp: the numbers go on
    open("song.cdg");       // they restart, at the first free name
    window.takeSnapshot();
    window.takeSnapshot();
    EXPECT_EQ(testing::readFile("nofile000.bmp"), "keep");
    EXPECT_EQ(QDir().entryList({"*.bmp"}),
              QStringList({"000.bmp", "001.bmp", "nofile000.bmp", "nofile001.bmp", "nofile002.bmp",
                           "nofile003.bmp"}));
    // In a deleted current folder: reported, not written to /, the number kept.
    ASSERT_TRUE(QDir().mkdir("gone") && QDir::setCurrent("gone") &&
                QDir().rmdir(work.filePath("gone")));
    window.takeSnapshot();
    EXPECT_EQ(messages, QStringList({"Cannot save the snapshot: nofile004.bmp"}));
    EXPECT_TRUE(!QFile::exists("/nofile004.bmp") && window.snapshots().nextNumber == 4);
}

// Names as the system gave them: Latin-1 bytes reach the disk unchanged; the status shows
// them with replacement characters and a newline as a visible mark, never cut.
TEST_F(ControlWindowTest, CommandLineNamesThatAreNotUtf8) {
    const std::string folder = work.path().toStdString() + "/";
    for (const auto& [name, shown] : {std::pair<std::string, QString>{"Caf\xE9.cdg", "Caf\uFFFD"},
                                      {"two\nlines.cdg", "two\u240Alines"}}) {
        writeSong(folder + name);
        window.startUp({folder + name});
        EXPECT_EQ(c.status->text(), "Playing: " + shown + ".CDG (only)");
        c.stop->click();
    }
}

// A file dropped on either window plays as if opened, a running song stopped first; a
// folder or a file of another kind is named in a message.
TEST_F(ControlWindowTest, DroppedFilesPlayOrAreRefused) {
    writeSong("long.cdg");
    testing::writeFile("short.cdg", encode::fileOf({encode::memoryPreset(1)}));
    testing::writeFile("notes.txt", std::string("x"));
    window.startUp({});
    // As the window system delivers a drop: to the watcher of a window that takes drops.
    const auto drop = [&](QWidget* target, const QString& name) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(work.filePath(name))});
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        EXPECT_TRUE(target->acceptDrops() &&
                    window.findChild<SongDrops*>()->eventFilter(target, &event));
    };
    drop(window.display().window(), "long.cdg");
    EXPECT_EQ(transport(), "&Pause -++ R Playing: long.CDG (only)");
    drop(&window, "short.cdg");  // while it plays: long is stopped
    EXPECT_TRUE(window.chosenFile().ends_with("short.cdg"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle(); }));
    EXPECT_EQ(transport(), "&Play ++- Ready.");
    for (const QString name : {"", "notes.txt"}) drop(&window, name);
    QTest::qWait(50);
    EXPECT_EQ(messages, QStringList({"Cannot play a folder: " + work.filePath(""),
                                     "Not a song or media file: " + work.filePath("notes.txt")}));
}

// The song goes on while the window waits for the user elsewhere or works in the
// background: its picture advances while the Replace? question is open, while the
// library's folder chooser is open and while a conversion runs.
TEST_F(ControlWindowTest, PictureAdvancesWhileADialogIsOpenOrAConversionRuns) {
    writeSong("a.cdg");  // ten seconds, paced by the clock
    testing::writeFile("x.bin", testing::makeImage(2));
    testing::writeFile("x.cdg", std::string("old"));
    testing::writeFile("big.bin", std::string());  // sparse: far more than half a second's work
    std::filesystem::resize_file("big.bin", 10'000'000ULL * 2448);
    window.startUp({});
    LibraryController library(window, *this, *this, work.filePath("library.db"), [&] {
        return QFileDialog::getExistingDirectory(&library.libraryWindow(), "Add a song folder");
    });
    realQuestions = true;
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"question",
         [&] {
             c.source->setText(work.filePath("x.bin"));
             c.convert->click();
         }},
        {"folder chooser", [&] { library.libraryWindow().addFolder(); }},
        {"conversion",
         [&] {
             c.source->setText(work.filePath("big.bin"));
             c.convert->click();
             QTest::qWait(700);
             EXPECT_EQ(c.convert->text(), "Stop");  // still converting
             c.convert->click();
             EXPECT_TRUE(QTest::qWaitFor([&] { return c.convert->text() == "Convert"; }));
         }},
    };
    for (const auto& [what, openDialog] : dialogs) {
        SCOPED_TRACE(what);
        open(work.filePath("a.cdg"));
        window.playPauseOrContinue();
        // The target moves only with the passes (the drawn packets may wait up to half a
        // second for it at a start on the clock).
        const auto packets = [&] { return window.session().state().targetPacket; };
        int32_t before = -1, after = -1;
        QTimer::singleShot(100, [&] {  // inside the dialog's own event loop
            before = packets();
            QTimer::singleShot(500, [&] {
                after = packets();
                if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            });
        });
        openDialog();
        EXPECT_GT(after - before, 75) << before;  // of the 150 due in half a second
        c.stop->click();
    }
    EXPECT_EQ(testing::readFile("x.cdg"), "old");  // closing the question answered No
}

// Keys on either window: O, Space (whatever has the focus), S, Ctrl+S, + and -, Left and
// Right for the offset (kept between runs, within a second either way), Ctrl+Q.
TEST_F(ControlWindowTest, KeysDriveTheTransportTheOffsetAndTheDisplay) {
    writeSong("a.cdg");
    texts["Display/OffsetMs"] = "995";
    window.startUp({});
    answer = OpenFileChoice{work.filePath("a.cdg"), 2};
    key(&window, Qt::Key_O);
    EXPECT_EQ(window.chosenFile(), work.filePath("a.cdg").toStdString());
    std::vector<std::string> seen;
    key(&window, Qt::Key_Space);  // plays
    QTest::qWait(100);            // the display window is up
    QWidget* display = window.display().window();
    key(display, Qt::Key_Space);  // pauses, from the picture's window
    seen.push_back(transport());
    key(&window, Qt::Key_Space);  // focus on the options button: it still continues
    seen.push_back(transport());
    for (auto k : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Left})
        key(k == Qt::Key_Right ? &window : display, k);
    seen.push_back(std::to_string(window.session().state().offsetMs));
    const int width = display->width();
    key(display, Qt::Key_Plus);
    seen.push_back(std::to_string(display->width() > width));
    key(display, Qt::Key_Minus);
    seen.push_back(std::to_string(display->width() == width));
    key(&window, Qt::Key_F11);
    seen.push_back(std::to_string(display->isFullScreen()));
    key(display, Qt::Key_F11);
    key(&window, QKeySequence("Ctrl+S"));
    key(display, Qt::Key_S);
    EXPECT_EQ(seen, std::vector<std::string>({"&Cont -++ RP Playing: a.CDG (only)",
                                              "&Pause -++ R Playing: a.CDG (only)", "980", "1", "1",
                                              "1"}));
    EXPECT_TRUE(QFile::exists("nofile000.bmp") && window.outerHeightTwips() == 1725);
    EXPECT_EQ(texts["Display/OffsetMs"], "980");
    texts["Display/OffsetMs"] = "-5000";
    window.startUp({});
    EXPECT_EQ(window.session().state().offsetMs, -1000);
    key(&window, QKeySequence("Ctrl+Q"));
    EXPECT_EQ(ends, 1);
}

// Key and tempo reach the media at once and within their ranges, show in the status line
// while not the song's own, and start over with each new song unless kept; the volume is
// remembered.
TEST_F(ControlWindowTest, KeyTempoAndVolume) {
    writeSong("a.cdg");
    texts["Playback/Volume"] = "97";
    window.startUp({});
    EXPECT_EQ(media.volume, 97);
    for (auto k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down}) key(&window, k);
    EXPECT_EQ(texts["Playback/Volume"], "90");
    open(work.filePath("a.cdg"));
    for (int i = 0; i < 8; ++i) key(&window, Qt::Key_BracketRight);
    for (int i = 0; i < 12; ++i) key(&window, Qt::Key_BraceLeft);
    EXPECT_EQ(media.keyAndTempo, std::pair(6, 50));
    EXPECT_EQ(c.status->text(), "Click PLAY to start.  Key +6, Tempo 50%");
    open(work.filePath("a.cdg"));
    EXPECT_EQ(media.keyAndTempo, std::pair(0, 100));
    EXPECT_EQ(c.status->text(), "Click PLAY to start.");
    window.tuning().setKeepKeyAndTempo(true);
    key(&window, Qt::Key_BracketLeft);
    key(&window, Qt::Key_BraceRight);
    open(work.filePath("a.cdg"));
    EXPECT_EQ(media.keyAndTempo, std::pair(-1, 105));
    EXPECT_EQ(window.session().state().tempoPercent, 105);  // the clock's pace too
    EXPECT_EQ(texts["Playback/KeepKeyAndTempo"], "1");
}

// The window closed right after a start: the song abandoned without its end steps.
TEST_F(ControlWindowTest, ClosingDuringCommandLinePlaybackEndsAtOnce) {
    writeSong("a.cdg");
    window.startUp({work.filePath("a.cdg").toStdString()});
    window.close();
    EXPECT_TRUE(ends == 1 && window.snapshots().stem.isEmpty());  // the rest is skipped
    EXPECT_EQ(media.calls, std::vector<std::string>({"stop", "close", "stop", "close"}));
    EXPECT_EQ(transport(), "&Pause -++ Playing: a.CDG (only)");  // the end steps are skipped
}

TEST_F(ControlWindowTest, DisplayTickCopiesThePictureAndShowsTheTime) {
    window.startUp({});
    PlayerState& s = window.session().state();
    s.machine.needsRedraw = true;
    s.machine.picture.clearTo(0);  // black, where the first copy was white
    window.onDisplayTick();
    const auto* display = qobject_cast<DisplayWindow*>(window.display().window());
    EXPECT_TRUE(!s.machine.needsRedraw && display->frame().pixelColor(0, 0) == Qt::black);
    // The time moves on a second (300 packets) or more after the time last shown; far-apart
    // values do not wrap. A negative target at a clock-paced start shows nothing either.
    const std::string far = packetsToTime(static_cast<float>(INT32_MAX));
    const std::pair<int32_t, std::string> ticks[] = {
        {299, "00:00"},  {310, "00:01"},       {609, "00:01"},   {610, "00:02"},
        {-150, "00:02"}, {INT32_MIN, "00:02"}, {INT32_MAX, far}, {INT32_MIN, far}};
    for (const auto& [target, shown] : ticks) {
        s.targetPacket = target;
        window.onDisplayTick();
        EXPECT_EQ(c.time->text().toStdString(), shown) << target;
    }
}

TEST_F(ControlWindowTest, AboutInfoAndLabels) {
    const QString doc = program.path() + "/lyrvox.txt";
    window.showAbout();
    EXPECT_TRUE(messages.value(0).startsWith("Lyrvox (c) 2000 the Lyrvox authors\rVersion "));
    EXPECT_TRUE(messages.value(0).endsWith("\r\r" + doc + "\r") && messages[0].count('\r') == 4);
    window.showDocumentation();  // not there: no viewer is started for it
    testing::writeFile(doc.toStdString(), std::string("help"));
    window.showDocumentation();
    viewerStarts = false;
    window.showDocumentation();
    EXPECT_EQ(opened, QStringList({doc, doc}));
    EXPECT_EQ(messages.mid(1), QStringList({"Cannot open the documentation file: " + doc,
                                            "No program to open " + doc + " was found"}));
    const QString keysTip = c.status->toolTip();
    window.showStatus("Playing: <b>x</b>.");  // file names are plain text
    EXPECT_TRUE(c.status->textFormat() == Qt::PlainText &&
                c.status->text() == "Playing: <b>x</b>.");
    EXPECT_EQ(c.status->toolTip(), keysTip);  // fits: the keys' tip only
    // Wider than the line: the whole of it in the tip, above the keys.
    const QString longLine = "Cut short when Lyrvox last ended, sings next: " + QString(80, 'x');
    window.showStatus(longLine);
    EXPECT_EQ(c.status->toolTip(), longLine + "\n" + keysTip);
    const QRect before = c.imageName->geometry();  // right-aligned, sized to its text
    setLabelText(c.imageName, "a rather long image name.bin");
    EXPECT_TRUE(c.imageName->geometry().right() == before.right() &&
                c.imageName->width() > before.width());
}

// Convert runs beside the window: the button reads Stop until the run has ended, then the
// message and blank labels; its question is a dialog, and a click while it is open changes
// nothing. (Every outcome and message of a run:
// Converter.ConvertsStopsAndFailsLeavingTheRightFiles.)
TEST_F(ControlWindowTest, ConvertRunsBesideTheWindow) {
    const std::string image = testing::makeImage(2), subcode = testing::expectedSubcode(image, 2);
    const struct {
        bool old;  // an earlier a.cdg, kept: the question is answered No
        QStringList messages;
        std::string output;
    } cases[] = {
        {false, {"File(s) converted!"}, subcode},
        {true,
         {"?1 file(s) exist and would be replaced: a.cdg. Replace?",
          "Nothing converted: the existing file(s) were kept."},
         "old"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.old);
        const QTemporaryDir folder;
        const std::string bin = folder.filePath("a.bin").toStdString();
        testing::writeFile(bin, image);
        if (row.old) testing::writeFile(folder.filePath("a.cdg").toStdString(), std::string("old"));
        messages.clear();
        whileAsking = [&] { c.convert->click(); };
        c.source->setText(QString::fromStdString(bin));
        c.convert->click();
        EXPECT_EQ(c.convert->text(), row.old ? "Convert" : "Stop");
        EXPECT_TRUE(QTest::qWaitFor([&] { return c.convert->text() == "Convert"; }));
        EXPECT_EQ(messages, row.messages);
        EXPECT_TRUE(c.imageName->text().isEmpty() && c.progress->text().isEmpty());
        EXPECT_EQ(testing::filesIn(folder.path().toStdString()),
                  (std::map<std::string, std::string>{{"a.bin", image}, {"a.cdg", row.output}}));
    }
}

// A Stop mid-run, and the window closed mid-run, leave neither output nor temporary file:
// after the close that holds at once, before the event loop has run again. The image is
// sparse: gigabytes that cost no disk, far more than a run gets through before the stop.
TEST_F(ControlWindowTest, ConvertStoppedOrClosedMidRunLeavesNothing) {
    const QString image = work.filePath("big.bin");
    testing::writeFile(image.toStdString(), std::string());
    std::filesystem::resize_file(image.toStdString(), 1'750'000ULL * 2448);
    const auto left = [&] { return QDir(work.path()).entryList(QDir::Files | QDir::Hidden); };
    c.source->setText(image);
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close);
        c.convert->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !c.progress->text().isEmpty(); }));
        EXPECT_TRUE(c.imageName->text() == "big.bin" && c.convert->text() == "Stop");
        if (close) {
            window.close();
            EXPECT_EQ(ends, 1);
            EXPECT_EQ(left(), QStringList({"big.bin"}));
        }
        for (int i = 0; i < 3 && !close; ++i) c.convert->click();  // Stop, then nothing
        EXPECT_TRUE(QTest::qWaitFor([&] { return c.convert->text() == "Convert"; }));
        EXPECT_EQ(messages, QStringList({"Conversion stopped: no file converted."}));
        EXPECT_EQ(left(), QStringList({"big.bin"}));
    }
}

TEST_F(ControlWindowTest, RealFileDialogListsNamesInAnyCaseAndTakesATypedName) {
    for (const char* name : {"a.cdg", "B.CDG", "c.Cdg", "d.mp3", "e.txt"})
        testing::writeFile(name, std::string());
    const std::vector<FileFilter> filters = {{"Lyrvox Files", {"*.CDG", "*.MP3", "*.RW"}},
                                             {"CDG Files (*.CDG)", {"*.CDG"}}};
    QStringList listed;
    QTimer::singleShot(0, [&] {  // inside the dialog's own event loop
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* view = dialog->findChild<QAbstractItemView*>("listView");
        const auto rows = [&] { return view->model()->rowCount(view->rootIndex()); };
        (void)QTest::qWaitFor([&] { return rows() >= 3; });  // read in the background
        for (int row = 0; row < rows(); ++row)
            listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
        dialog->selectNameFilter(qtNameFilter(filters[0]));
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("c.Cdg");  // typed by the user
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept is protected
    });
    const auto choice = QtDialogProvider().chooseOpenFile({work.path(), filters, 2});
    listed.sort();
    EXPECT_EQ(listed, QStringList({"B.CDG", "a.cdg", "c.Cdg"}));
    ASSERT_TRUE(choice.has_value());
    EXPECT_TRUE(choice->path == work.filePath("c.Cdg") && choice->filterIndex == 1);
}

// The library found through its window, songs played from a search and queued, the
// queue advancing after a song that ends by itself, a Stop in the pause ending the run.
// (A Stop during a queued song, the countdown and the queue across runs: QueueNightTest.)
TEST_F(ControlWindowTest, LibrarySearchPlaysAndTheQueueAdvancesUntilAStop) {
    ASSERT_TRUE(QDir().mkdir("songs"));
    for (const char* name : {"songs/Alpha - Song One.cdg", "songs/Beta - Song Two.CDG",
                             "songs/Gamma - Song Three.cdg", "songs/Delta - Other.cdg"})
        testing::writeFile(name, encode::fileOf({encode::memoryPreset(1)}));
    window.startUp({});
    const QString db = work.filePath("library.db");
    auto library = std::make_unique<LibraryController>(window, *this, *this, db,
                                                       [&] { return work.filePath("songs"); });
    LibraryWindow& lib = library->libraryWindow();
    const auto activate = [](QWidget* w) {
        QApplication::setActiveWindow(w);
        return QTest::qWaitForWindowActive(w);
    };
    ASSERT_TRUE(activate(&window));
    QTest::keyClick(&window, Qt::Key_L);  // opens the window and scans
    EXPECT_TRUE(lib.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lib.scanJob().isRunning(); }));
    lib.addFolder();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lib.scanJob().isRunning(); }));
    EXPECT_EQ(lib.scanStatus()->text(), "4 songs: 4 new, 0 changed, 0 gone, 0 skipped");
    QTest::keyClicks(lib.searchBox(), "son");
    EXPECT_TRUE(lib.results().rowCount() == 3 && lib.countLabel()->text() == "3 songs");
    std::vector<std::string> played;
    QObject::connect(&window.driver(), &SessionDriver::songOver, [&](bool byItself) {
        if (byItself) played.push_back(fileNameOf(window.chosenFile()));
    });
    ASSERT_TRUE(activate(&lib));
    lib.table()->setFocus();
    for (int row : {1, 2, 0}) {
        lib.table()->selectRow(row);
        QTest::keyClick(lib.table(), row == 0 ? Qt::Key_Insert : Qt::Key_Q);
    }
    // Queued: Two, Three, One. A drag in the list makes these model calls (Qt 6.4,
    // InternalMove): one moveRow per dropped row, its destination counted before
    // the move, also for a drop just below the row itself; should the model refuse,
    // the view would remove the dragged row.
    QAbstractItemModel* queueModel = lib.queueList()->model();
    EXPECT_TRUE(queueModel->moveRow({}, 2, {}, 0));  // One above Two
    EXPECT_TRUE(queueModel->moveRow({}, 1, {}, 3));  // Two to the end
    EXPECT_TRUE(queueModel->moveRow({}, 2, {}, 1));  // and back above Three
    EXPECT_TRUE(queueModel->moveRow({}, 0, {}, 1));  // onto its own place
    EXPECT_FALSE(queueModel->removeRows(0, 1));
    EXPECT_EQ(queueModel->index(0, 0).data(), "Alpha - Song One");
    EXPECT_TRUE(
        queueModel->index(0, 0).data(Qt::ToolTipRole).toString().endsWith("/Alpha - Song One.cdg"));
    lib.addToQueue({"/gone.cdg", "", "Gone"}, 1);
    lib.queueList()->setCurrentIndex(queueModel->index(1, 0));
    lib.queueList()->setFocus();
    QTest::keyClick(lib.queueList(), Qt::Key_Delete);
    const auto queued = [&] {
        std::string titles;
        for (const QueueEntry& e : LibraryIndex(toFsPath(db)).loadQueue()) titles += e.title + ";";
        return titles;
    };
    EXPECT_EQ(queued(), "Song One;Song Two;Song Three;");
    lib.pauseBox()->setValue(1);
    EXPECT_EQ(texts["Library/PauseSeconds"], "1");

    lib.searchBox()->setText("delta");
    QTest::keyClick(lib.searchBox(), Qt::Key_Return);  // plays Delta; then the queue runs
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->upcoming().has_value(); }));
    EXPECT_EQ(library->upcoming()->title, "Song One");
    auto* display = qobject_cast<DisplayWindow*>(window.display().window());
    EXPECT_FALSE(display->banner().isEmpty());
    EXPECT_TRUE(c.stop->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return played.size() == 4; }));
    EXPECT_EQ(played, (std::vector<std::string>{"Delta - Other.cdg", "Alpha - Song One.cdg",
                                                "Beta - Song Two.CDG", "Gamma - Song Three.cdg"}));
    EXPECT_TRUE(queued().empty() && display->banner().isEmpty());

    // Stop during the pause ends the run and keeps the song waited for.
    lib.pauseBox()->setValue(30);
    lib.table()->selectRow(0);
    lib.queueCurrent();
    lib.playCurrent();
    EXPECT_TRUE(QTest::qWaitFor([&] { return library->upcoming().has_value(); }));
    ASSERT_TRUE(activate(&window));
    QTest::keyClick(&window, Qt::Key_S);
    EXPECT_TRUE(!library->upcoming() && display->banner().isEmpty() && !c.stop->isEnabled());
    EXPECT_EQ(queued(), "Other;");
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

// The name order of a song's folder and of a library folder, chosen from the
// right-click menus: the list shows the new names at once. (That scans keep it:
// LibraryTest.NameOrderReadsTheNamesAgainForAFolderOrASubfolder.)
TEST_F(ControlWindowTest, LibraryNameOrderFromTheMenusForASongsFolderOrALibraryFolder) {
    ASSERT_TRUE(QDir().mkpath("songs/reversed"));
    for (const char* name : {"songs/ABBA - Waterloo.cdg", "songs/reversed/Rhapsody - Queen.cdg"})
        testing::writeFile(name, encode::fileOf({encode::memoryPreset(1)}));
    auto library = std::make_unique<LibraryController>(
        window, *this, *this, work.filePath("library.db"), [&] { return work.filePath("songs"); });
    LibraryWindow& lib = library->libraryWindow();
    lib.addFolder();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lib.scanJob().isRunning(); }));
    const auto artists = [&] {
        QStringList list;
        for (int row = 0; row < lib.results().rowCount(); ++row)
            list << QString::fromStdString(lib.results().song(row).artist);
        return list;
    };
    // Picks `text` in the menu that `open` pops up.
    const auto choose = [](const QString& text, const std::function<void()>& open) {
        QTimer::singleShot(0, [text] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions())
                if (action->text() == text) action->trigger();
            menu->close();
        });
        open();
    };
    EXPECT_EQ(artists(), QStringList({"ABBA", "Rhapsody"}));
    lib.table()->selectRow(1);
    choose("Names in this song's folder are \"Title - Artist\"", [&] {
        emit lib.table()->customContextMenuRequested({5, 5});
    });
    EXPECT_EQ(artists(), QStringList({"ABBA", "Queen"}));
    auto* folders = lib.findChild<QListWidget*>();
    folders->setCurrentRow(0);
    choose("Names are \"Title - Artist\"", [&] {
        emit folders->customContextMenuRequested({5, 5});
    });
    EXPECT_EQ(artists(), QStringList({"Queen", "Waterloo"}));
    EXPECT_TRUE(lib.findChild<QCheckBox*>()->isChecked());
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

// A library that another program holds is tried again on a timer, the wait shown,
// while the event loop runs: it opens with its queue once the other program is done.
// (Left alone with a notice when it never is: LibraryFile.AFileInUseIsWaitedForThenLeftAlone.)
TEST_F(ControlWindowTest, LibraryInUseIsWaitedForWithoutBlocking) {
    const std::string db = work.filePath("library.db").toStdString();
    ASSERT_TRUE(LibraryIndex(db).saveQueue({{"/a.cdg", "A", "One"}}));
    const std::string held = work.filePath("held").toStdString();
    FILE* other = popen(("sqlite3 " + db).c_str(), "w");
    fputs(("PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE;"
           "INSERT OR REPLACE INTO queue VALUES (1, '/b.cdg', 'B', 'Two');\n.shell touch " +
           held + "\n")
              .c_str(),
          other);
    fflush(other);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(held); }));
    LibraryController library(window, *this, *this, work.filePath("library.db"), {});
    EXPECT_TRUE(library.waitingForIndex());
    EXPECT_TRUE(c.status->text().startsWith("Waiting for the song library"));
    QTest::qWait(3 * LibraryController::kRetryMs);  // the loop runs meanwhile
    fputs("COMMIT;\n", other);
    pclose(other);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !library.waitingForIndex(); }));
    EXPECT_TRUE(library.index().isOpen());
    EXPECT_EQ(library.libraryWindow().queue().size(), 2);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

// Damage that a search finds after the opening: told, the file kept aside, the
// library made again from its folders, the queue the user sees kept.
TEST_F(ControlWindowTest, LibraryDamageFoundLaterIsKeptAsideAndTheLibraryMadeAgain) {
    ASSERT_TRUE(QDir().mkdir("songs"));
    testing::writeFile("songs/ABBA - Waterloo.cdg", encode::fileOf({encode::memoryPreset(1)}));
    const std::string db = work.filePath("library.db").toStdString();
    {
        LibraryIndex index(db);
        index.addFolder(work.filePath("songs").toStdString(), NameOrder::ArtistTitle);
        const std::atomic<bool> cancel{false};
        ASSERT_EQ(LibraryScanner(index).scan({}, cancel).added, 1);
        ASSERT_TRUE(index.saveQueue({{"/a.cdg", "A", "One"}}));
    }
    testing::garble(db, "songs");  // the opening does not read it
    LibraryController library(window, *this, *this, work.filePath("library.db"), {});
    LibraryWindow& lib = library.libraryWindow();
    ASSERT_EQ(lib.queue().size(), 1);
    lib.addToQueue({"/b.cdg", "B", "Two"});
    QTest::keyClicks(lib.searchBox(), "abba");  // finds the damage
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.isEmpty(); }));
    EXPECT_TRUE(messages[0].contains("was damaged; a copy was kept as") &&
                messages[0].contains("library.db.broken-1"))
        << messages[0].toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return lib.results().rowCount() == 1; }));
    EXPECT_EQ(lib.queue().size(), 2);
    EXPECT_EQ(LibraryIndex(db).loadQueue().size(), 2u);
    EXPECT_EQ(messages.size(), 1) << messages.join("|").toStdString();
}

// Boxes titled "lyrvox" without an icon. A message returns at once and stays up until OK;
// a question waits for Yes or No.
TEST(QtDialogs, MessagesReturnAtOnceQuestionsWaitForTheAnswer) {
    QWidget parent;
    parent.show();
    QTimer::singleShot(3000, [] {  // a message box that blocks is closed here, to fail, not hang
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    QElapsedTimer clock;
    clock.start();
    QtDialogProvider(&parent).showMessage("<b>a</b>\rb\r");
    EXPECT_LT(clock.elapsed(), 1000);
    auto* box = parent.findChild<QMessageBox*>();
    ASSERT_TRUE(box && box->isVisible());
    EXPECT_TRUE(box->windowTitle() == "lyrvox" && box->text() == "<b>a</b>\nb" &&
                box->textFormat() == Qt::PlainText && box->icon() == QMessageBox::NoIcon &&
                box->standardButtons() == QMessageBox::Ok);
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !parent.findChild<QMessageBox*>(); }));
    for (auto button : {QMessageBox::Yes, QMessageBox::No}) {
        QTimer::singleShot(0, [button] {
            auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            EXPECT_TRUE(question->windowTitle() == "lyrvox" && !question->icon() &&
                        question->standardButtons() == (QMessageBox::Yes | QMessageBox::No));
            question->button(button)->click();
        });
        EXPECT_EQ(QtDialogProvider().askYesNo("Replace?"), button == QMessageBox::Yes);
    }
}

TEST(WindowText, CommandLineAndFrameRates) {
    EXPECT_EQ(joinCommandLine({"\"/My", "Songs/a", "b.cdg\""}), "/My Songs/a b.cdg");
    EXPECT_EQ(joinCommandLine({"\"/a.cdg"}), "/a.cdg");
    EXPECT_EQ(joinCommandLine({"/a.cdg\""}), "/a.cdg");
    EXPECT_EQ(joinCommandLine({"/a\"b\".cdg"}), "/a\"b\".cdg");  // inner quotes stay
    EXPECT_EQ(joinCommandLine({"\"\""}), "");
    // Start-up plays when the joined words are not empty, even a lone quote.
    EXPECT_EQ(commandLineText({"\""}), "\"");
    EXPECT_TRUE(commandLineText({}).empty() && commandLineText({""}).empty());
    EXPECT_EQ(frameIntervalMs("15"), 67);   // rounded to the nearest
    EXPECT_EQ(frameIntervalMs("2000"), 0);  // 0.5 ms rounds to the even 0: no interval
}

TEST(WindowText, GuideBesideTheProgramFirstThenInTheInstalledFolder) {
    QTemporaryDir root;  // an installed tree: bin/ and share/lyrvox/
    const QString bin = root.filePath("bin"), beside = bin + "/lyrvox.txt",
                  installed = root.filePath("share/lyrvox/lyrvox.txt");
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(root.filePath("share/lyrvox")));
    const std::tuple<bool, bool, QString> cases[] = {
        {true, true, beside}, {false, true, installed}, {false, false, beside}};
    for (const auto& [besideThere, installedThere, found] : cases) {
        for (const QString& file : {beside, installed}) QFile::remove(file);
        if (besideThere) testing::writeFile(beside.toStdString(), std::string("guide"));
        if (installedThere) testing::writeFile(installed.toStdString(), std::string("guide"));
        EXPECT_EQ(findDocumentation(bin, "../share/lyrvox"), found);
    }
}

TEST(SettingsStore, RoundTripsAndBrokenOrUnreadableSettingsCountAsAbsent) {
    ASSERT_TRUE(QtSettingsStore().writePath("/My Songs/Ünï/"));  // XDG_CONFIG_HOME of its own
    EXPECT_EQ(QtSettingsStore().readPath(), QString("/My Songs/Ünï/"));
    const auto conf = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/Lyrvox/Lyrvox.conf";
    EXPECT_TRUE(testing::readFile(conf).starts_with("[Config]\nPath=")) << conf;
    QTemporaryDir dir;
    const QString ini = dir.filePath("Lyrvox.conf");
    EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt);
    for (const std::string& content :
         {std::string("[Config]\nPath=@Variant(\\0\\0\\0\\x7f\\xff\\xff)\n"),
          std::string("\x00\xff\xfe[[[Config\nPath\n=\n", 19), std::string("[Config]\nPath=\n")}) {
        testing::writeFile(ini.toStdString(), content);
        EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt) << content;
    }
    ASSERT_TRUE(QFile::remove(ini) && QDir().mkdir(ini));  // a folder in the file's place
    EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt);
    EXPECT_FALSE(QtSettingsStore(ini).writePath("/x/"));
}

TEST(Snapshot, NamesNumbersAndTheWholePictureExactly) {
    EXPECT_EQ(snapshotFileName("nofile", 7), "nofile007.bmp");
    EXPECT_EQ(snapshotFileName("nofile", 10000), "nofile10000.bmp");
    CdgMachine m;
    m.colourTable = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080, 0x102030};
    m.beginSession();
    m.interpret(encode::borderPreset(2));
    m.interpret(encode::solidTile(1, 3, 4));
    m.fillArea(100, 100, 110, 120, 4);
    m.plotPixel(299, 215, 5);
    m.HOffset = 3;  // the display's offsets: a snapshot ignores them
    m.VOffset = 7;
    QTemporaryDir dir;
    Snapshots snaps{32767, "pic"};  // the numbers go on past 16 bits
    ASSERT_TRUE(snaps.take(m, dir.path()).written);
    const Snapshots::Result r = snaps.take(m, dir.path());
    EXPECT_EQ(r.path, dir.filePath("pic32768.bmp"));
    EXPECT_EQ(snaps.nextNumber, 32769);
    const std::string bytes = testing::readFile(r.path.toStdString());
    EXPECT_TRUE(bytes.starts_with("BM") && (bytes.at(30) == 0 || bytes.at(30) == 3));  // no RLE
    const QImage back(r.path, "BMP");
    ASSERT_EQ(back.size(), QSize(300, 216));
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(back.pixel(x, y), toArgb(m.pictureColour(x, y))) << x << "," << y;
    // Killed mid-write (by the file-size limit): no cut picture under a snapshot's name.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{10000, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        Snapshots{0, "cut"}.take(m, dir.path());
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    EXPECT_FALSE(QFile::exists(dir.filePath("cut000.bmp")));
}

}  // namespace
}  // namespace lyrvox
