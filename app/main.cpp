#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/control_window.h"
#include "app/library/library_controller.h"
#include "app/qt_dialog_provider.h"
#include "app/qt_settings_store.h"
#include "app/quit_signals.h"
#include "playback/archive/scratch_space.h"
#include "playback/media/song_media_control.h"

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
    // Start-up runs once the event loop does, so that anything it shows is live.
    QTimer::singleShot(0, &window, [&window, args] { window.startUp(args); });
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
