// The whole player under abuse: a long session of random clicks and keys on the
// real control window, with the real media backend, display window, dialogs and
// settings; then ten short songs back to back, watching the resident memory.
// Runs under a virtual X server (see abuse_xvfb.sh).
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/control_window.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "app/session_runner.h"
#include "playback/qt_media_control.h"
#include "tests/abuse/random_driver.h"
#include "tests/media/wav_writer.h"
#include "tests/support/packet_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define LYRVOX_ABUSE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LYRVOX_ABUSE_ASAN 1
#endif
#endif
#ifndef LYRVOX_ABUSE_ASAN
#define LYRVOX_ABUSE_ASAN 0
#endif

using namespace lyrvox;
using namespace lyrvox::testing;

namespace {

constexpr uint32_t kSeed = 20261206;
constexpr int kActions = 1000;
constexpr int kSongs = 10;
constexpr qint64 kMaxGrowthKb = 5 * 1024;

// Resident memory of this process in kB, from /proc/self/status; -1 if unknown.
qint64 residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

// A three-second song: graphics that draw across the screen while they play, and
// a tone of the same length beside them.
void writeShortSong(const QString& basePath, int variant) {
    std::vector<uint8_t> cdg;
    append(cdg, memoryPreset(variant % 16));
    append(cdg, borderPreset((variant + 3) % 16));
    append(cdg, loadColours(0, {{{0, 0, 0},
                                 {15, 0, 0},
                                 {0, 15, 0},
                                 {0, 0, 15},
                                 {15, 15, 0},
                                 {0, 15, 15},
                                 {15, 0, 15},
                                 {15, 15, 15}}}));
    constexpr int kPackets = 900;  // 3 s at 300 packets a second
    for (int i = 3; i < kPackets; ++i) {
        if (i % 4 == 0) {
            append(cdg, solidTile((i / 4 + variant) % 8, (i / 4) % 18, (i / 72) % 50, i % 8 == 0));
        } else {
            append(cdg, emptyPacket());
        }
    }
    std::ofstream file((basePath + QStringLiteral(".cdg")).toStdString(), std::ios::binary);
    file.write(reinterpret_cast<const char*>(cdg.data()), static_cast<std::streamsize>(cdg.size()));
    file.close();
    writeToneWav((basePath + QStringLiteral(".wav")).toStdString(), 3.0);
}

// What the transport buttons and flags must agree on, by the state table; empty
// when they do. A playback started from the command line keeps Play disabled (it
// cannot be paused) until it ends.
QString stateTableFault(ControlWindow& window, bool commandLinePlayback = false) {
    const PlayerState& state = window.state();
    auto* open = window.findChild<QPushButton*>(QStringLiteral("btnOpen"));
    auto* play = window.findChild<QPushButton*>(QStringLiteral("btnPlay"));
    auto* stop = window.findChild<QPushButton*>(QStringLiteral("btnStop"));
    const QString caption = play->text();
    const QString seen = QStringLiteral(
                             "caption \"%1\", Open %2, Play %3, Stop %4, ProFlag %5, "
                             "Paused %6")
                             .arg(caption)
                             .arg(open->isEnabled())
                             .arg(play->isEnabled())
                             .arg(stop->isEnabled())
                             .arg(state.ProFlag)
                             .arg(state.Paused);
    bool fits = false;
    if (state.ProFlag) {
        fits = !open->isEnabled() && (play->isEnabled() || commandLinePlayback) &&
               stop->isEnabled() &&
               caption == (state.Paused ? QStringLiteral("Cont") : QStringLiteral("Pause"));
    } else if (!state.Paused && open->isEnabled() && !stop->isEnabled()) {
        if (caption == QStringLiteral("&Play")) {
            fits = play->isEnabled() == !state.FileSpec.empty();
        } else {
            fits = caption == QStringLiteral("Play") && play->isEnabled();
        }
    }
    return fits ? QString() : QStringLiteral("no row of the state table: ") + seen;
}

// Milliseconds until a zero-timer fires from the current event loop depth; -1 if
// it did not within two seconds.
qint64 zeroTimerLatencyMs() {
    QElapsedTimer clock;
    clock.start();
    bool fired = false;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        fired = true;
        loop.quit();
    });
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();
    return fired ? clock.elapsed() : -1;
}

// The player's parts as main() wires them, with a test's end-of-program step.
struct Player {
    explicit Player(const QString& programFolder)
        : window({media, dialogs, settings, diskSessionFactory(""), programFolder, [this] {
                      ++endProgramCalls;
                      if (onEnd) onEnd();
                  }}) {
        dialogs.setParent(&window);
    }
    QtMediaControl media;
    QtDialogProvider dialogs;
    QtSettingsStore settings;
    int endProgramCalls = 0;
    std::function<void()> onEnd;
    ControlWindow window;
};

}  // namespace

class AbuseTest : public QObject {
    Q_OBJECT
  public slots:
    // Info's document viewer: recorded, not started.
    void openDocument(const QUrl& url) { documentsOpened_ << url.toLocalFile(); }

  private slots:
    void initTestCase();
    void randomActionsLeaveAConsistentResponsivePlayer();
    void memoryStaysFlatOverTenSongs();
    void stopOrCloseRightAfterPlayEndsTheSession_data();
    void stopOrCloseRightAfterPlayEndsTheSession();
    void cleanupTestCase();

  private:
    QTemporaryDir work_;
    QString previousDir_;
    QStringList documentsOpened_;
    QString abuseSummary_;
    qint64 rssFirstKb_ = -1;
    qint64 rssLastKb_ = -1;
    int songsPlayed_ = 0;
};

void AbuseTest::initTestCase() {
    QVERIFY(work_.isValid());
    QApplication::setApplicationName(QStringLiteral("lyrvox"));
    QApplication::setOrganizationName(QStringLiteral("Lyrvox"));
    QApplication::setQuitOnLastWindowClosed(false);
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openDocument");
    // Snapshots are written to the current directory.
    previousDir_ = QDir::currentPath();
    QVERIFY(QDir().mkpath(work_.filePath(QStringLiteral("snaps"))));
    QVERIFY(QDir::setCurrent(work_.filePath(QStringLiteral("snaps"))));
}

void AbuseTest::cleanupTestCase() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    // Let the media stack's worker threads finish winding down before the process
    // exits: LeakSanitizer's exit-time thread scan can crash on a thread caught
    // half-way through its exit.
    QThreadPool::globalInstance()->waitForDone(2000);
    QTest::qWait(300);
    QDir::setCurrent(previousDir_);
    std::printf(
        "abuse summary: %s; info documents opened %lld; memory after song 1: %lld kB, "
        "after song %d: %lld kB%s\n",
        qPrintable(abuseSummary_), static_cast<long long>(documentsOpened_.size()),
        static_cast<long long>(rssFirstKb_), songsPlayed_, static_cast<long long>(rssLastKb_),
        LYRVOX_ABUSE_ASAN ? " (sanitizer build: growth not checked)" : "");
    std::fflush(stdout);
}

void AbuseTest::randomActionsLeaveAConsistentResponsivePlayer() {
    const QString demo = QStringLiteral(LYRVOX_DEMO_DIR "/lyrvox-demo.cdg");
    // Without "..": the dialog hands back cleaned paths.
    const QString corpus = QDir::cleanPath(QStringLiteral(LYRVOX_CORPUS_DIR "/demokar.cdg"));
    if (!QFile::exists(demo)) QSKIP("the demo song has not been generated");
    if (!QFile::exists(corpus)) QSKIP("the corpus song is missing");

    Player player(work_.path());
    ControlWindow& window = player.window;

    RandomDriver::Options options;
    // LYRVOX_ABUSE_SEED runs another sequence; the seed is printed to replay one.
    bool seeded = false;
    const uint32_t seed = qEnvironmentVariable("LYRVOX_ABUSE_SEED").toUInt(&seeded);
    options.seed = seeded ? seed : kSeed;
    std::printf("abuse seed %u\n", options.seed);
    options.actions = kActions;
    options.songs = {corpus, demo};  // the demo song comes first, from the command line
    options.actionsPerSong = 125;
    options.missingSource = work_.filePath(QStringLiteral("no such disc.bin"));
    RandomDriver driver(window, options);

    QEventLoop loop;
    QString stateFault;
    qint64 latencyMs = -2;
    bool wasRunning = false;
    driver.onFinished = [&] {
        // Still inside whatever the last actions left running.
        wasRunning = window.state().ProFlag;
        stateFault = stateTableFault(window);
        latencyMs = zeroTimerLatencyMs();
        window.close();  // as the user closes it: Form_Unload
    };
    bool inStartUp = true;  // the command-line playback runs inside Form_Load
    driver.checkState = [&] { return stateTableFault(window, inStartUp); };
    player.onEnd = [&] { loop.quit(); };
    // Guard against a hang that would otherwise only end at the test's time-out.
    QTimer::singleShot(6 * 60 * 1000, &loop, [&] {
        QWARN("the abuse run did not end within six minutes");
        loop.quit();
    });

    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, &window, [&] {
        window.Form_Load({demo});
        inStartUp = false;
    });
    driver.start();
    loop.exec();
    std::printf("abuse run took %.1f s\n", static_cast<double>(clock.elapsed()) / 1000.0);

    abuseSummary_ = driver.summary();
    std::printf("%s\n", qPrintable(abuseSummary_));
    QStringList distinct = driver.messages();
    distinct.removeDuplicates();
    for (const QString& text : distinct) {
        std::printf("message seen: %s\n", qPrintable(text.left(120).replace('\n', ' ')));
    }
    for (const QString& fault : driver.stateFaults()) std::printf("%s\n", qPrintable(fault));
    std::printf("at the end: session running %d, zero-timer latency %lld ms\n", wasRunning ? 1 : 0,
                static_cast<long long>(latencyMs));
    std::fflush(stdout);

    QCOMPARE(player.endProgramCalls, 1);
    QVERIFY2(driver.stateFaults().isEmpty(), qPrintable(driver.stateFaults().value(0)));
    QVERIFY2(stateFault.isEmpty(), qPrintable(stateFault));
    QVERIFY2(latencyMs >= 0 && latencyMs < 500,
             qPrintable(QStringLiteral("zero-timer latency %1 ms (session running: %2)")
                            .arg(latencyMs)
                            .arg(wasRunning)));
    QVERIFY(!window.isVisible());
    QVERIFY(!window.state().ProFlag);

    // The run did what it was meant to do.
    QVERIFY(driver.songsOpened() >= 2);
    QCOMPARE(driver.songsOpened(), driver.actionCounts().value(QStringLiteral("open song")));
    QVERIFY(driver.closedCounts().value(QStringLiteral("file dialog cancelled")) > 0);
    QVERIFY(driver.closedCounts().value(QStringLiteral("message box")) > 0);
    // No snapshot failed; the only messages are About and the missing disc image.
    for (const QString& text : driver.messages()) {
        QVERIFY2(!text.startsWith(QStringLiteral("Cannot save the snapshot")), qPrintable(text));
    }

    // A second close (the window manager's, say) ends nothing twice.
    window.close();
    QCOMPARE(player.endProgramCalls, 1);
}

void AbuseTest::memoryStaysFlatOverTenSongs() {
    QStringList songs;
    for (int i = 0; i < kSongs; ++i) {
        const QString base = work_.filePath(QStringLiteral("song%1").arg(i, 2, 10, QChar('0')));
        writeShortSong(base, i);
        songs << base + QStringLiteral(".cdg");
    }

    Player player(work_.path());
    ControlWindow& window = player.window;
    window.Form_Load({});
    auto* open = window.findChild<QPushButton*>(QStringLiteral("btnOpen"));
    auto* play = window.findChild<QPushButton*>(QStringLiteral("btnPlay"));

    // The Open dialog gets the song's name typed in and accepted from a timer.
    QString wanted;
    QTimer accept;
    accept.setInterval(20);
    QObject::connect(&accept, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        if (wanted.isEmpty()) {  // the name was not taken: end the test's wait
            dialog->reject();
            return;
        }
        const QString name = wanted;
        wanted.clear();
        typeNameAndAccept(*dialog, name);
    });
    accept.start();

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kSongs; ++i) {
        wanted = songs[i];
        QTest::mouseClick(open, Qt::LeftButton);
        QCOMPARE(QString::fromStdString(window.state().FileSpec), songs[i]);
        const qint64 started = clock.elapsed();
        QTest::mouseClick(play, Qt::LeftButton);  // returns when the song has ended
        const qint64 playedMs = clock.elapsed() - started;
        QVERIFY2(playedMs > 2500,
                 qPrintable(QStringLiteral("song %1 ended after %2 ms").arg(i).arg(playedMs)));
        QVERIFY(!window.state().ProFlag);
        QVERIFY2(stateTableFault(window).isEmpty(), qPrintable(stateTableFault(window)));
        ++songsPlayed_;
        if (i == 0) rssFirstKb_ = residentKb();
    }
    rssLastKb_ = residentKb();
    accept.stop();

    std::printf(
        "memory over %d songs: %lld kB after the first, %lld kB after the last "
        "(growth %lld kB)%s\n",
        kSongs, static_cast<long long>(rssFirstKb_), static_cast<long long>(rssLastKb_),
        static_cast<long long>(rssLastKb_ - rssFirstKb_),
        LYRVOX_ABUSE_ASAN ? "; sanitizer build, whose allocator keeps freed memory: "
                            "growth not checked"
                          : "");
    std::fflush(stdout);
    QVERIFY(rssFirstKb_ > 0 && rssLastKb_ > 0);
    if (!LYRVOX_ABUSE_ASAN) {
        QVERIFY2(rssLastKb_ - rssFirstKb_ < kMaxGrowthKb,
                 qPrintable(QStringLiteral("resident memory grew by %1 kB over %2 songs")
                                .arg(rssLastKb_ - rssFirstKb_)
                                .arg(kSongs)));
    }
    window.close();
    QCOMPARE(player.endProgramCalls, 1);
}

// A Stop, a close or a second Play handled in the first moment of a session, the
// display window just shown and the first events being served, must take effect:
// neither a song that plays on with Stop disabled, nor a program that lingers
// after its window closed, nor a second session inside the first.
void AbuseTest::stopOrCloseRightAfterPlayEndsTheSession_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("withAudio");
    for (const bool audio : {false, true}) {
        const char* suffix = audio ? " (with audio)" : " (graphics only)";
        QTest::addRow("stop%s", suffix) << QStringLiteral("stop") << audio;
        QTest::addRow("close%s", suffix) << QStringLiteral("close") << audio;
        QTest::addRow("play%s", suffix) << QStringLiteral("play") << audio;
    }
}

void AbuseTest::stopOrCloseRightAfterPlayEndsTheSession() {
    QFETCH(QString, action);
    QFETCH(bool, withAudio);
    // Long enough that a lost Stop shows: twenty seconds of graphics.
    const QString base =
        work_.filePath(withAudio ? QStringLiteral("long-audio") : QStringLiteral("long-graphics"));
    if (!QFile::exists(base + QStringLiteral(".cdg"))) {
        std::vector<uint8_t> cdg;
        append(cdg, memoryPreset(2));
        for (int i = 1; i < 6000; ++i) append(cdg, emptyPacket());
        std::ofstream file((base + QStringLiteral(".cdg")).toStdString(), std::ios::binary);
        file.write(reinterpret_cast<const char*>(cdg.data()),
                   static_cast<std::streamsize>(cdg.size()));
        file.close();
        if (withAudio) writeToneWav((base + QStringLiteral(".wav")).toStdString(), 20.0);
    }

    Player player(work_.path());
    ControlWindow& window = player.window;
    window.Form_Load({});
    window.state().FileSpec = (base + QStringLiteral(".cdg")).toStdString();
    auto* play = window.findChild<QPushButton*>(QStringLiteral("btnPlay"));
    auto* stop = window.findChild<QPushButton*>(QStringLiteral("btnStop"));
    play->setEnabled(true);

    // Queued before the click, so served by the session's first yield.
    int sessionsInside = 0;
    QTimer::singleShot(0, &window, [&] {
        if (action == QStringLiteral("stop")) {
            QTest::mouseClick(stop, Qt::LeftButton);
        } else if (action == QStringLiteral("close")) {
            window.close();
        } else {
            // Play at once again: pauses the session that has begun, or (if the
            // session has not counted itself as running yet) starts another.
            const bool running = window.state().ProFlag;
            QTest::mouseClick(play, Qt::LeftButton);
            if (!running) ++sessionsInside;
            QTest::mouseClick(stop, Qt::LeftButton);
        }
    });
    // Rescue: a lost Stop would otherwise hold the test for the song's length.
    bool rescued = false;
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] {
        rescued = true;
        window.state().ProFlag = false;
    });
    rescue.start(4000);

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(play, Qt::LeftButton);
    const qint64 elapsedMs = clock.elapsed();
    rescue.stop();

    QVERIFY2(
        !rescued,
        qPrintable(QStringLiteral("the %1 did not take effect: the session ran on").arg(action)));
    QVERIFY(elapsedMs < 4000);
    QCOMPARE(sessionsInside, 0);
    if (action == QStringLiteral("close")) {
        QCOMPARE(player.endProgramCalls, 1);
    } else {
        QVERIFY2(stateTableFault(window).isEmpty(), qPrintable(stateTableFault(window)));
        QCOMPARE(play->text(), QStringLiteral("Play"));
        window.close();
    }
}

QTEST_MAIN(AbuseTest)
#include "tst_abuse.moc"
