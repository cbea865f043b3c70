// The media control on the real Qt backend, headless: GStreamer plays into a fake
// sink that keeps real time. Bounds here only catch "not advancing at all" or
// "never ends"; timing figures belong to the benchmarks.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "playback/qt_event_pump.h"
#include "playback/qt_media_control.h"
#include "tests/media/wav_writer.h"

using lyrvox::MediaControl;
using lyrvox::QtMediaControl;

namespace {

// Waits in the event loop until `done` holds or `ms` have passed.
template <typename Pred>
bool waitUntil(Pred done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QTest::qWait(10);
    }
    return true;
}

void openAndPlay(MediaControl& media, const QString& path) {
    media.DeviceType("MPEGVideo");
    media.TimeFormat(0);
    media.FileName(path.toStdString());
    media.Command("Open");
    media.Wait(false);
    media.Command("Play");
}

}  // namespace

class QtMediaControlTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void nothingOpenReadsStoppedAndCommandsAreHarmless() {
        QtMediaControl media;
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
        QCOMPARE(media.Position(), 0);
        media.Command("stop");
        media.Command("Close");
        media.Command("Play");  // nothing open: nothing plays
        media.Command("bogus");
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
        QVERIFY(!media.Failed());
    }

    void playsHaltsContinuesAndEnds() {
        const QString wav = dir_.filePath("tone.wav");
        QVERIFY(lyrvox::testing::writeToneWav(wav.toStdString(), 1.6));
        QtMediaControl media;
        openAndPlay(media, wav);
        QCOMPARE(media.Mode(), MediaControl::kModePlaying);

        // Advances, and never goes back while playing.
        int32_t last = 0;
        bool monotonic = true;
        QVERIFY(waitUntil(
            [&] {
                const int32_t p = media.Position();
                monotonic = monotonic && p >= last;
                last = p;
                return p > 300;
            },
            5000));
        QVERIFY(monotonic);
        QVERIFY(!media.Failed());

        // "stop" halts and holds the position.
        media.Command("stop");
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
        const int32_t held = media.Position();
        QTest::qWait(300);
        QCOMPARE(media.Position(), held);

        // "Play" continues from there, not from the start.
        media.Command("PLAY");
        QCOMPARE(media.Mode(), MediaControl::kModePlaying);
        QVERIFY(media.Position() >= held);
        QVERIFY(waitUntil([&] { return media.Position() > held + 100; }, 5000));

        // The end reads as stopped, and the position stands still after it.
        QVERIFY(waitUntil([&] { return media.Mode() == MediaControl::kModeStopped; }, 8000));
        QVERIFY(!media.Failed());
        const int32_t atEnd = media.Position();
        QVERIFY(atEnd > held);
        QTest::qWait(200);
        QCOMPARE(media.Position(), atEnd);

        // Close forgets the medium.
        media.Command("close");
        QCOMPARE(media.Position(), 0);
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
    }

    // Missing, a folder or corrupt: the open fails at once and reads stopped; a new
    // Open, with no close in between, starts afresh.
    void badMediaFailAtOnceAndTheNextOpenStartsAfresh() {
        const QString bad = dir_.filePath("corrupt.mp3"), wav = dir_.filePath("tone2.wav");
        std::ofstream file(bad.toStdString(), std::ios::binary);
        for (int i = 0; i < 20000; ++i) file.put(static_cast<char>((i * 7919) % 251));
        file.close();
        QVERIFY(lyrvox::testing::writeToneWav(wav.toStdString(), 3.0));
        QtMediaControl media;
        for (const QString& path : {dir_.filePath("no-such-song.mp3"), dir_.path(), bad}) {
            QElapsedTimer timer;
            timer.start();
            openAndPlay(media, path);
            QVERIFY(timer.elapsed() < 3000);  // opening never blocks for long
            if (path != bad) QVERIFY(media.Failed() && media.Mode() == MediaControl::kModeStopped);
            QVERIFY(waitUntil([&] { return media.Mode() == MediaControl::kModeStopped; }, 5000));
            QVERIFY(media.Failed());
        }
        QTest::qWait(200);
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
        media.Command("Close");
        QVERIFY(!media.Failed());
        openAndPlay(media, dir_.filePath("missing.wav"));
        QVERIFY(media.Failed());
        openAndPlay(media, wav);
        QVERIFY(!media.Failed());
        QVERIFY(waitUntil([&] { return media.Position() > 100; }, 5000));
        media.Command("Stop");
        media.Command("Close");
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
    }

    void eventPumpWaitsForTheFirstEvent() {
        // An event that arrives ends the wait long before its limit.
        bool fired = false;
        QTimer::singleShot(10, [&] { fired = true; });
        QElapsedTimer timer;
        timer.start();
        while (!fired && timer.elapsed() < 5000) lyrvox::serveEvents(5000.0);
        QVERIFY(fired);
        QVERIFY(timer.elapsed() < 2500);

        // Events already pending are served without any wait.
        bool posted = false;
        QMetaObject::invokeMethod(
            this, [&] { posted = true; }, Qt::QueuedConnection);
        lyrvox::serveEvents(0.0);
        QVERIFY(posted);
    }

  private:
    QTemporaryDir dir_;
};

QTEST_MAIN(QtMediaControlTest)
#include "qt_media_control_test.moc"
