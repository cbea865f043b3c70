// The control window through its public handlers and controls, with fakes for
// the media control, the dialogs, the settings and the playback session.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/control_window.h"
#include "app/qt_dialog_provider.h"
#include "app/session_runner.h"
#include "app/window_text.h"
#include "tests/app/app_fakes.h"
#include "tests/support/packet_builder.h"

using namespace lyrvox;
using namespace lyrvox::testing;

namespace {

// The design, written out independently of the program's own table.
struct Expected {
    const char* name;
    const char* className;
    const char* frame;
    const char* text;
    const char* tip;
    int left, top, width, height;
    bool autoSize = false;  // a label that sizes itself to its text
};

const Expected kExpected[] = {
    {"Frame2", "QGroupBox", "Lyrvox", "", "", 45, 1380, 4800, 960},
    {"Frame1", "QGroupBox", "Lyrvox", "", "", 45, -30, 4800, 1320},
    {"cbAlt", "QCheckBox", "Frame1", "Alt", "", 2460, 975, 585, 195},
    {"btnOpen", "QPushButton", "Frame1", "&Open", "Open CDG/MP3 file", 3630, 180, 1065, 330},
    {"btnPlay", "QPushButton", "Frame1", "&Play", "Play/Pause/Continue", 2850, 180, 630, 330},
    {"btnStop", "QPushButton", "Frame1", "&Stop", "Stop playback", 2205, 180, 615, 330},
    {"btnAbout", "QPushButton", "Frame1", "&About", "Program Information", 90, 900, 645, 330},
    {"btnSize", "QPushButton", "Frame1", "Si&ze", "Toggle display size", 3165, 900, 630, 330},
    {"btnInfo", "QPushButton", "Frame1", "&Info", "Display Documentation", 780, 900, 540, 330},
    {"Combo1", "QComboBox", "Frame1", "", "Frames per second setting", 1365, 195, 675, 315},
    {"btnSnap", "QPushButton", "Frame1", "S&napshot", "Save display to numbered BMP file", 1425,
     900, 825, 330},
    {"btnView", "QPushButton", "Frame1", "v", "Toggle options", 4425, 990, 270, 240},
    {"lblTime", "QLabel", "Frame1", "00:00", "Elapsed time", 105, 195, 795, 360},
    {"lblStat", "QLabel", "Frame1", "Click OPEN to play a file...", "Program status", 105, 615,
     4620, 225},
    {"Label1", "QLabel", "Frame1", "FPS:", "", 1005, 255, 345, 195, true},
    {"lblZoom", "QLabel", "Frame1", "1x", "Current display size", 3855, 975, 165, 195, true},
    {"btnSetDir", "QPushButton", "Frame2", "...", "", 3060, 495, 465, 330},
    {"txtSource", "QLineEdit", "Frame2", "", "", 120, 510, 2865, 285},
    {"btnConvert", "QPushButton", "Frame2", "Convert", "", 3630, 495, 1035, 330},
    {"lblFName", "QLabel", "Frame2", "-", "", 3960, 210, 45, 195, true},
    {"lblProgress", "QLabel", "Frame2", "", "", 4035, 225, 600, 210},
    {"Label2", "QLabel", "Frame2", "Extract CDG from BIN file:", "", 120, 225, 1830, 195, true},
};

QString textOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

}  // namespace

class ControlWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir programDir_;
    QString savedCwd_;

    // A row of the transport table: playing (caption Pause or Cont), or ended/stopped.
    static void checkRow(WindowRig& rig, const char* caption, bool playing, bool paused = false) {
        QCOMPARE(rig.find<QPushButton>("btnPlay")->text(), QString(caption));
        QCOMPARE(rig.find<QPushButton>("btnOpen")->isEnabled(), !playing);
        QVERIFY(rig.find<QPushButton>("btnPlay")->isEnabled());
        QCOMPARE(rig.find<QPushButton>("btnStop")->isEnabled(), playing);
        QCOMPARE(rig.window->state().ProFlag, playing);
        QCOMPARE(rig.window->state().Paused, paused);
        if (!playing) QCOMPARE(rig.find<QLabel>("lblStat")->text(), QString("Ready."));
    }
    static void checkEnded(WindowRig& rig) { checkRow(rig, "Play", false); }
    void openFile(WindowRig& rig, const QString& path, int filterIndex = 2) {
        rig.dialogs.answers.push_back(OpenFileChoice{path, filterIndex});
        rig.window->btnOpen_Click();
    }

  private slots:
    void init() { savedCwd_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(savedCwd_); }

    void layoutMatchesTheDesign() {
        WindowRig rig(programDir_.path());
        ControlWindow& w = *rig.window;
        for (const Expected& e : kExpected) {
            auto* widget = w.findChild<QWidget*>(QString::fromLatin1(e.name));
            QVERIFY2(widget != nullptr && widget->inherits(e.className), e.name);
            QCOMPARE(widget->parentWidget()->objectName(), QString(e.frame));
            QCOMPARE(textOf(widget), QString(e.text));
            QCOMPARE(widget->toolTip(), QString(e.tip));
            const QRect want(w.twipsToPixelsX(e.left), w.twipsToPixelsY(e.top),
                             w.twipsToPixelsX(e.width), w.twipsToPixelsY(e.height));
            QRect got = widget->geometry();
            if (e.autoSize) {
                // Sized to its text, anchored at the edge its alignment names.
                auto* label = qobject_cast<QLabel*>(widget);
                QVERIFY(got.width() >= label->sizeHint().width());
                if (label->alignment() & Qt::AlignRight) {
                    got.setLeft(want.left());
                } else {
                    got.setWidth(want.width());
                }
                got.setHeight(want.height());
            }
            QVERIFY2(got == want, e.name);
        }
        // The hidden pictures, the media control and the dialog have no widgets;
        // the timer is an object of its own: 22 + 4 + 1 = 27 controls.
        for (const char* hidden : {"CDG", "CDG2", "MMControl1", "CommonDialog1"}) {
            QVERIFY(w.findChild<QWidget*>(QString(hidden)) == nullptr);
        }
        QVERIFY(rig.find<QTimer>("Timer1") != nullptr);
        if (w.logicalDpiX() == 96) QCOMPARE(w.twipsToPixelsX(4890), 326);  // 15 twips a pixel
    }

    void tabOrderRunsAsDesigned() {
        WindowRig rig(programDir_.path());
        const QStringList want = {"btnView",   "btnSnap",   "Combo1",  "btnInfo", "btnSize",
                                  "btnAbout",  "btnStop",   "btnPlay", "btnOpen", "btnConvert",
                                  "txtSource", "btnSetDir", "cbAlt"};
        QStringList got;
        QWidget* start = rig.find<QWidget>("btnView");
        QWidget* w = start;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && want.contains(w->objectName()) &&
                !got.contains(w->objectName())) {
                got << w->objectName();
            }
            w = w->nextInFocusChain();
        } while (w != start);
        QCOMPARE(got, want);
        for (const char* label : {"lblTime", "lblStat", "Label1", "lblZoom"}) {
            QCOMPARE(rig.find<QWidget>(label)->focusPolicy(), Qt::NoFocus);
        }
    }

    void creationAndStartUpWithoutCommandLine() {
        WindowRig rig(programDir_.path());
        ControlWindow& w = *rig.window;
        QCOMPARE(w.windowTitle(), QString("Lyrvox Controls"));
        QCOMPARE(w.minimumSize(), w.maximumSize());  // fixed border
        QVERIFY(w.windowIcon().availableSizes().contains(QSize(32, 32)));
        QVERIFY(!rig.find<QCheckBox>("cbAlt")->isChecked());
        auto* time = rig.find<QLabel>("lblTime");
        QCOMPARE(time->palette().color(QPalette::WindowText), QColor(0, 255, 255));
        QCOMPARE(time->palette().color(QPalette::Window), QColor(0, 0, 0));
        auto* combo = rig.find<QComboBox>("Combo1");
        QCOMPARE(combo->currentIndex(), -1);
        auto* timer = rig.find<QTimer>("Timer1");
        QCOMPARE(timer->interval(), 100);
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);

        w.Form_Load({});
        QCOMPARE(w.outerHeightTwips(), 1725);
        QCOMPARE(combo->currentText(), QString("15"));
        QCOMPARE(timer->interval(), 67);
        QVERIFY(timer->isActive());
        QCOMPARE(rig.find<QLabel>("lblStat")->text(), QString("Click OPEN to play a file..."));
        QVERIFY(rig.find<QPushButton>("btnOpen")->isEnabled());
        QVERIFY(!rig.find<QPushButton>("btnPlay")->isEnabled());
        QVERIFY(!rig.find<QPushButton>("btnStop")->isEnabled());
        QVERIFY(rig.sessions.played.empty());
        QCOMPARE(w.snapshots().Basename, QString("nofile"));
        QVERIFY(w.isVisible());
    }

    void accessKeysPressTheButtons() {
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        QApplication::setActiveWindow(rig.window.get());
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QTest::keyClick(rig.window->windowHandle(), Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(rig.dialogs.messages.size(), 1);  // About
        QTest::keyClick(rig.window->windowHandle(), Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(rig.dialogs.requests.size(), std::size_t(1));  // Open
        // Play is disabled until a file has been opened: its key does nothing.
        QTest::keyClick(rig.window->windowHandle(), Qt::Key_P, Qt::AltModifier);
        QTest::qWait(200);
        QVERIFY(rig.sessions.played.empty());
    }

    void frameRateSetsTheTimer() {
        WindowRig rig(programDir_.path());
        auto* combo = rig.find<QComboBox>("Combo1");
        auto* timer = rig.find<QTimer>("Timer1");
        combo->setCurrentIndex(0);
        QCOMPARE(timer->interval(), 33);
        // A change mid-session keeps it going; its own end leaves the state Stop does.
        rig.sessions.passes = 2;
        rig.sessions.onPass = [&](int pass) { combo->setCurrentIndex(pass + 5); };
        openFile(rig, programDir_.filePath("a.cdg"));
        rig.window->btnPlay_Click();
        QCOMPARE(timer->interval(), 500);
        QVERIFY(timer->isActive());
        checkEnded(rig);
    }

    void optionsToggleChangesOnlyTheHeight() {
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        const QPoint pos = rig.window->pos();
        const int width = rig.window->width();
        auto* frame2 = rig.find<QWidget>("Frame2");
        QVERIFY(frame2->y() >= rig.window->height());  // hidden below the client area
        for (int twips : {2775, 1725, 2775}) {
            rig.window->btnView_Click();
            QCOMPARE(rig.window->outerHeightTwips(), twips);
        }
        QVERIFY(frame2->geometry().bottom() < rig.window->height());
        QCOMPARE(rig.window->width(), width);
        QCOMPARE(rig.window->pos(), pos);
    }

    void openRemembersFolderAndFileType() {
        WindowRig rig(programDir_.path());
        QTemporaryDir songs;
        const QString folder = songs.path() + "/My Songs.v2/Ünïcode";
        QVERIFY(QDir().mkpath(folder));
        const QString song = folder + "/a b.cdg";

        openFile(rig, song, 3);
        const OpenFileRequest& first = rig.dialogs.requests.at(0);
        QCOMPARE(first.folder, programDir_.path() + "/");
        QCOMPARE(first.filterIndex, 2);
        QStringList entries;
        for (const FileFilter& f : first.filters) entries << f.entry;
        QCOMPARE(entries, QStringList({"Lyrvox Files", "CDG Files (*.CDG)",
                                       "MPEG Audio Files (*.MP3)", "ActiveMovie Files"}));
        QCOMPARE(first.filters[3].patterns,
                 QStringList({"*.AVI", "*.MOV", "*.MID", "*.WAV", "*.AU", "*.MP?"}));
        QCOMPARE(fromFsPath(rig.window->state().FileSpec), song);
        QCOMPARE(rig.settings.path.value(), folder + "/");
        QCOMPARE(rig.find<QLabel>("lblStat")->text(), QString("Click PLAY to start."));
        QVERIFY(rig.find<QPushButton>("btnPlay")->isEnabled());
        QVERIFY(!rig.find<QPushButton>("btnStop")->isEnabled());

        // The next Open starts in that folder with the entry chosen last; a cancel
        // changes nothing.
        rig.window->snapshots().SnapNum = 5;
        rig.dialogs.answers.push_back(std::nullopt);
        rig.window->btnOpen_Click();
        QCOMPARE(rig.dialogs.requests.at(1).folder, folder + "/");
        QCOMPARE(rig.dialogs.requests.at(1).filterIndex, 3);
        QCOMPARE(fromFsPath(rig.window->state().FileSpec), song);
        QCOMPARE(rig.window->snapshots().SnapNum, 5);
        QCOMPARE(rig.window->LastFilterIndex(), 3);

        openFile(rig, song, 1);  // a successful Open restarts the snapshot numbering
        QCOMPARE(rig.window->snapshots().SnapNum, 0);

        songs.remove();  // a saved folder that has gone: the program's folder again
        rig.window->btnOpen_Click();
        QCOMPARE(rig.dialogs.requests.back().folder, programDir_.path() + "/");
    }

    void openStillWorksWhenTheFolderCannotBeSaved() {
        WindowRig rig(programDir_.path());
        rig.settings.writable = false;
        openFile(rig, programDir_.filePath("song.cdg"));
        QCOMPARE(rig.find<QLabel>("lblStat")->text(), QString("Click PLAY to start."));
        QVERIFY(rig.find<QPushButton>("btnPlay")->isEnabled());
    }

    void pauseContinueAndStopDuringASession() {
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        openFile(rig, programDir_.filePath("song.cdg"));
        auto* play = rig.find<QPushButton>("btnPlay");
        QStringList captionAtCommand;  // the caption at the moment of each media command
        rig.media.onCommand = [&](const std::string&) { captionAtCommand << play->text(); };
        rig.sessions.passes = 100;
        int passesSeen = 0;
        rig.sessions.onPass = [&](int pass) {
            passesSeen = pass + 1;
            if (pass == 0) {
                checkRow(rig, "Pause", true, false);
                rig.media.commands.clear();
                captionAtCommand.clear();
                play->click();
                checkRow(rig, "Cont", true, true);
                QCOMPARE(rig.media.commands, std::vector<std::string>({"stop"}));
                QCOMPARE(captionAtCommand, QStringList({"Cont"}));
            } else if (pass == 1) {
                play->click();
                checkRow(rig, "Pause", true, false);
                QCOMPARE(rig.media.commands, std::vector<std::string>({"stop", "Play"}));
                QCOMPARE(captionAtCommand, QStringList({"Cont", "Pause"}));
            } else if (pass == 2) {
                play->click();  // pause again, then stop while paused
                rig.find<QPushButton>("btnStop")->click();
                checkEnded(rig);
            }
        };
        rig.window->btnPlay_Click();
        QCOMPARE(passesSeen, 3);  // the session ended at its next pass
        QCOMPARE(rig.sessions.running, 0);
        checkEnded(rig);
        // Stop's own commands come after the pause: "Stop", then "Close".
        const auto& c = rig.media.commands;
        QVERIFY(c.size() >= 2);
        QCOMPARE(c[c.size() - 2], std::string("Stop"));
        QCOMPARE(c.back(), std::string("Close"));

        // A following Play starts a new session from the beginning.
        rig.sessions.onPass = {};
        rig.sessions.passes = 1;
        rig.window->btnPlay_Click();
        QCOMPARE(rig.sessions.played.size(), std::size_t(2));
        checkEnded(rig);
    }

    void realSessionOnABuiltGraphicsFile() {
        QTemporaryDir songs;
        const QString path = songs.filePath("built.cdg");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const auto bytes =
                fileOf({memoryPreset(1), borderPreset(2), solidTile(3, 5, 5), emptyPacket(),
                        emptyPacket(), emptyPacket(), emptyPacket(), emptyPacket()});
            f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        }
        WindowRig rig(programDir_.path(), diskSessionFactory(std::string()));
        rig.window->Form_Load({});
        // Paths that name nothing playable end in the same idle state.
        const QString folder = songs.filePath("a.dir \"ü\"");
        QVERIFY(QDir().mkdir(folder));
        for (const QString& p : {path, folder, folder + "/missing song.cdg", QString()}) {
            openFile(rig, p);
            rig.window->btnPlay_Click();
            checkEnded(rig);
        }
    }

    void commandLinePlaybackRunsInsideStartUp() {
        QTemporaryDir work;
        QDir::setCurrent(work.path());
        WindowRig rig(programDir_.path());
        rig.sessions.passes = 2;
        QString basenameDuring = "unset";
        rig.sessions.onPass = [&](int pass) {
            if (pass != 0) return;
            QVERIFY(!rig.find<QPushButton>("btnPlay")->isEnabled());
            QVERIFY(rig.find<QPushButton>("btnStop")->isEnabled());
            basenameDuring = rig.window->snapshots().Basename;
            rig.window->btnSnap_Click();
            rig.window->btnSnap_Click();
        };
        rig.window->Form_Load({"\"/music/My", "Songs/a.cdg\""});
        QCOMPARE(rig.sessions.played,
                 std::vector<std::string>({toFsPath("/music/My Songs/a.cdg")}));
        QCOMPARE(basenameDuring, QString());
        QVERIFY(QFile::exists(work.filePath("000.bmp")));
        QVERIFY(QFile::exists(work.filePath("001.bmp")));
        QCOMPARE(rig.window->snapshots().Basename, QString("nofile"));
        QVERIFY(rig.find<QPushButton>("btnPlay")->isEnabled());
        rig.window->btnSnap_Click();
        QVERIFY(QFile::exists(work.filePath("nofile002.bmp")));
        QVERIFY(rig.dialogs.messages.isEmpty());
    }

    void openRestartsSnapshotNumbersWithoutReplacingFiles() {
        QTemporaryDir work;
        QDir::setCurrent(work.path());
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        for (int i = 0; i < 3; ++i) rig.window->btnSnap_Click();
        const QDateTime firstTime = QFileInfo(work.filePath("nofile000.bmp")).lastModified();
        openFile(rig, work.filePath("song.cdg"));
        rig.window->btnSnap_Click();  // nofile000.bmp is taken: the first free number
        QVERIFY(QFile::exists(work.filePath("nofile003.bmp")));
        QCOMPARE(QFileInfo(work.filePath("nofile000.bmp")).lastModified(), firstTime);
    }

    void snapshotFailureIsReported() {
        QTemporaryDir work;
        const QString gone = work.filePath("gone");
        QVERIFY(QDir().mkdir(gone));
        QDir::setCurrent(gone);
        QVERIFY(QDir().rmdir(gone));  // the current directory no longer exists
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        rig.window->btnSnap_Click();
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(rig.dialogs.messages[0].startsWith("Cannot save the snapshot: "));
        QVERIFY(rig.dialogs.messages[0].endsWith("nofile000.bmp"));
        QCOMPARE(rig.window->snapshots().SnapNum, 0);
        QVERIFY(!QFile::exists("/nofile000.bmp"));  // not written anywhere else instead
    }

    void closingDuringPlaybackEndsAtOnce() {
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        openFile(rig, programDir_.filePath("song.cdg"));
        rig.sessions.passes = 1000;
        int passesSeen = 0;
        rig.sessions.onPass = [&](int pass) {
            passesSeen = pass + 1;
            if (pass == 1) rig.window->close();
        };
        rig.media.commands.clear();
        rig.window->btnPlay_Click();
        QCOMPARE(passesSeen, 2);
        QCOMPARE(rig.sessions.running, 0);
        QCOMPARE(rig.endProgramCalls, 1);
        // Shut-down halts the media and abandons the session's own end steps.
        QCOMPARE(rig.media.commands, std::vector<std::string>({"stop", "close"}));
        QVERIFY(rig.find<QLabel>("lblStat")->text().startsWith("Playing: "));
        QVERIFY(!rig.window->isVisible());

        // Closed during a command-line playback: the rest of start-up is skipped.
        WindowRig cli(programDir_.path());
        cli.sessions.passes = 1000;
        cli.sessions.onPass = [&](int) { cli.window->close(); };
        cli.window->Form_Load({"/music/song.cdg"});
        QCOMPARE(cli.endProgramCalls, 1);
        QCOMPARE(cli.sessions.running, 0);
        QCOMPARE(cli.window->snapshots().Basename, QString());
    }

    void timerCopiesAndUpdatesTheTime() {
        WindowRig rig(programDir_.path());
        rig.window->Form_Load({});
        PlayerState& s = rig.window->state();
        s.machine.UFlag = true;
        rig.window->Timer1_Timer();
        QVERIFY(!s.machine.UFlag);
        // The copy moves on a second or more; a negative target at a clock-paced start
        // shows nothing; far-apart values do not wrap around.
        struct Step {
            int32_t target, before, after;
            const char* shown;  // the time shown, where checked
        };
        const Step steps[] = {{299, 0, 0, "00:00"},     {310, 0, 310, "00:01"},
                              {609, 310, 310, nullptr}, {610, 310, 610, nullptr},
                              {-150, 0, 0, nullptr},    {INT32_MIN, INT32_MAX, INT32_MAX, nullptr}};
        for (const Step& step : steps) {
            s.FrameMP3 = step.target;
            s.LastFrame = step.before;
            rig.window->Timer1_Timer();
            QCOMPARE(s.LastFrame, step.after);
            if (step.shown) QCOMPARE(rig.find<QLabel>("lblTime")->text(), QString(step.shown));
        }
    }

    void aboutAndInfo() {
        WindowRig rig(programDir_.path());
        rig.window->btnAbout_Click();
        const QString doc = programDir_.path() + "/lyrvox.txt";
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(!rig.dialogs.messages[0].contains('\n'));
        const QStringList lines = rig.dialogs.messages[0].split('\r');  // each ended by "\r"
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString("Lyrvox (c) 2000 the Lyrvox authors"));
        QVERIFY(QRegularExpression("^Version \\d+\\.\\d+\\.\\d+, released \\d{4}-\\d\\d-\\d\\d$")
                    .match(lines[1])
                    .hasMatch());
        QCOMPARE(lines.mid(2), QStringList({QString(), doc, QString()}));

        rig.window->btnInfo_Click();
        rig.window->btnInfo_Click();
        QCOMPARE(rig.dialogs.opened, QStringList({doc, doc}));
        QCOMPARE(rig.dialogs.messages.size(), 1);
        rig.dialogs.openSucceeds = false;
        rig.window->btnInfo_Click();
        QCOMPARE(rig.dialogs.messages.size(), 2);
        QCOMPARE(rig.dialogs.messages[1], "Cannot open the documentation file: " + doc);
    }

    void realFileDialogListsNamesInAnyCase() {
        QTemporaryDir dir;
        for (const char* name : {"a.cdg", "B.CDG", "c.Cdg", "d.mp3", "e.txt"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const std::vector<FileFilter> filters = {{"Lyrvox Files", {"*.CDG", "*.MP3", "*.RW"}},
                                                 {"CDG Files (*.CDG)", {"*.CDG"}}};
        QStringList shownEntries, listed;
        QString startDir, problem;
        // Looks at the dialog once it is up and always closes it, so a failure
        // cannot hang the test.
        QTimer poll;
        poll.setInterval(20);
        int attempts = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* view = dialog ? dialog->findChild<QAbstractItemView*>("listView") : nullptr;
            if (view == nullptr) {
                if (++attempts > 250) poll.stop();
                return;
            }
            listed.clear();
            const QModelIndex root = view->rootIndex();
            for (int r = 0; r < view->model()->rowCount(root); ++r) {
                listed << view->model()->index(r, 0, root).data().toString();
            }
            // The directory is read in the background: wait for all three.
            if (listed.size() < 3 && ++attempts < 250) return;
            poll.stop();
            startDir = dialog->directory().absolutePath();
            if (auto* types = dialog->findChild<QComboBox*>("fileTypeCombo")) {
                for (int i = 0; i < types->count(); ++i) shownEntries << types->itemText(i);
            }
            dialog->selectNameFilter(qtNameFilter(filters[0]));
            // Typed into the name box, as a user would (selectFile leaves a focused
            // name box alone).
            if (auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit")) {
                nameEdit->setText("c.Cdg");
            }
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept is protected
            if (dialog->isVisible()) {
                problem = "the dialog did not take " + dialog->selectedFiles().join(',');
                static_cast<QDialog*>(dialog)->reject();
            }
        });
        poll.start();
        QtDialogProvider provider;
        const auto choice = provider.chooseOpenFile({dir.path(), filters, 2});
        QCOMPARE(problem, QString());
        QCOMPARE(startDir, QDir(dir.path()).absolutePath());
        QCOMPARE(shownEntries, QStringList({"Lyrvox Files", "CDG Files (*.CDG)"}));
        listed.sort();
        QCOMPARE(listed, QStringList({"B.CDG", "a.cdg", "c.Cdg"}));
        QVERIFY(choice.has_value());
        QCOMPARE(choice->path, dir.filePath("c.Cdg"));
        QCOMPARE(choice->filterIndex, 1);
    }

    void labelsShowFileNamesAsPlainText() {
        WindowRig rig(programDir_.path());
        rig.window->SetStatus("Playing: <b>x</b>.");
        auto* stat = rig.find<QLabel>("lblStat");
        QCOMPARE(stat->textFormat(), Qt::PlainText);
        QCOMPARE(stat->text(), QString("Playing: <b>x</b>."));
        // A right-aligned label that sizes itself keeps its right edge.
        auto* name = rig.find<QLabel>("lblFName");
        const int right = name->geometry().right();
        rig.window->SetFileNameLabel("a rather long image name.bin");
        QCOMPARE(name->geometry().right(), right);
        QVERIFY(name->width() > rig.window->twipsToPixelsX(45));
    }
};

QTEST_MAIN(ControlWindowTest)
#include "tst_control_window.moc"
