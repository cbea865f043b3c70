// The bad-input catalogue, media part: broken audio beside a song and alone, on
// the real media control (headless, in real time). Each case states the exact
// outcome: status lines, messages, packets drawn, files before and after.
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "playback/qt_event_pump.h"
#include "playback/qt_media_control.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/media/pump_host.h"
#include "tests/media/wav_writer.h"

using namespace lyrvox;

namespace {

using lyrvox::testing::bytesOf;
using lyrvox::testing::writeFile;

std::string corpusHead(const char* name, std::size_t bytes) {
    std::ifstream in(std::string(LYRVOX_CORPUS_DIR) + "/" + name, std::ios::binary);
    std::string head(bytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(bytes));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

struct Outcome {
    std::vector<std::string> statuses, messages;
    int packets = 0;
    qint64 ms = 0;
};

Outcome play(const std::string& chosen) {
    PlayerState state;
    QtMediaControl media;
    lyrvox::testing::PumpHost host(state, media);
    SteadySessionClock clock;
    DiskSessionFiles files;
    PlaybackSession session(state, media, host, clock, files);
    QElapsedTimer timer;
    timer.start();
    session.DoCDGFile(chosen);
    return {host.statuses, host.messages, state.machine.PacketCount, timer.elapsed()};
}

using Statuses = std::vector<std::string>;

}  // namespace

class MediaCatalogueTest : public QObject {
    Q_OBJECT
  private slots:
    void brokenAudio_data() {
        QTest::addColumn<QByteArray>("audio");    // the content of song.mp3
        QTest::addColumn<QString>("lastStatus");  // after the session, with graphics or alone
        QTest::newRow("empty") << QByteArray() << "Cannot play: song.mp3";
        QTest::newRow("random bytes")
            << QByteArray::fromStdString(bytesOf(200000, 11)) << "Cannot play: song.mp3";
        const std::string truncated = corpusHead("demokar.mp3", 48000);  // two seconds at 192 kb/s
        QTest::newRow("truncated") << QByteArray::fromStdString(truncated) << "Ready.";
    }

    // Beside a second of graphics, broken audio never stops the graphics: they
    // play to their end paced by the clock, and the status line then says that
    // the audio could not be played. Alone, such audio says so at once; a
    // truncated file plays what it has and ends.
    void brokenAudio() {
        QFETCH(QByteArray, audio);
        QFETCH(QString, lastStatus);
        QTemporaryDir dir;
        const std::string base = dir.filePath("song").toStdString();
        writeFile(base + ".mp3", audio.toStdString());
        writeFile(base + ".cdg", std::string(24 * 300, '\0'));
        const auto before = lyrvox::testing::filesIn(dir.path().toStdString());

        Outcome withGraphics = play(base + ".cdg");
        QCOMPARE(withGraphics.packets, 300);
        Statuses expected{"Playing: song.MP3/CDG", "Ready."};
        if (lastStatus != "Ready.") expected.push_back(lastStatus.toStdString());
        QCOMPARE(withGraphics.statuses, expected);
        QVERIFY(withGraphics.messages.empty());
        QVERIFY2(withGraphics.ms > 500 && withGraphics.ms < 10000,
                 qPrintable(QString::number(withGraphics.ms)));

        std::filesystem::remove(base + ".cdg");
        Outcome alone = play(base + ".mp3");
        QCOMPARE(alone.statuses.front(), std::string("Playing: song.MP3"));
        QCOMPARE(QString::fromStdString(alone.statuses.back()), lastStatus);
        QVERIFY2(alone.ms < 15000, qPrintable(QString::number(alone.ms)));
        std::map<std::string, std::string> after =
            lyrvox::testing::filesIn(dir.path().toStdString());
        after["song.cdg"] = before.at("song.cdg");
        QCOMPARE(after, before);
    }

    void wavWithoutData() {
        QTemporaryDir dir;
        const std::string wav = dir.filePath("song.wav").toStdString();
        QVERIFY(lyrvox::testing::writeToneWav(wav, 0.0));  // a header and an empty data chunk
        Outcome alone = play(wav);
        QCOMPARE(alone.statuses.front(), std::string("Playing: song.WAV"));
        QVERIFY2(alone.ms < 15000, qPrintable(QString::number(alone.ms)));
        QCOMPARE(alone.statuses.back(), std::string("Ready."));  // nothing to play is not an error
        writeFile(dir.filePath("song.cdg").toStdString(), std::string(24 * 300, '\0'));
        Outcome withGraphics = play(dir.filePath("song.cdg").toStdString());
        QCOMPARE(withGraphics.packets, 300);
        QCOMPARE(withGraphics.statuses, (Statuses{"Playing: song.WAV/CDG", "Ready."}));
    }
};

QTEST_GUILESS_MAIN(MediaCatalogueTest)
#include "media_catalogue_test.moc"
