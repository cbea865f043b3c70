// The whole player under a random user (Xvfb).
#include <gtest/gtest.h>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <random>

#include "app/control_window.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "playback/media/song_media_control.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

// A seeded random user of the control window (its actions: see act()). A tick closes what
// came up, or arms the next before it acts: it goes on inside dialogs' loops.
class RandomDriver {
  public:
    RandomDriver(ControlWindow& window, unsigned long seed) : window_(window), random_(seed) {}
    void start() { QTimer::singleShot(90, &window_, std::bind(&RandomDriver::tick, this)); }

    QStringList songs;                    // accepted in the Open dialog in turn
    std::function<QString()> checkState;  // each tick with no dialog open: a fault or ""
    std::function<void()> onFinished;     // after the last action
    QString fault;                        // the first, with the action before it
    QStringList messages;                 // the texts of the message boxes closed
    int songsOpened = 0, cancelled = 0;   // cancelled: dialogs

  private:
    void tick() {
        if (sent_ > 1000) return;
        QWidget* modal = QApplication::activeModalWidget();
        auto* box = qobject_cast<QMessageBox*>(modal);
        auto* files = wanted_.isEmpty() ? nullptr : qobject_cast<QFileDialog*>(modal);
        if (box) messages << box->text();
        if (files) files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(wanted_);
        if (box) QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        if (files) files->QDialog::accept();  // with the name typed in
        if (modal && !box && !files) {
            ++cancelled;
            modal->close();
        }
        if (modal) return start();
        if (fault.isEmpty() && !(fault = checkState()).isEmpty())
            fault += QStringLiteral(" after action %1 (%2)").arg(sent_).arg(last_);
        if (sent_++ == 1000) return onFinished();
        start();  // before acting: the action may open a modal dialog
        act();
    }

    // Clicks and Alt keys on every button (Play twice as often); every 125 actions a song
    // opened through the file dialog and played (a playing one stopped first); frame rates;
    // the display window resized to 0x0 and beyond the screen, minimised, maximised, closed.
    void act() {
        const bool running = window_.session().songRunning();  // a song is due every 125 actions
        if (sent_ % 125 == 0 && running) return QTest::mouseClick(c_.stop, Qt::LeftButton);
        if (sent_ % 125 < 2 && !running && c_.open->isEnabled()) {
            wanted_ = songs[songsOpened % songs.size()];
            last_ = QStringLiteral("open song");
            QTest::mouseClick(c_.open, Qt::LeftButton);  // a later tick types the name and accepts
            const QFileInfo chosen(QString::fromStdString(window_.chosenFile()));
            if (chosen != QFileInfo(std::exchange(wanted_, {}))) return;
            ++songsOpened;
            return QTest::mouseClick(c_.play, Qt::LeftButton);
        }
        QPushButton* const buttons[] = {c_.stop,    c_.play,     c_.play,       c_.open,
                                        c_.size,    c_.snapshot, c_.about,      c_.info,
                                        c_.options, c_.convert,  c_.chooseImage};
        QWidget* display = window_.display().window();
        const std::pair<const char*, std::function<void()>> others[] = {
            {"frame rate",
             [&] { QTest::keyClick(c_.frameRate, pick(2) ? Qt::Key_Down : Qt::Key_Up); }},
            {"display 0x0 or beyond the screen",
             [&] { display->resize(pick(2) * 4000, pick(2) * 3000); }},
            {"display minimised", [&] { display->showMinimized(); }},
            {"display maximised", [&] { display->showMaximized(); }},
            {"display closed", [&] { display->close(); }}};
        const int n = static_cast<int>(std::size(buttons));
        const int roll = pick(n + static_cast<int>(std::size(others)));
        if (roll >= n) {
            last_ = others[roll - n].first;
            return others[roll - n].second();
        }
        last_ = buttons[roll]->text();
        const QKeySequence alt = QKeySequence::mnemonic(last_);  // Alt and the underlined letter
        if (alt.isEmpty() || pick(2)) return QTest::mouseClick(buttons[roll], Qt::LeftButton);
        QApplication::setActiveWindow(&window_);  // mnemonics reach only the active window
        QTest::keySequence(&window_, alt);
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    ControlWindow& window_;
    const ControlLayout& c_ = window_.controls();
    std::mt19937 random_;
    int sent_ = 0;           // actions; 1000 in all
    QString wanted_, last_;  // the name the file dialog is to accept; the last action
};

// "" when controls and flags form a row of the state table.
QString stateFault(ControlWindow& window) {
    const ControlLayout& c = window.controls();
    const Transport t = window.session().transport();
    const bool running = window.session().songRunning(), paused = t == Transport::Paused;
    const QString caption = c.play->text();
    const bool open = c.open->isEnabled(), play = c.play->isEnabled(), stop = c.stop->isEnabled();
    if (running ? !open && play && stop && caption == (paused ? "&Cont" : "&Pause")
                : t == Transport::Idle && open && !stop && caption == "&Play" &&
                      (play || window.chosenFile().empty()))
        return {};
    return QString::asprintf("no row: \"%s\", Open/Play/Stop %d%d%d, running %d, paused %d",
                             qPrintable(caption), open, play, stop, running, paused);
}

// The player's real parts, in a folder of its own, counting the ends of the program.
struct Player {
    testing::TempFolder work;
    SongMediaControl media;
    QtDialogProvider dialogs;
    QtSettingsStore settings{QString::fromStdString(work.path("lyrvox.ini"))};
    int ends = 0;
    ControlWindow window{
        {media, dialogs, settings, "", QString::fromStdString(work.path()), [this] { ++ends; }}};
};

TEST(Abuse, RandomUserLeavesAConsistentResponsivePlayer) {
    QString demo = LYRVOX_DEMO_DIR "/lyrvox-demo.cdg", corpus = LYRVOX_CORPUS_DIR "/demokar.cdg";
    if (!QFile::exists(demo) || !QFile::exists(corpus)) GTEST_SKIP() << "no demo or corpus song";
    Player player;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(player.work.path());   // where snapshots go
    const char* env = std::getenv("LYRVOX_ABUSE_SEED");  // replays another sequence
    RandomDriver driver(player.window, env && *env ? std::stoul(env) : 1206);
    std::printf("abuse seed %s\n", env && *env ? env : "1206");
    driver.songs = {corpus, demo};  // the demo plays first, from the command line
    player.window.controls().source->setText(QString::fromStdString(player.work.path("no.bin")));
    bool fired = false;
    driver.checkState = [&] { return stateFault(player.window); };
    driver.onFinished = [&] {
        driver.fault += stateFault(player.window);
        QTimer::singleShot(0, &player.window, [&] { fired = true; });
        if (!QTest::qWaitFor([&] { return fired; }, 500)) driver.fault += "unresponsive";
        player.window.close();
    };
    driver.start();
    player.window.startUp({demo.toStdString()});  // the demo plays at once
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.ends > 0; }, 360000));
    std::filesystem::current_path(previous);
    std::printf("songs opened %d, dialogs cancelled %d\n", driver.songsOpened, driver.cancelled);
    EXPECT_EQ(driver.fault, "");
    EXPECT_TRUE(driver.songsOpened >= 2 && driver.cancelled > 0) << driver.songsOpened;
    EXPECT_EQ(driver.messages.filter("Cannot save the snapshot").join('\n'), "");
    player.window.close();  // again, as a window manager may: nothing ends twice
    EXPECT_EQ(player.ends, 1);
}

}  // namespace
}  // namespace lyrvox
