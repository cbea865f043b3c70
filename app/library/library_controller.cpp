#include "app/library/library_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

#include <sys/stat.h>

namespace lyrvox {

QString defaultLibraryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/library.db");
}

LibraryController::LibraryController(ControlWindow& window, DialogProvider& dialogs,
                                     SettingsStore& settings, const QString& databasePath,
                                     std::function<QString()> chooseFolder)
    : window_(window), dialogs_(dialogs) {
    QDir().mkpath(QFileInfo(databasePath).absolutePath());
    index_ = std::make_unique<LibraryIndex>(QFile::encodeName(databasePath).toStdString());
    if (!index_->notice().empty()) {
        // Told once the control window is up, so that the box has its owner.
        QTimer::singleShot(0, this, [this, text = QString::fromStdString(index_->notice())] {
            dialogs_.showMessage(text);
        });
    }
    libraryWindow_ = std::make_unique<LibraryWindow>(LibraryWindowDeps{
        *index_, settings, [this](const QString& text) { dialogs_.showMessage(text); },
        std::move(chooseFolder), [this](const std::string& path) { window_.playFile(path); }});
    window_.setLibraryOpener([this] { libraryWindow_->open(); });
    SessionDriver& driver = window_.driver();
    connect(&driver, &SessionDriver::songOver, this, [this](bool byItself) {
        if (byItself) advance();
    });
    connect(&driver, &SessionDriver::waitOver, this,
            [this](bool cancelled) { waitOver(cancelled); });
    connect(libraryWindow_.get(), &LibraryWindow::playQueueRequested, this,
            [this] { playNextNow(); });
}

LibraryController::~LibraryController() = default;

void LibraryController::advance() {
    if (upcoming_) return;  // already waiting
    upcoming_ = libraryWindow_->takeNext();
    if (!upcoming_) return;
    window_.display().showBanner(QStringLiteral("Next: ") +
                                 songLabel(upcoming_->artist, upcoming_->title));
    window_.session().waitBeforeNext(libraryWindow_->pauseSeconds() * 1000.0);
}

void LibraryController::waitOver(bool cancelled) {
    window_.display().showBanner({});
    const std::optional<QueueEntry> next = std::exchange(upcoming_, std::nullopt);
    if (!next) return;
    // The song waited for is not lost: it heads the queue again.
    if (cancelled) return libraryWindow_->addToQueue(*next, 0);
    playEntry(*next);
}

void LibraryController::playNextNow() {
    // The song being waited for goes first; taken before the wait ends, so that
    // ending it puts nothing back.
    std::optional<QueueEntry> next = std::exchange(upcoming_, std::nullopt);
    if (!next) next = libraryWindow_->takeNext();
    if (next) playEntry(*next);
}

void LibraryController::playEntry(const QueueEntry& entry) {
    // The path's own bytes: a name that is not UTF-8 would not survive a QString.
    struct stat info {};
    if (::stat(entry.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        dialogs_.showMessage(QStringLiteral("The queued song is missing: ") +
                             QFile::decodeName(QByteArray::fromStdString(entry.path)));
        return advance();  // on to the one after it
    }
    window_.playFile(entry.path);
}

}  // namespace lyrvox
