#include "app/library/library_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <utility>

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
    // The opening waits for nobody: a file in use is tried again on the timer.
    LibraryIndex::Options options;
    options.busyWaitMs = 0;
    index_ = std::make_unique<LibraryIndex>(QFile::encodeName(databasePath).toStdString(), options);
    // Acted on once the statement that found the damage, and its caller, are done.
    index_->onDamage([this] {
        QMetaObject::invokeMethod(
            this, [this] { recoverFromDamage(); }, Qt::QueuedConnection);
    });
    libraryWindow_ = std::make_unique<LibraryWindow>(LibraryWindowDeps{
        *index_, settings, [this](const QString& text) { dialogs_.showMessage(text); },
        std::move(chooseFolder), [this](const QString& path) { window_.playFile(path); }});
    window_.setLibraryOpener([this] { libraryWindow_->open(); });
    SessionDriver& driver = window_.driver();
    connect(&driver, &SessionDriver::songOver, this, [this](bool byItself) {
        if (byItself) advance();
    });
    connect(&driver, &SessionDriver::waitOver, this,
            [this](bool cancelled) { waitOver(cancelled); });
    connect(libraryWindow_.get(), &LibraryWindow::playQueueRequested, this,
            [this] { playNextNow(); });
    LibraryScanJob& scan = libraryWindow_->scanJob();
    connect(&scan, &LibraryScanJob::damaged, this, [this] { recoverFromDamage(); });
    connect(&scan, &LibraryScanJob::finished, this, [this] {
        if (std::exchange(rescanWhenIdle_, false)) rescanAll();
    });
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, [this] { tryOpenAgain(); });
    if (index_->state() == LibraryIndex::State::InUse) {
        window_.showStatus(
            QStringLiteral("Waiting for the song library: another program is "
                           "using it..."));
        retry_.start();
    } else {
        settled();
    }
}

void LibraryController::tryOpenAgain() {
    if (!index_->reopen() && index_->state() == LibraryIndex::State::InUse &&
        ++retries_ * kRetryMs < LibraryIndex::kBusyWaitMs) {
        return;  // the timer tries again
    }
    retry_.stop();
    window_.showStatus({});
    if (index_->isOpen()) {
        // The window was made while the index was closed: the saved queue and the
        // songs come in now.
        for (const QueueEntry& entry : index_->loadQueue()) libraryWindow_->queue().add(entry);
        libraryWindow_->search();
    }
    settled();
}

void LibraryController::settled() {
    if (index_->isOpen()) index_->setBusyWait(kStatementWaitMs);
    if (!index_->notice().empty()) {
        // Told once the control window is up, so that the box has its owner.
        QTimer::singleShot(0, this, [this, text = QString::fromStdString(index_->notice())] {
            dialogs_.showMessage(text);
        });
    }
    if (index_->needsRescan()) QTimer::singleShot(0, this, [this] { rescanAll(); });
}

void LibraryController::rescanAll() {
    LibraryScanJob& scan = libraryWindow_->scanJob();
    if (scan.isRunning()) {  // it may be writing into the file kept aside
        scan.cancel();
        rescanWhenIdle_ = true;
        return;
    }
    index_->rescanStarted();
    libraryWindow_->rescan();
}

void LibraryController::recoverFromDamage() {
    if (recovered_) {
        // A scan begun before the rebuild reports the old file: nothing new. The new
        // file damaged too means a failing disk: the user is told, nothing looped.
        if (index_->damaged() && index_->isOpen()) {
            dialogs_.showMessage(QStringLiteral("The song library was found damaged again: the "
                                                "disk may be failing. ") +
                                 QString::fromStdString(index_->path()));
        }
        return;
    }
    recovered_ = true;
    // The queue the user sees is the best copy of it there is.
    const std::vector<QueueEntry> queue = libraryWindow_->queue().entries();
    index_->rebuild();
    if (index_->isOpen()) {
        index_->setBusyWait(kStatementWaitMs);
        if (!queue.empty()) index_->saveQueue(queue);
    }
    dialogs_.showMessage(QString::fromStdString(index_->notice()));
    if (index_->needsRescan()) {
        rescanAll();
    } else {
        libraryWindow_->search();
    }
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
    const QString path = QFile::decodeName(QByteArray::fromStdString(entry.path));
    if (!QFileInfo(path).isFile()) {
        dialogs_.showMessage(QStringLiteral("The queued song is missing: ") + path);
        return advance();  // on to the one after it
    }
    window_.playFile(path);
}

}  // namespace lyrvox
