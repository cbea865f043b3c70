#include "app/library/library_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>

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
        std::move(chooseFolder),
        [this](const QString& path) {
            cancelWait();
            window_.playDropped(path);
        }});
    wait_.setSingleShot(true);
    connect(&wait_, &QTimer::timeout, this, [this] {
        const std::optional<QueueEntry> next = std::exchange(upcoming_, std::nullopt);
        window_.display().showBanner({});
        if (next) playEntry(*next);
    });
    window_.setLibraryOpener([this] { libraryWindow_->open(); });
    connect(&window_, &ControlWindow::songEndedByItself, this, [this] { songEnded(); });
    connect(&window_, &ControlWindow::stopClicked, this, [this] { cancelWait(); });
    connect(libraryWindow_.get(), &LibraryWindow::playQueueRequested, this,
            [this] { playNextNow(); });
}

LibraryController::~LibraryController() = default;

void LibraryController::songEnded() {
    if (upcoming_) return;  // already waiting
    upcoming_ = libraryWindow_->takeNext();
    if (!upcoming_) return;
    window_.display().showBanner(QStringLiteral("Next: ") +
                                 songLabel(upcoming_->artist, upcoming_->title));
    // Stop ends the wait, and with it the queue's run.
    window_.enableStopNow();
    wait_.start(libraryWindow_->pauseSeconds() * 1000);
}

void LibraryController::cancelWait() {
    wait_.stop();
    if (!upcoming_) return;
    // The song waited for is not lost: it heads the queue again.
    libraryWindow_->addToQueue(*upcoming_, 0);
    upcoming_.reset();
    window_.display().showBanner({});
    window_.controls().stop->setEnabled(false);
}

void LibraryController::playNextNow() {
    cancelWait();
    if (const std::optional<QueueEntry> next = libraryWindow_->takeNext()) playEntry(*next);
}

void LibraryController::playEntry(const QueueEntry& entry) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(entry.path));
    if (!QFileInfo(path).isFile()) {
        dialogs_.showMessage(QStringLiteral("The queued song is missing: ") + path);
        songEnded();  // on to the one after it
        return;
    }
    window_.playDropped(path);
}

}  // namespace lyrvox
