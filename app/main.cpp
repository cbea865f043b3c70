#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/break_music_controller.h"
#include "app/control_window.h"
#include "app/even_loudness_dialog.h"
#include "app/even_loudness_media.h"
#include "app/library/library_controller.h"
#include "app/library/library_scan_job.h"
#include "app/loudness_measuring.h"
#include "app/mpris/mpris_service.h"
#include "app/phones_window.h"
#include "app/playback_tuning.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "app/window_text.h"
#include "library/song_name.h"
#include "playback/archive/scratch_space.h"
#include "playback/media/song_media_control.h"
#include "requests/listen_address.h"
#include "server/qr_image.h"
#include "server/request_server.h"
#include "util/settings_table.h"
#include "util/text_helpers.h"

namespace {

using lyrvox::SingleInstance;

// Hands the songs to the running player: the exit status once it took them (1 when
// it refused some, each named), none when this program is to play (no player runs,
// or it did not answer).
std::optional<int> handOver(SingleInstance& instance, const lyrvox::PlayerSongs& songs) {
    const bool playing = !songs.play.empty() || songs.enqueue.empty();
    std::vector<std::pair<const std::vector<std::string>*, SingleInstance::Outcome>> sent;
    const SingleInstance::Outcome first =
        instance.start(playing ? SingleInstance::Request::Play : SingleInstance::Request::Enqueue,
                       playing ? songs.play : songs.enqueue);
    if (first.role == SingleInstance::Role::Alone)
        std::fputs("lyrvox: the running player did not answer; starting another\n", stderr);
    if (first.role != SingleInstance::Role::HandedOver) return std::nullopt;
    sent.emplace_back(playing ? &songs.play : &songs.enqueue, first);
    if (playing && !songs.enqueue.empty()) {
        sent.emplace_back(&songs.enqueue,
                          SingleInstance(SingleInstance::defaultFolder())
                              .start(SingleInstance::Request::Enqueue, songs.enqueue));
    }
    int refused = 0;
    for (const auto& [paths, outcome] : sent) {
        for (std::size_t i = 0; i < paths->size(); ++i) {
            if (outcome.role == SingleInstance::Role::HandedOver && outcome.taken[i]) continue;
            ++refused;
            std::fprintf(stderr, "lyrvox: the running player did not take %s\n",
                         lyrvox::escapeForTerminal((*paths)[i]).c_str());
        }
    }
    return refused == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // --help answers in any terminal: before Qt, which ends at once without a display.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(lyrvox::playerUsage().c_str(), stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lyrvox"));
    QApplication::setOrganizationName(QStringLiteral("Lyrvox"));
    // Ties the windows to the installed menu entry (the Wayland app id), for its
    // name and icon in the task list.
    QGuiApplication::setDesktopFileName(QStringLiteral(LYRVOX_APP_ID));
    // The program ends when its control window closes, not with its last window.
    QApplication::setQuitOnLastWindowClosed(false);

    // QApplication has taken its own options out of argc and argv by now. The rest
    // stay the bytes the system gave: a name that is not UTF-8 would not survive a
    // QString.
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    // --serve [ADDRESS:]PORT (or --serve=...): the request server for this run, on
    // whatever the settings say; taken out before the player's own options are read.
    bool serveOk = true;
    std::string serveError;
    const std::optional<lyrvox::ListenAddress> serve =
        lyrvox::takeServeOption(args, serveOk, serveError);
    if (!serveOk) {
        std::fprintf(stderr, "lyrvox: --serve [ADDRESS:]PORT: %s\n", serveError.c_str());
        return 2;
    }
    const lyrvox::PlayerCommand command = lyrvox::parsePlayerCommand(args);
    if (command.help || !command.error.empty()) {
        if (!command.error.empty()) std::fprintf(stderr, "lyrvox: %s\n", command.error.c_str());
        std::fputs(lyrvox::playerUsage().c_str(), command.help ? stdout : stderr);
        return command.help ? 0 : 2;
    }
    const lyrvox::PlayerSongs songs = lyrvox::playerSongs(command);

    // One player per user: a running one takes the songs and this start ends.
    lyrvox::SingleInstance instance(lyrvox::SingleInstance::defaultFolder());
    if (!command.newInstance) {
        if (const std::optional<int> status = handOver(instance, songs)) {
            // The running player was only shown: its night is the host's to start.
            if (command.startNight && *status == 0) {
                std::fputs(
                    "lyrvox: Lyrvox is already running: its night was not started "
                    "(Play queue starts it there)\n",
                    stderr);
                return 1;
            }
            return *status;
        }
    }

    // Scratch folders of zipped songs that a killed run left behind.
    lyrvox::ScratchSpace(lyrvox::ScratchSpace::defaultRoot()).removeLeftovers();

    const char* trace = std::getenv("LYRVOX_TRACE");
    lyrvox::SongMediaControl media;
    lyrvox::QtDialogProvider dialogs;
    lyrvox::QtSettingsStore settings;
    // Songs play at even loudness, from the readings the background measuring keeps.
    lyrvox::EvenLoudnessMedia evenMedia(media, settings);
    lyrvox::ControlWindow window({evenMedia, dialogs, settings, trace != nullptr ? trace : "",
                                  QApplication::applicationDirPath(),
                                  [] { QApplication::exit(0); }});
    dialogs.setParent(&window);
    lyrvox::LibraryController library(
        window, dialogs, settings, lyrvox::defaultLibraryPath(), [&library] {
            return QFileDialog::getExistingDirectory(&library.libraryWindow(),
                                                     QStringLiteral("Add a song folder"));
        });
    // Music between songs: an entry of the control window's right-click menu opens
    // its options; it stops with the program (before the window goes).
    lyrvox::BreakMusicController breakMusic(settings);
    breakMusic.watch(window.driver());
    QObject::connect(&breakMusic, &lyrvox::BreakMusicController::noteChanged, &window,
                     &lyrvox::ControlWindow::showStatus);
    auto* breakMusicAction = new QAction(QStringLiteral("Break music..."), &window);
    QObject::connect(breakMusicAction, &QAction::triggered, &window,
                     [&breakMusic, &window] { breakMusic.editInDialog(&window); });
    window.addAction(breakMusicAction);
    // Even loudness's switch and target: the media reads them at each song's start.
    auto* evenLoudnessAction = new QAction(QStringLiteral("Even loudness..."), &window);
    QObject::connect(evenLoudnessAction, &QAction::triggered, &window,
                     [&settings, &window] { lyrvox::EvenLoudnessDialog::edit(settings, &window); });
    window.addAction(evenLoudnessAction);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &breakMusic,
                     [&breakMusic] { breakMusic.shutDown(); });
    evenMedia.setIndex([&library] { return &library.index(); });
    lyrvox::LoudnessMeasuring measuring(lyrvox::defaultLibraryPath());
    QObject::connect(&library.libraryWindow().scanJob(), &lyrvox::LibraryScanJob::finished,
                     &measuring, &lyrvox::LoudnessMeasuring::start);
    measuring.start();
    // The desktop's media keys and media controls; nothing without a session bus.
    lyrvox::MprisService mpris(window, [&library] { library.playNextNow(); });
    // Logout and Ctrl-C close the window: the song's files are removed.
    const lyrvox::QuitSignals quitSignals([&window] { window.close(); });

    // Benchmark aid (bench/pulse_sync.sh, bench/cpu_play.sh): LYRVOX_KEY_TEMPO=K,T sets
    // the key to K semitones and the tempo to T% before start-up plays a command-line
    // song (which keeps them: only a song chosen later starts over).
    if (const char* keyTempo = std::getenv("LYRVOX_KEY_TEMPO")) {
        const QStringList parts = QString::fromLatin1(keyTempo).split(QChar(','));
        window.tuning().changeKey(parts.value(0).toInt());
        window.tuning().changeTempo(parts.value(1, QStringLiteral("100")).toInt() - 100);
    }
    // Songs that later starts of the program hand over.
    const auto enqueueSongs = [&window, &library](const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            const std::string name = std::filesystem::path(path).stem().string();
            const lyrvox::SongName parsed =
                lyrvox::parseSongName(name, lyrvox::NameOrder::ArtistTitle);
            library.libraryWindow().addToQueue({path, parsed.artist, parsed.title});
        }
        window.display().showNote(
            paths.size() == 1 ? QStringLiteral("1 song added to the queue")
                              : QStringLiteral("%1 songs added to the queue").arg(paths.size()));
    };
    instance.setReceiver([&window, enqueueSongs](SingleInstance::Request request,
                                                 const std::vector<std::string>& paths) {
        window.bringToFront();
        if (request == SingleInstance::Request::Enqueue) return enqueueSongs(paths);
        if (!paths.empty()) window.playFile(paths.front());
    });
    // Start-up runs once the event loop does, so that anything it shows is live: a
    // song named plays, and the songs to queue wait in the queue.
    QTimer::singleShot(0, &window, [&window, &breakMusic, enqueueSongs, songs] {
        window.startUp(songs.startUp);
        breakMusic.load();
        if (!songs.enqueue.empty()) enqueueSongs(songs.enqueue);
    });
    // The request server for the singers' phones: off unless switched on in the
    // settings or asked for by --serve. It runs on a thread of its own, with its
    // own connection to the library file; what it asks of the player runs here.
    std::unique_ptr<lyrvox::RequestServer> requestServer;
    if (serve || settings.readNumber(lyrvox::settings::kServerEnabled) == 1) {
        const lyrvox::ListenAddress where =
            serve ? *serve
                  : lyrvox::ListenAddress{
                        settings.read(lyrvox::settings::kServerAddress).trimmed().toStdString(),
                        settings.readNumber(lyrvox::settings::kServerPort)};
        // The host's remote asks for key and tempo in the player's own ranges.
        static_assert(lyrvox::RequestServer::kMinTempo == lyrvox::PlaybackTuning::kMinTempo &&
                      lyrvox::RequestServer::kMaxTempo == lyrvox::PlaybackTuning::kMaxTempo &&
                      lyrvox::SingerRotation::kMaxKey == lyrvox::PlaybackTuning::kMaxKeyShift);
        lyrvox::ServerLinks links;
        links.libraryPath = QFile::encodeName(lyrvox::defaultLibraryPath()).toStdString();
        links.index = [&library] { return &library.index(); };
        links.rotation = [&library] { return &library.rotation(); };
        links.playing = [&library] { return library.currentTurn(); };
        links.coming = [&library](int n) { return library.comingTurns(n); };
        links.playPause = [&window] { window.playPauseOrContinue(); };
        links.stop = [&window] { window.stopPlayback(); };
        links.next = [&library] { library.playNextNow(); };
        // The same controls as the keys and the display's menu, so that the status
        // line and the note over the picture follow.
        links.setKey = [&window](int semitones) {
            window.tuning().changeKey(semitones - window.tuning().keyShift());
        };
        links.setTempo = [&window](int percent) {
            window.tuning().changeTempo(percent - window.tuning().tempoPercent());
        };
        links.keyAndTempo = [&window] {
            return std::pair{window.tuning().keyShift(), window.tuning().tempoPercent()};
        };
        links.changed = [&library] { library.rotationWindow().refresh(); };
        links.requested = [&window](const lyrvox::SongRequest& asked) {
            window.showStatus(QStringLiteral("Song request: %1 - %2 - %3")
                                  .arg(QString::fromStdString(asked.singer),
                                       QString::fromStdString(asked.artist),
                                       QString::fromStdString(asked.title)));
        };
        requestServer = std::make_unique<lyrvox::RequestServer>(links);
        const QHostAddress address = where.host.empty()
                                         ? QHostAddress(QHostAddress::Any)
                                         : QHostAddress(QString::fromStdString(where.host));
        const quint16 port =
            address.isNull() ? 0 : requestServer->start(address, static_cast<quint16>(where.port));
        const QString note =
            port != 0 ? QStringLiteral("Song requests: %1 (port %2); the host's PIN is %3")
                            .arg(requestServer->pageUrl())
                            .arg(port)
                            .arg(requestServer->pin())
                      : QStringLiteral("The request server cannot listen on %1 port %2: %3")
                            .arg(where.host.empty() ? QStringLiteral("every interface,")
                                                    : QString::fromStdString(where.host))
                            .arg(where.port)
                            .arg(address.isNull() ? QStringLiteral("not an IP address")
                                                  : requestServer->errorString());
        std::fprintf(stderr, "lyrvox: %s\n", lyrvox::escapeForTerminal(note.toStdString()).c_str());
        QTimer::singleShot(0, &window, [&window, note] { window.showStatus(note); });
        if (port == 0) requestServer.reset();
        // Between singers the display shows where the phones find the page.
        if (requestServer) {
            window.display().setJoin(lyrvox::QrImage::make(requestServer->pageUrl(), 1),
                                     requestServer->pageUrl());
        }
    }
    // --start-night: the night runs from start-up as if the host pressed Play queue,
    // once the library is open (another program holding it delays the start, tried
    // again on the library's own retry pace).
    QTimer nightStart;
    if (command.startNight) {
        nightStart.setInterval(lyrvox::LibraryController::kRetryMs);
        QObject::connect(&nightStart, &QTimer::timeout, &window, [&nightStart, &library] {
            if (library.waitingForIndex()) return;
            nightStart.stop();
            library.playNextNow();
        });
        QTimer::singleShot(0, &window, [&nightStart, &library] {
            if (library.waitingForIndex()) return nightStart.start();
            library.playNextNow();
        });
    }
    // The Phones window (the Library's song list menu, or Ctrl+Shift+P): the
    // requests page's address, its QR code and the host's PIN.
    lyrvox::PhonesWindow phones;
    QObject::connect(&library.libraryWindow(), &lyrvox::LibraryWindow::phonesRequested, &phones,
                     [&phones, &requestServer] {
                         phones.showServer(requestServer ? requestServer->pageUrl() : QString(),
                                           requestServer ? requestServer->pin() : QString());
                         phones.show();
                         phones.raise();
                         phones.activateWindow();
                     });
    // Benchmark aid (bench/cpu_play.sh): LYRVOX_FULLSCREEN_FPS=N puts the display
    // window in full screen and redraws it N times a second, after start-up chose
    // its rate.
    if (const char* fps = std::getenv("LYRVOX_FULLSCREEN_FPS")) {
        QTimer::singleShot(0, &window, [&window, rate = QString::fromLatin1(fps)] {
            window.controls().frameRate->setCurrentText(rate);
            window.display().toggleFullScreen();
        });
    }
    return QApplication::exec();
}
