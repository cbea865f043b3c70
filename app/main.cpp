#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/control_window.h"
#include "app/library/library_controller.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "app/window_text.h"
#include "library/song_name.h"
#include "playback/archive/scratch_space.h"
#include "playback/media/song_media_control.h"
#include "util/text_helpers.h"

int main(int argc, char** argv) {
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
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const lyrvox::PlayerCommand command = lyrvox::parsePlayerCommand(args);
    if (command.help || !command.error.empty()) {
        if (!command.error.empty()) std::fprintf(stderr, "lyrvox: %s\n", command.error.c_str());
        std::fputs(lyrvox::playerUsage().c_str(), command.help ? stdout : stderr);
        return command.help ? 0 : 2;
    }
    const bool enqueue = command.request == lyrvox::SingleInstance::Request::Enqueue;
    // The songs as the running player would take them: absolute, for it has another
    // current folder; a Play names one song in all its words.
    std::vector<std::string> songs;
    if (enqueue) {
        for (const std::string& song : command.songs) songs.push_back(lyrvox::absolutePath(song));
    } else if (!lyrvox::commandLineText(command.songs).empty()) {
        songs.push_back(lyrvox::absolutePath(lyrvox::joinCommandLine(command.songs)));
    }

    // One player per user: a running one takes the songs and this start ends.
    lyrvox::SingleInstance instance(lyrvox::SingleInstance::defaultFolder());
    if (!command.newInstance) {
        const lyrvox::SingleInstance::Outcome outcome = instance.start(command.request, songs);
        if (outcome.role == lyrvox::SingleInstance::Role::HandedOver) {
            int refused = 0;
            for (std::size_t i = 0; i < songs.size(); ++i) {
                if (outcome.taken[i]) continue;
                ++refused;
                std::fprintf(stderr, "lyrvox: not a file the player can open: %s\n",
                             lyrvox::escapeForTerminal(songs[i]).c_str());
            }
            return refused == 0 ? 0 : 1;
        }
        if (outcome.role == lyrvox::SingleInstance::Role::Alone) {
            std::fputs("lyrvox: the running player did not answer; starting another\n", stderr);
        }
    }

    // Scratch folders of zipped songs that a killed run left behind.
    lyrvox::ScratchSpace(lyrvox::ScratchSpace::defaultRoot()).removeLeftovers();

    const char* trace = std::getenv("LYRVOX_TRACE");
    lyrvox::SongMediaControl media;
    lyrvox::QtDialogProvider dialogs;
    lyrvox::QtSettingsStore settings;
    lyrvox::ControlWindow window({media, dialogs, settings, trace != nullptr ? trace : "",
                                  QApplication::applicationDirPath(),
                                  [] { QApplication::exit(0); }});
    dialogs.setParent(&window);
    lyrvox::LibraryController library(
        window, dialogs, settings, lyrvox::defaultLibraryPath(), [&library] {
            return QFileDialog::getExistingDirectory(&library.libraryWindow(),
                                                     QStringLiteral("Add a song folder"));
        });
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
    instance.setReceiver([&window, enqueueSongs](lyrvox::SingleInstance::Request request,
                                                 const std::vector<std::string>& paths) {
        window.bringToFront();
        if (request == lyrvox::SingleInstance::Request::Enqueue) return enqueueSongs(paths);
        if (!paths.empty()) window.playPath(paths.front());
    });
    // Start-up runs once the event loop does, so that anything it shows is live. A
    // new player's --enqueue songs wait in its queue; a song named plays.
    QTimer::singleShot(0, &window, [&window, enqueueSongs, enqueue, songs, command] {
        window.startUp(enqueue ? std::vector<std::string>{} : command.songs);
        if (enqueue) enqueueSongs(songs);
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
