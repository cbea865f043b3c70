// A whole session on the real media control and event pump, headless: graphics
// follow real audio to their end, and broken audio hands the pacing to the clock.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "playback/qt_event_pump.h"
#include "playback/qt_media_control.h"
#include "tests/media/pump_host.h"
#include "tests/media/wav_writer.h"
#include "tests/session/session_fakes.h"
#include "util/text_helpers.h"

using namespace lyrvox;

class QtSessionTest : public QObject {
    Q_OBJECT
  private slots:
    void graphicsFollowRealAudioToTheirEnd() {
        QTemporaryDir dir;
        const std::string chosen = dir.filePath("song.cdg").toStdString();
        const std::string base = StripExtension(chosen);
        QVERIFY(testing::writeToneWav(base + ".wav", 2.0));
        testing::FakeFiles files;
        files.files[base + ".cdg"].bytes = testing::graphicsBytes(300);  // one second
        files.files[base + ".wav"];

        PlayerState state;
        QtMediaControl media;
        lyrvox::testing::PumpHost host(state, media);
        SteadySessionClock clock;
        PlaybackSession session(state, media, host, clock, files);
        QElapsedTimer timer;
        timer.start();
        session.DoCDGFile(chosen);
        const qint64 elapsed = timer.elapsed();

        QCOMPARE(state.machine.PacketCount, 300);
        QCOMPARE(host.statuses.back(), std::string("Ready."));
        QVERIFY(elapsed > 500);    // paced, not read at once
        QVERIFY(elapsed < 10000);  // and not stuck
        // About 75 passes a second, not a spin of thousands.
        QVERIFY2(host.passes < 1000, qPrintable(QString::number(host.passes)));
    }

    void brokenAudioStillPlaysTheGraphics() {
        QTemporaryDir dir;
        const std::string chosen = dir.filePath("bad.cdg").toStdString();
        const std::string base = StripExtension(chosen);
        {
            std::ofstream junk(base + ".mp3", std::ios::binary);
            for (int i = 0; i < 5000; ++i) junk.put(static_cast<char>(i * 31));
        }
        testing::FakeFiles files;
        files.files[base + ".cdg"].bytes = testing::graphicsBytes(150);
        files.files[base + ".mp3"];

        PlayerState state;
        QtMediaControl media;
        lyrvox::testing::PumpHost host(state, media);
        SteadySessionClock clock;
        PlaybackSession session(state, media, host, clock, files);
        session.DoCDGFile(chosen);
        QCOMPARE(state.machine.PacketCount, 150);
        QCOMPARE(host.statuses.back(), "Cannot play: " + FileNameOf(base + ".mp3"));
    }
};

QTEST_MAIN(QtSessionTest)
#include "qt_session_test.moc"
