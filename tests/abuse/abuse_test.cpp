// The whole player under a random user, and commands served as a session starts (Xvfb).
#include <gtest/gtest.h>
#include <QTest>

#include "abuse/random_driver.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "playback/media/qt_media_control.h"
#include "support/test_files.h"
#include "tools/demo_song/melody.h"

namespace lyrvox {
namespace {

// "" when controls and flags form a row of the state table (command line: Play stays off).
QString stateFault(ControlWindow& window, bool commandLine = false) {
    const ControlLayout& c = window.controls();
    const PlayerState& s = window.state();
    const QString caption = c.play->text();
    const bool open = c.open->isEnabled(), play = c.play->isEnabled(), stop = c.stop->isEnabled();
    if (s.sessionRunning
            ? !open && (play || commandLine) && stop && caption == (s.paused ? "Cont" : "Pause")
            : !s.paused && open && !stop &&
                  (caption == "&Play" ? play == !s.chosenFile.empty() : caption == "Play" && play))
        return {};
    return QString::asprintf("no row: \"%s\", Open/Play/Stop %d%d%d, running %d, paused %d",
                             qPrintable(caption), open, play, stop, s.sessionRunning, s.paused);
}

// The player's real parts, in a folder of its own, counting the ends of the program.
struct Player {
    testing::TempFolder work;
    QtMediaControl media;
    QtDialogProvider dialogs;
    QtSettingsStore settings{QString::fromStdString(work.path("lyrvox.ini"))};
    int ends = 0;
    ControlWindow window{{media, dialogs, settings, diskSessionFactory(""),
                          QString::fromStdString(work.path()), [this] { ++ends; }}};
};

TEST(Abuse, RandomUserLeavesAConsistentResponsivePlayer) {
    QString demo = LYRVOX_DEMO_DIR "/lyrvox-demo.cdg", corpus = LYRVOX_CORPUS_DIR "/demokar.cdg";
    if (!QFile::exists(demo) || !QFile::exists(corpus)) GTEST_SKIP() << "no demo or corpus song";
    Player player;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(player.work.path());   // where snapshots go
    const char* env = std::getenv("LYRVOX_ABUSE_SEED");  // replays another sequence
    testing::RandomDriver driver(player.window, env && *env ? std::stoul(env) : 1206);
    std::printf("abuse seed %s\n", env && *env ? env : "1206");
    driver.songs = {corpus, demo};  // the demo plays first, from the command line
    player.window.controls().source->setText(QString::fromStdString(player.work.path("no.bin")));
    bool inStartUp = true, fired = false;
    driver.checkState = [&] { return stateFault(player.window, inStartUp); };
    driver.onFinished = [&] {  // inside whatever the last actions left running
        driver.fault += stateFault(player.window);
        QTimer::singleShot(0, &player.window, [&] { fired = true; });
        if (!QTest::qWaitFor([&] { return fired; }, 500)) driver.fault += "unresponsive";
        player.window.close();
    };
    driver.start();
    player.window.startUp({demo});  // returns when the command line's playback has ended
    inStartUp = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.ends > 0; }, 360000));
    std::filesystem::current_path(previous);
    std::printf("songs opened %d, dialogs cancelled %d\n", driver.songsOpened, driver.cancelled);
    EXPECT_EQ(driver.fault, "");
    EXPECT_TRUE(driver.songsOpened >= 2 && driver.cancelled > 0) << driver.songsOpened;
    EXPECT_EQ(driver.messages.filter("Cannot save the snapshot").join('\n'), "");
    player.window.close();  // again, as a window manager may: nothing ends twice
    EXPECT_EQ(player.ends, 1);
}

// A Stop, a close or a Play queued before the Play click, so served by the session's first
// serving of events, takes effect: no session plays on, and none starts inside it.
TEST(Abuse, TransportCommandsServedAsASessionStartsTakeEffect) {
    for (const bool audio : {false, true}) {
        for (const std::string action : {"stop", "close", "play"}) {
            SCOPED_TRACE(action + (audio ? " beside audio" : " graphics only"));
            Player player;
            const std::string song = player.work.path("song");  // 20 s
            testing::writeFile(song + ".cdg", std::string(6000 * 24, '\0'));
            if (audio) testing::writeFile(song + ".wav", Melody::wavFile(Melody::render({}, 6000)));
            player.window.startUp({});
            player.window.state().chosenFile = song + ".cdg";
            player.window.controls().play->setEnabled(true);
            int sessionsInside = 0;
            QTimer::singleShot(0, &player.window, [&] {
                if (action == "close") return void(player.window.close());
                if (action == "play") {  // pauses the session, or starts one inside it
                    sessionsInside += !player.window.state().sessionRunning;
                    QTest::mouseClick(player.window.controls().play, Qt::LeftButton);
                }
                QTest::mouseClick(player.window.controls().stop, Qt::LeftButton);
            });
            bool& running = player.window.state().sessionRunning;  // a lost Stop plays on: rescued
            QTimer::singleShot(5000, &player.window, [&] { running = false; });
            const auto start = std::chrono::steady_clock::now();
            QTest::mouseClick(player.window.controls().play, Qt::LeftButton);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
            EXPECT_EQ(sessionsInside, 0);
            EXPECT_EQ(player.ends, action == "close");
            EXPECT_EQ(action == "close" ? "" : stateFault(player.window), "");
        }
    }
}

}  // namespace
}  // namespace lyrvox
