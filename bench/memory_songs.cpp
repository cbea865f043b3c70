// Usage: QT_QPA_PLATFORM=offscreen memory_songs [SONGS]   (default 50; bench/memory_songs.sh
//        runs it against a private sound server)
//
// Plays generated songs (graphics drawing across the screen, a tone beside them)
// one after another through the real player: the control window, the GStreamer
// media control and sessions from disk, each song opened with Open and played with
// Play. Prints the open descriptors and the resident memory after each song, and the
// growth from the first song to the last: a night of songs must stay flat, so the
// goals are no descriptor more and under 5 MB. Exits 1 when a song does not play
// (ends too soon or reports a message), 2 when a goal is missed.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "app/control_window.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "playback/cdg/packet_encoder.h"
#include "playback/media/song_media_control.h"
#include "tools/demo_song/melody.h"

namespace {

constexpr int kDefaultSongs = 50;
constexpr int kSongPackets = 900;  // 3 s at 300 packets a second
constexpr long kGoalKb = 5 * 1024;

// Resident memory of this process in kB, from /proc/self/status; -1 if unknown.
long residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toLong();
    }
    return -1;
}

// Descriptors this process holds open.
int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                                .size()) -
           1;  // less the listing's own
}

template <typename Bytes>
void writeBytes(const QString& path, const Bytes& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Song `variant`: solid tiles drawn across the screen in eight colours, and a tone.
void writeSong(const QString& base, int variant) {
    using namespace lyrvox::encode;
    std::vector<uint8_t> cdg;
    append(cdg, memoryPreset(variant % 16));
    append(cdg, borderPreset((variant + 3) % 16));
    std::array<Rgb4, 8> colours{};
    for (int k = 0; k < 8; ++k) colours[k] = {(k & 1) * 15, (k >> 1 & 1) * 15, (k >> 2) * 15};
    append(cdg, loadColours(0, colours));
    for (int i = 3; i < kSongPackets; ++i) {
        append(cdg, i % 4 != 0 ? emptyPacket()
                               : solidTile((i / 4 + variant) % 8, (i / 4) % 18, (i / 72) % 50,
                                           i % 8 == 0));
    }
    writeBytes(base + ".cdg", cdg);
    const std::vector<lyrvox::Note> tone = {{0, kSongPackets, 69 + variant, 0.1}};
    writeBytes(base + ".wav", lyrvox::Melody::wavFile(lyrvox::Melody::render(tone, kSongPackets)));
}

// The real dialogs, except that Open answers with the song asked for and a
// message box only records that it came up.
class ScriptedDialogs : public lyrvox::QtDialogProvider {
  public:
    QString nextSong;
    bool messageShown = false;

    std::optional<lyrvox::OpenFileChoice> chooseOpenFile(
        const lyrvox::OpenFileRequest& request) override {
        return lyrvox::OpenFileChoice{nextSong, request.filterIndex};
    }
    void showMessage(const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        messageShown = true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(2, std::atoi(argv[1])) : kDefaultSongs;
    QTemporaryDir work;
    if (!work.isValid()) return 1;
    QStringList songs;
    for (int i = 0; i < count; ++i) {
        songs << work.filePath(QStringLiteral("song%1").arg(i));
        writeSong(songs.back(), i);
    }

    lyrvox::SongMediaControl media;
    ScriptedDialogs dialogs;
    lyrvox::QtSettingsStore settings(work.filePath(QStringLiteral("lyrvox.ini")));
    lyrvox::ControlWindow window({media, dialogs, settings, "", work.path(), [] {}});
    dialogs.setParent(&window);
    window.startUp({});

    long firstKb = -1;
    int firstFds = -1;
    long lastKb = -1;
    int lastFds = -1;
    for (int i = 0; i < count; ++i) {
        dialogs.nextSong = songs[i] + QStringLiteral(".cdg");
        window.openSong();
        QElapsedTimer clock;
        clock.start();
        QEventLoop untilOver;  // the song plays in this loop's events
        QObject::connect(&window.driver(), &lyrvox::SessionDriver::songOver, &untilOver,
                         &QEventLoop::quit);
        window.playPauseOrContinue();
        untilOver.exec();
        const qint64 playedMs = clock.elapsed();
        const QString status = window.controls().status->text();
        if (playedMs < 2500 || dialogs.messageShown || status != QStringLiteral("Ready.")) {
            std::fprintf(stderr, "song %d did not play: %lld ms, status \"%s\"\n", i,
                         static_cast<long long>(playedMs), qPrintable(status));
            return 1;
        }
        lastKb = residentKb();
        lastFds = openDescriptors();
        if (i == 0) {
            firstKb = lastKb;
            firstFds = lastFds;
        }
        std::printf("song %2d: %3d descriptors, %6ld kB resident\n", i + 1, lastFds, lastKb);
        std::fflush(stdout);
    }
    window.close();
    std::printf(
        "over %d songs: descriptors %d -> %d (goal: no growth), resident memory %ld kB -> "
        "%ld kB, growth %ld kB (goal under %ld kB)\n",
        count, firstFds, lastFds, firstKb, lastKb, lastKb - firstKb, kGoalKb);
    return lastFds > firstFds || lastKb - firstKb >= kGoalKb ? 2 : 0;
}
