#include "app/library/library_controller.h"

#include "display/up_next_screen.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QStandardPaths>
#include <QTimer>
#include <cmath>
#include <ctime>
#include <utility>

namespace lyrvox {
namespace {

// The note for songs passed over: their names, the first few only.
QString skippedNote(const std::vector<QueueEntry>& skipped) {
    constexpr std::size_t kNamed = 3;
    QStringList names;
    for (std::size_t i = 0; i < std::min(skipped.size(), kNamed); ++i)
        names << songLabel(skipped[i].artist, skipped[i].title);
    QString text = skipped.size() == 1
                       ? QStringLiteral("Skipped a missing song: ")
                       : QStringLiteral("Skipped %1 missing songs: ").arg(skipped.size());
    text += names.join(QStringLiteral(", "));
    if (skipped.size() > kNamed)
        text += QStringLiteral(" and %1 more").arg(skipped.size() - kNamed);
    return text;
}

}  // namespace

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
        [this](const QString& question) { return dialogs_.askYesNo(question); },
        std::move(chooseFolder), [this](const std::string& path) { window_.playFile(path); }});
    window_.setLibraryOpener([this] { libraryWindow_->open(); });
    rotation_ = std::make_unique<SingerRotation>(*index_);
    rotationWindow_ = std::make_unique<RotationWindow>(RotationWindowDeps{
        [this] { return rotation_.get(); },
        [this](const QString& text) { dialogs_.showMessage(text); },
        [this](const QString& label, const QString& text) {
            return QInputDialog::getText(rotationWindow_.get(), QStringLiteral("Lyrvox Singers"),
                                         label, QLineEdit::Normal, text);
        },
        [this](const QString& label, const QStringList& items) {
            bool ok = false;
            const QString item =
                QInputDialog::getItem(libraryWindow_.get(), QStringLiteral("Lyrvox Singers"), label,
                                      items, 0, false, &ok);
            return ok ? item : QString();
        },
        [this] {
            return QFileDialog::getSaveFileName(
                rotationWindow_.get(), QStringLiteral("Export the history"),
                QStringLiteral("history.csv"), QStringLiteral("CSV files (*.csv)"));
        }});
    connect(libraryWindow_.get(), &LibraryWindow::singersRequested, this,
            [this] { rotationWindow_->open(); });
    connect(libraryWindow_.get(), &LibraryWindow::addForSingerRequested, this,
            [this](const QueueEntry& song) { rotationWindow_->addForSinger(song); });
    SessionDriver& driver = window_.driver();
    connect(&driver, &SessionDriver::songOver, this, [this](bool byItself) {
        if (byItself) return advance();
        // Stopped, or another song started over it: not sung, so kept first.
        if (currentTurn()) return endTurn("stopped", true);
        libraryWindow_->queue().putBack();
    });
    connect(&driver, &SessionDriver::waitOver, this,
            [this](bool cancelled) { waitOver(cancelled); });
    connect(libraryWindow_.get(), &LibraryWindow::playQueueRequested, this,
            [this] { playNextNow(); });
    countdown_.setSingleShot(true);
    countdown_.setTimerType(Qt::PreciseTimer);
    connect(&countdown_, &QTimer::timeout, this, [this] { showCountdown(); });
    // The host's keys on the up-next screen: Enter starts the next song now, H holds
    // the pause or lets it go on.
    connect(&window_.display(), &DisplayController::startNowRequested, this, [this] {
        if (waiting_) playNextNow();
    });
    connect(&window_.display(), &DisplayController::holdToggled, this, [this] { toggleHold(); });
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
        rotation_ = std::make_unique<SingerRotation>(*index_);
        rotationWindow_->refresh();
    }
    settled();
}

void LibraryController::settled() {
    if (index_->isOpen()) index_->setBusyWait(kStatementWaitMs);
    // A turn cut short when the player last ended without closing (killed, the power
    // gone) is given back: it comes again first, where the rotation was.
    if (const std::optional<RotationTurn> turn = rotation_->resumeInterrupted()) {
        window_.showStatus(QStringLiteral("Cut short when Lyrvox last ended, sings next: ") +
                           QString::fromStdString(turn->singer) + QStringLiteral(" - ") +
                           songLabel(turn->song.artist, turn->song.title));
        rotationWindow_->refresh();
    }
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
    rotation_ = std::make_unique<SingerRotation>(*index_);
    rotationWindow_->refresh();
    dialogs_.showMessage(QString::fromStdString(index_->notice()));
    if (index_->needsRescan()) {
        rescanAll();
    } else {
        libraryWindow_->search();
    }
}

LibraryController::~LibraryController() = default;

std::optional<QueueEntry> LibraryController::upcoming() const {
    const PlayQueue& queue = libraryWindow_->queue();
    const int row = waiting_ ? queue.firstAvailable() : -1;
    if (row < 0) return std::nullopt;
    return queue.at(row);
}

bool LibraryController::rotationRuns() const {
    return !rotation_->upcoming(1).empty();
}

std::vector<RotationTurn> LibraryController::comingTurns(int n) const {
    return rotation_->upcoming(n);
}

void LibraryController::advance() {
    if (waiting_) return;
    if (currentTurn()) {
        // A file gone while it played was not sung: the turn comes again.
        const bool there = songFileThere(QueueEntry{currentTurn()->song.path, {}, {}});
        endTurn(there ? "finished" : "failed", !there);
    }
    PlayQueue& queue = libraryWindow_->queue();
    // A song whose file went away while it played (the drive pulled out) was not
    // sung: it goes back, to be passed over until the file is there again.
    if (queue.nowPlaying() && !songFileThere(*queue.nowPlaying()))
        queue.putBack();
    else
        queue.finish();
    if (!rotationRuns() && nextRow() < 0) return;
    waiting_ = true;
    waitMs_ = libraryWindow_->pauseSeconds() * 1000.0;
    waitClock_.start();
    showCountdown();
    window_.session().waitBeforeNext(waitMs_);
    // A session that would not wait (closing) leads nowhere: no count shown.
    if (window_.session().transport() != Transport::Waiting) stopCountdown();
}

void LibraryController::showCountdown() {
    const std::optional<QueueEntry> next = upcoming();
    const auto left = static_cast<qint64>(std::ceil(waitMs_)) - waitClock_.elapsed();
    QString text;
    const std::vector<RotationTurn> turns =
        waiting_ ? rotation_->upcoming(1) : std::vector<RotationTurn>{};
    if (!turns.empty()) {
        text = QStringLiteral("Next singer: ") + QString::fromStdString(turns.front().singer) +
               QStringLiteral(" - ") +
               songLabel(turns.front().song.artist, turns.front().song.title);
        if (left > 0) text += QStringLiteral(" in %1 s").arg((left + 999) / 1000);
    } else if (next) {
        text = QStringLiteral("Next: ") + songLabel(next->artist, next->title);
        // Whole seconds, rounded up: "in 1 s" until the song starts.
        if (left > 0) text += QStringLiteral(" in %1 s").arg((left + 999) / 1000);
    }
    if (!turns.empty()) {
        // The up-next screen over the picture: the singer, the song, its key, the
        // seconds left and the two singers after.
        UpNext upNext;
        upNext.singer = QString::fromStdString(turns.front().singer);
        upNext.song = songLabel(turns.front().song.artist, turns.front().song.title);
        upNext.keyText = keyTempoText(turns.front().song.key.value_or(0),
                                      turns.front().song.tempo.value_or(100));
        upNext.secondsLeft = static_cast<int>(std::max<qint64>(0, (left + 999) / 1000));
        upNext.held = held_;
        for (const RotationTurn& after : rotation_->upcoming(3)) {
            if (after.singer != turns.front().singer && upNext.following.size() < 2)
                upNext.following << QString::fromStdString(after.singer);
        }
        window_.display().showUpNext(upNext);
    } else {
        window_.display().hideUpNext();
    }
    if (held_) text = QString();  // the screen says "Held"; no count runs
    if (text != banner_) window_.display().showBanner(banner_ = text);
    // Again when the seconds shown step down (or the queue's front changed by then).
    if (waiting_ && !held_ && left > 0)
        countdown_.start(static_cast<int>(left - (left - 1) / 1000 * 1000));
}

void LibraryController::toggleHold() {
    if (!waiting_) return;
    constexpr double kHeldMs = 24.0 * 3600.0 * 1000.0;  // until the host lets it go on
    if (!held_) {
        waitMs_ = std::max(0.0, waitMs_ - static_cast<double>(waitClock_.elapsed()));
        held_ = true;
        countdown_.stop();
        window_.session().moveWaitEnd(kHeldMs);
    } else {
        held_ = false;
        waitClock_.start();
        window_.session().moveWaitEnd(waitMs_);
    }
    showCountdown();
}

void LibraryController::stopCountdown() {
    waiting_ = false;
    held_ = false;
    countdown_.stop();
    window_.display().hideUpNext();
    if (!banner_.isEmpty()) window_.display().showBanner(banner_ = QString());
}

void LibraryController::waitOver(bool cancelled) {
    const bool waited = waiting_;
    stopCountdown();
    // Cancelled, the songs stay as they are: the one waited for never left the queue.
    if (!waited || cancelled) return;
    if (rotationRuns()) return playTurn();
    const int row = nextRow();
    if (row >= 0) playRow(row);
}

void LibraryController::playNextNow() {
    if (rotationRuns()) return playTurn();
    const int row = nextRow();
    if (row >= 0) playRow(row);
}

int LibraryController::nextRow() {
    std::vector<QueueEntry> skipped;
    const int row = libraryWindow_->queue().firstAvailable(&skipped);
    // One note for all of them, in lines that stop nothing; the line below the
    // queue keeps it while songs are passed over.
    note_ = skipped.empty() ? QString() : skippedNote(skipped);
    libraryWindow_->showQueueNote(note_);
    if (!skipped.empty()) {
        window_.showStatus(note_);
        libraryWindow_->refreshQueueMarks();
    }
    return row;
}

void LibraryController::playRow(int row) {
    stopCountdown();
    PlayQueue& queue = libraryWindow_->queue();
    // The host moves on: a queued song playing counts as done, and its stop puts
    // nothing back.
    queue.finish();
    if (currentTurn()) endTurn("skipped", false);
    PlaybackSession& session = window_.session();
    if (session.songRunning() || session.transport() == Transport::Waiting) window_.stopPlayback();
    const std::optional<QueueEntry> entry = queue.start(row);
    if (!entry) return;
    window_.playFile(entry->path);
    // Refused before it started (not a song file): kept, first.
    if (!session.songRunning() && queue.nowPlaying() == entry) return queue.putBack();
    // The song's status would hide at once what was passed over to reach it.
    if (session.songRunning() && !note_.isEmpty()) window_.showStatus(note_);
}

void LibraryController::playTurn() {
    stopCountdown();
    libraryWindow_->queue().finish();
    // The host moves on: the turn playing counts as sung.
    if (currentTurn()) endTurn("skipped", false);
    PlaybackSession& session = window_.session();
    if (session.songRunning() || session.transport() == Transport::Waiting) window_.stopPlayback();
    const std::optional<RotationTurn> turn =
        rotation_->next(static_cast<std::int64_t>(std::time(nullptr)));
    if (!turn) {
        if (!rotation_->error().empty())
            window_.showStatus(QString::fromStdString(rotation_->error()));
        return;
    }
    window_.playFile(turn->song.path);
    // Refused before it started (a file gone, not a song): the turn comes again.
    if (!session.songRunning()) return endTurn("failed", true);
    // The song starts in its own key; the turn's (the host's or the memory's) on top.
    PlaybackTuning& tuning = window_.tuning();
    const int key = std::clamp(turn->song.key.value_or(0), -PlaybackTuning::kMaxKeyShift,
                               PlaybackTuning::kMaxKeyShift);
    const int tempo = std::clamp(turn->song.tempo.value_or(100), PlaybackTuning::kMinTempo,
                                 PlaybackTuning::kMaxTempo);
    if (key != tuning.keyShift()) tuning.changeKey(key - tuning.keyShift());
    if (tempo != tuning.tempoPercent()) tuning.changeTempo(tempo - tuning.tempoPercent());
    rotationWindow_->refresh();
}

void LibraryController::endTurn(const char* ended, bool giveBack) {
    const RotationTurn& turn = *currentTurn();
    const PlaybackTuning& tuning = window_.tuning();
    HistoryEntry entry{turn.singer,    turn.song.path,    turn.song.artist,      turn.song.title,
                       turn.startedAt, tuning.keyShift(), tuning.tempoPercent(), ended};
    // A turn refused at once never played in the tuning's key: the turn's own.
    if (giveBack && std::string(ended) == "failed") {
        entry.key = turn.song.key.value_or(0);
        entry.tempo = turn.song.tempo.value_or(100);
    }
    if (!rotation_->endTurn(&entry, giveBack))
        window_.showStatus(QString::fromStdString(rotation_->error()));
    rotationWindow_->refresh();
}

}  // namespace lyrvox
