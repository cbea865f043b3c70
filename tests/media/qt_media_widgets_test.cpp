// The media control inside a widgets application, where media that may be video
// get a video window: sound in a video container still plays, and plain audio
// never opens a window.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "playback/qt_media_control.h"
#include "tests/media/wav_writer.h"

using lyrvox::MediaControl;
using lyrvox::QtMediaControl;

class QtMediaWidgetsTest : public QObject {
    Q_OBJECT
  private slots:
    void soundUnderAVideoNamePlaysWithoutAWindow() {
        QTemporaryDir dir;
        // A WAV under a video name: the video path is taken, but no picture comes.
        const QString clip = dir.filePath("clip.avi");
        QVERIFY(lyrvox::testing::writeToneWav(clip.toStdString(), 1.0));
        QtMediaControl media;
        media.FileName(clip.toStdString());
        media.Command("Open");
        media.Command("Play");
        QElapsedTimer timer;
        timer.start();
        while (media.Mode() != MediaControl::kModeStopped && timer.elapsed() < 8000) {
            QTest::qWait(20);
        }
        QCOMPARE(media.Mode(), MediaControl::kModeStopped);
        QVERIFY(!media.Failed());
        QVERIFY(media.Position() > 500);
        for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY(!w->isVisible());
        media.Command("close");
    }
};

QTEST_MAIN(QtMediaWidgetsTest)
#include "qt_media_widgets_test.moc"
