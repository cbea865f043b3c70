// A night of the queue through the Library window and the control window
// (tests/support/night_world.h): songs on an unplugged drive, Stop during a queued
// song, Clear, and the pause before the next song.
#include "support/night_world.h"

namespace lyrvox {
namespace {

struct QueueNightTest : testing::NightWorld {
    void queue(const std::vector<const char*>& titles) {
        for (const char* title : titles) lib().addToQueue({toFsPath(path(title)), "A", title});
    }
    // The list as the host sees it, rows joined by "|".
    QString rows() {
        QStringList shown;
        QAbstractItemModel* model = lib().queueList()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            shown << model->index(row, 0).data().toString();
        return shown.join("|");
    }
    // The queue as stored, as the next run reads it.
    std::string stored() {
        std::string titles;
        for (const QueueEntry& e : LibraryIndex(toFsPath(db)).loadQueue()) titles += e.title + ";";
        return titles;
    }
    QString nowPlayingLine() {
        return lib().nowPlayingLine()->isVisibleTo(&lib()) ? lib().nowPlayingLine()->text() : "";
    }
    QPushButton* button(const QString& text) { return NightWorld::button(lib(), text); }
};

// Two songs of three on a drive that is not there: the third plays, with one note
// naming both and no box, and all three stay queued until they are sung; once the
// drive is back, its songs play. The queue is started by "Play queue", or runs on
// after a song that ends by itself.
TEST_F(QueueNightTest, MissingSongsStayQueuedArePassedOverWithOneNoteAndPlayWhenBack) {
    for (const bool byButton : {true, false}) {
        SCOPED_TRACE(byButton ? "Play queue" : "after a song");
        QDir(work.filePath("drive")).removeRecursively();
        lib().queue().clear();
        writeSong("Three");
        writeSong("Before");
        queue({"One", "Two", "Three"});
        EXPECT_EQ(rows(), "A - One  (missing)|A - Two  (missing)|A - Three");
        const QModelIndex first = lib().queueList()->model()->index(0, 0);
        EXPECT_TRUE(first.data(Qt::ToolTipRole).toString().startsWith("Missing"));
        EXPECT_TRUE(first.data(Qt::ForegroundRole).isValid() &&
                    !lib().queueList()->model()->index(2, 0).data(Qt::ForegroundRole).isValid());
        if (byButton) {
            button("Play queue")->click();
        } else {
            window.playFile(path("Before"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return playing() == "A - Three"; }));
        }
        EXPECT_EQ(playing(), "A - Three");
        const QString note = "Skipped 2 missing songs: A - One, A - Two";
        EXPECT_EQ(window.controls().status->text(), note);
        EXPECT_EQ(lib().queueNote()->text(), note);
        EXPECT_EQ(stored(), "Three;One;Two;");
        ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }));  // Three sung
        QTest::qWait(50);
        EXPECT_EQ(rows(), "A - One  (missing)|A - Two  (missing)");
        EXPECT_EQ(stored(), "One;Two;");
        EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();

        writeSong("One");  // the drive is back, with one of them
        lib().show();      // the marks are looked at again
        EXPECT_EQ(rows(), "A - One|A - Two  (missing)");
        lib().hide();
        button("Play queue")->click();
        EXPECT_EQ(playing(), "A - One");
        EXPECT_TRUE(lib().queueNote()->text().isEmpty());
        ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }));
        EXPECT_EQ(stored(), "Two;");
    }
    // The drive pulled out during a song: it was not sung, and stays.
    writeSong("Four");
    lib().queue().clear();
    queue({"Four"});
    button("Play queue")->click();
    ASSERT_EQ(playing(), "A - Four");
    QFile::remove(path("Four"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle(); }));
    EXPECT_EQ(rows(), "A - Four  (missing)");
    EXPECT_EQ(stored(), "Four;");
}

// A queued song that starts shows as now playing and is saved first; Stop puts it
// back at the front to be played again, and so does another song started over it
// or the program closing during it. "Play queue" during it moves on: it is done.
TEST_F(QueueNightTest, TheSongPlayingStaysInSightAndStopKeepsIt) {
    writeSong("Long", true);
    writeSong("Next", true);
    writeSong("Other", true);
    queue({"Long", "Next"});
    button("Play queue")->click();
    EXPECT_EQ(playing(), "A - Long");
    EXPECT_EQ(nowPlayingLine(), "Now playing: A - Long");
    EXPECT_EQ(rows(), "A - Next");
    EXPECT_EQ(stored(), "Long;Next;");
    window.controls().stop->click();
    EXPECT_TRUE(idle() && nowPlayingLine().isEmpty());
    EXPECT_EQ(rows(), "A - Long|A - Next");
    EXPECT_EQ(stored(), "Long;Next;");

    button("Play queue")->click();  // again from the front
    EXPECT_EQ(playing(), "A - Long");
    button("Play queue")->click();  // moving on
    EXPECT_TRUE(playing() == "A - Next" && nowPlayingLine() == "Now playing: A - Next");
    EXPECT_EQ(stored(), "Next;");
    window.playFile(path("Other"));  // another song over it
    EXPECT_TRUE(playing() == "A - Other" && nowPlayingLine().isEmpty());
    EXPECT_EQ(rows(), "A - Next");

    button("Play queue")->click();
    window.session().shutDown();  // the program closing during the song
    startLibrary();
    EXPECT_EQ(rows(), "A - Next");
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

TEST_F(QueueNightTest, ClearAsksFirstAndNoKeepsTheQueue) {
    writeSong("Long", true);
    struct Case {
        std::vector<const char*> queued;
        bool yes;
        const char* question;  // none when there is nothing to clear
        const char* left;
    };
    const Case cases[] = {
        {{"A", "B"}, false, "?Clear the queue (2 songs)?", "A;B;"},
        {{"A", "B"}, true, "?Clear the queue (2 songs)?", ""},
        {{"A"}, true, "?Clear the queue (1 song)?", ""},
        {{}, false, nullptr, ""},
    };
    for (const Case& c : cases) {
        lib().queue().clear();
        messages.clear();
        queue(c.queued);
        yes = c.yes;
        button("Clear")->click();
        EXPECT_EQ(messages, c.question ? QStringList{c.question} : QStringList{});
        EXPECT_EQ(stored(), c.left);
    }
    // The song playing is not the queue's to clear: it stays in sight.
    queue({"Long"});
    button("Play queue")->click();
    queue({"B"});
    yes = true;
    button("Clear")->click();
    EXPECT_EQ(messages.last(), "?Clear the queue (1 song)?");
    EXPECT_TRUE(rows().isEmpty() && nowPlayingLine() == "Now playing: A - Long");
    EXPECT_EQ(stored(), "Long;");
}

// The pause before the next song counts down on the display, a step a second, and
// names the song that will play: the first one there as the queue stands.
TEST_F(QueueNightTest, TheNextPauseCountsDownTheSeconds) {
    writeSong("Before");
    writeSong("Three");
    queue({"Gone", "Three"});
    lib().pauseBox()->setValue(2);
    QStringList banners;
    window.playFile(path("Before"));
    QElapsedTimer clock;
    clock.start();
    while (playing() != "A - Three" && clock.elapsed() < 10000) {
        if (banners.isEmpty() || banners.last() != display().banner())
            banners << display().banner();
        QTest::qWait(20);
    }
    banners.removeAll("");
    EXPECT_EQ(banners, QStringList({"Next: A - Three in 2 s", "Next: A - Three in 1 s"}));
    EXPECT_GE(clock.elapsed(), 1900);
    EXPECT_TRUE(display().banner().isEmpty());
}

}  // namespace
}  // namespace lyrvox
