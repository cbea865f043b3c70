// A night of singers through the Library and Singers windows and the control
// window (tests/support/night_world.h): the plain queue when no singer can sing,
// the up-next screen and its keys, and a whole night run by itself with the player
// killed in it. (The history window and its CSV: NightWindowsTest.)
#include <signal.h>
#include <unistd.h>

#include "support/night_world.h"

namespace lyrvox {
namespace {

using RotationNightTest = testing::NightWorld;

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
// "Play queue" during a turn moves on to the next: it was sung, skipped.
TEST_F(RotationNightTest, TheUpNextScreenHoldsAndStartsOnTheHostsKeys) {
    for (const char* title : {"One", "Before"}) writeSong(title);
    writeSong("Two", true);
    addSinger("Ann");
    addSinger("Bob");
    addFor("Ann", "One");
    addFor("Bob", "Two");
    addFor("Ann", "One");
    lib().pauseBox()->setValue(1);
    const UpNextScreen& screen = display().upNextScreen();
    window.playFile(path("Before"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.isShown(); }, 5000));
    EXPECT_EQ(display().banner(), "Next singer: Ann - A - One in 1 s");
    EXPECT_EQ(screen.next().singer, "Ann");
    EXPECT_EQ(screen.next().song, "A - One");
    EXPECT_EQ(screen.next().following, QStringList{"Bob"});

    QTest::keyClick(&display(), Qt::Key_H);
    ASSERT_TRUE(screen.next().held);
    QTest::qWait(1500);  // past the pause: held, nothing starts
    EXPECT_EQ(window.session().transport(), Transport::Waiting);
    QTest::keyClick(&display(), Qt::Key_H);
    EXPECT_FALSE(screen.next().held);
    ASSERT_TRUE(QTest::qWaitFor([&] { return playing() == "A - One"; }, 3000));
    EXPECT_FALSE(screen.isShown());

    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.isShown(); }, 5000));
    EXPECT_EQ(screen.next().singer, "Bob");
    QTest::keyClick(&display(), Qt::Key_Return);  // at once, not after the second
    EXPECT_EQ(playing(), "A - Two");
    EXPECT_FALSE(screen.isShown());
    button(lib(), "Play queue")->click();
    EXPECT_EQ(library->currentTurn()->singer, "Ann");
    EXPECT_EQ(history(), "Ann One 0 finished|Bob Two 0 skipped|");
}

// A host's night: five singers with two songs each, started once, runs by itself
// in the fair order, each song in the key its singer last sang it in (Cy's "Cy2",
// two up on an earlier night). The player is killed (SIGKILL) in a process of its
// own where each case says; started again, the night goes on where it was and runs
// to its end. The same test is that process, told by LYRVOX_KILL_AT.
struct KillCase {
    const char* label;
    enum { WhilePlaying, TurnStopped, InThePause, PauseStopped } at;
    const char* coming;       // the next turns after the start again
    const char* interrupted;  // what the history says of Ed's first "Ed1"
};

struct PlayerKilled : RotationNightTest, ::testing::WithParamInterface<KillCase> {};

TEST_P(PlayerKilled, AFiveSingerNightGoesOnWhereItWas) {
    const KillCase& c = GetParam();
    if (qEnvironmentVariableIsSet("LYRVOX_KILL_AT")) {
        const bool inTurn = c.at == KillCase::WhilePlaying || c.at == KillCase::TurnStopped;
        lib().pauseBox()->setValue(inTurn ? 0 : 60);
        button(lib(), "Play queue")->click();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return inTurn ? playing() == "A - Ed1"
                              : window.session().transport() == Transport::Waiting;
            },
            10000));
        if (c.at == KillCase::TurnStopped || c.at == KillCase::PauseStopped)
            window.controls().stop->click();
        kill(getpid(), SIGKILL);
    }
    for (const QString name : {"Ann", "Bob", "Cy", "Di", "Ed"}) {
        addSinger(name);
        for (const QString n : {"1", "2"}) {
            writeSong(name + n, name + n == "Ed1");  // long enough to be caught playing
            addFor(name, name + n);
        }
    }
    ASSERT_TRUE(library->rotation().played(
        {"Cy", toFsPath(path("Cy2")), "A", "Cy2", 1, 2, 100, "finished"}));
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LYRVOX_KILL_AT", c.label);
    env.insert("LYRVOX_NIGHT_FOLDER", folder);
    player.setProcessEnvironment(env);
    const ::testing::TestInfo& test = *::testing::UnitTest::GetInstance()->current_test_info();
    player.start(QCoreApplication::applicationFilePath(),
                 {QString("--gtest_filter=%1.%2").arg(test.test_suite_name(), test.name())});
    ASSERT_TRUE(player.waitForFinished(60000));
    ASSERT_EQ(player.exitStatus(), QProcess::CrashExit) << player.readAll().toStdString();
    writeSong("Ed1");  // over at once from now on
    startLibrary();
    EXPECT_EQ(coming(2), c.coming);
    EXPECT_EQ(window.controls().status->text().startsWith("Cut short when Lyrvox last ended"),
              c.at == KillCase::WhilePlaying);
    button(lib(), "Play queue")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return coming(1).empty() && idle(); }, 10000));
    EXPECT_EQ(history(), std::string("Cy Cy2 2 finished|Ann Ann1 0 finished|Bob Bob1 0 finished|"
                                     "Cy Cy1 0 finished|Di Di1 0 finished|") +
                             c.interrupted +
                             "Ed Ed1 0 finished|Ann Ann2 0 finished|Bob Bob2 0 finished|"
                             "Cy Cy2 2 finished|Di Di2 0 finished|Ed Ed2 0 finished|");
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Night, PlayerKilled,
    ::testing::Values(KillCase{"while_playing", KillCase::WhilePlaying, "Ed Ed1|Ann Ann2|",
                               "Ed Ed1 0 interrupted|"},
                      KillCase{"after_Stop_gave_the_turn_back", KillCase::TurnStopped,
                               "Ed Ed1|Ann Ann2|", "Ed Ed1 0 stopped|"},
                      KillCase{"during_the_up_next_pause", KillCase::InThePause, "Bob Bob1|Cy Cy1|",
                               ""},
                      KillCase{"between_turns_the_pause_stopped", KillCase::PauseStopped,
                               "Bob Bob1|Cy Cy1|", ""}),
    [](const auto& param) { return std::string(param.param.label); });

}  // namespace
}  // namespace lyrvox
