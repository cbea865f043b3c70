// A whole session on the real media control and event pump, headless: graphics
// follow real audio to their end, and broken audio hands the pacing to the clock.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <memory>

#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "playback/qt_media_control.h"
#include "tests/media/pump_host.h"
#include "tests/media/wav_writer.h"
#include "tests/session/session_fakes.h"

using namespace lyrvox;

struct Run {
    PlayerState state;
    QtMediaControl media;
    testing::PumpHost host{state, media};
    qint64 ms = 0;
};

// Plays `packets` packets beside the audio base + `audio`.
std::unique_ptr<Run> play(const std::string& base, const std::string& audio, std::size_t packets) {
    auto run = std::make_unique<Run>();
    testing::FakeFiles files;
    testing::addSong(files, base, {".cdg", audio}, packets);
    SteadySessionClock clock;
    PlaybackSession session(run->state, run->media, run->host, clock, files);
    QElapsedTimer timer;
    timer.start();
    session.DoCDGFile(base + ".cdg");
    run->ms = timer.elapsed();
    return run;
}

class QtSessionTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

  private slots:
    void graphicsFollowRealAudioToTheirEnd() {
        const std::string base = dir_.filePath("song").toStdString();
        QVERIFY(testing::writeToneWav(base + ".wav", 2.0));
        const auto run = play(base, ".wav", 300);  // one second
        QCOMPARE(run->state.machine.PacketCount, 300);
        QCOMPARE(run->host.statuses.back(), std::string("Ready."));
        QVERIFY(run->ms > 500);    // paced, not read at once
        QVERIFY(run->ms < 10000);  // and not stuck
        // About 75 passes a second, not a spin of thousands.
        QVERIFY2(run->host.passes < 1000, qPrintable(QString::number(run->host.passes)));
    }

    void brokenAudioStillPlaysTheGraphics() {
        const std::string base = dir_.filePath("bad").toStdString();
        std::ofstream junk(base + ".mp3", std::ios::binary);
        for (int i = 0; i < 5000; ++i) junk.put(static_cast<char>(i * 31));
        junk.close();
        const auto run = play(base, ".mp3", 150);
        QCOMPARE(run->state.machine.PacketCount, 150);
        QCOMPARE(run->host.statuses.back(), std::string("Cannot play: bad.mp3"));
    }
};

QTEST_MAIN(QtSessionTest)
#include "qt_session_test.moc"
