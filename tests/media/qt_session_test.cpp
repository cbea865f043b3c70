// A whole session on the real media control and event pump, headless: graphics
// follow real audio to their end. (Broken audio is in the media catalogue.)
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "playback/qt_media_control.h"
#include "tests/media/pump_host.h"
#include "tests/media/wav_writer.h"
#include "tests/session/session_fakes.h"

using namespace lyrvox;

class QtSessionTest : public QObject {
    Q_OBJECT
  private slots:
    void graphicsFollowRealAudioToTheirEnd() {
        QTemporaryDir dir;
        const std::string base = dir.filePath("song").toStdString();
        QVERIFY(testing::writeToneWav(base + ".wav", 2.0));
        testing::FakeFiles files;
        testing::addSong(files, base, {".cdg", ".wav"}, 300);  // one second of graphics
        PlayerState state;
        QtMediaControl media;
        testing::PumpHost host(state, media);
        SteadySessionClock clock;
        QElapsedTimer timer;
        timer.start();
        PlaybackSession(state, media, host, clock, files).DoCDGFile(base + ".cdg");
        const qint64 elapsed = timer.elapsed();

        QCOMPARE(state.machine.PacketCount, 300);
        QCOMPARE(host.statuses.back(), std::string("Ready."));
        QVERIFY(elapsed > 500);    // paced, not read at once
        QVERIFY(elapsed < 10000);  // and not stuck
        // About 75 passes a second, not a spin of thousands.
        QVERIFY2(host.passes < 1000, qPrintable(QString::number(host.passes)));
    }
};

QTEST_MAIN(QtSessionTest)
#include "qt_session_test.moc"
