#include "app/control_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <cmath>

#include <sys/stat.h>

#include "app/app_icon.h"
#include "app/export_video_dialog.h"
#include "app/song_drops.h"
#include "app/window_text.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

constexpr int kStartIntervalMs = 100;  // the timer's interval until start-up picks a rate
constexpr int kStartRateIndex = 3;     // "15"

// The guide beside the program, or where an installed program keeps it.
QString guidePath(const QString& programFolder) {
    return findDocumentation(programFolder, QStringLiteral(LYRVOX_DOC_FROM_BIN));
}

}  // namespace

ControlWindow::ControlWindow(ControlWindowDeps deps, QWidget* parent)
    : QWidget(parent), deps_(std::move(deps)) {
    setWindowTitle(QStringLiteral("Lyrvox Controls"));
    setWindowIcon(appIcon());
    controls_ = buildControlLayout(*this);
    statusTip_ = controls_.status->toolTip();
    driver_ = new SessionDriver(deps_.media, deps_.traceFile, this);
    displayTimer_ = new QTimer(this);
    displayTimer_->setTimerType(Qt::PreciseTimer);
    extraction_ = std::make_unique<ExtractionPanel>(
        controls_, deps_.dialogs, [this] { return startFolder(); },
        [this](const QString& text) { message(text); });
    // The display window's screen, state, place and scaling live in the settings.
    DisplayMemory memory{
        [this](const QString& key) { return deps_.settings.readText(key); },
        [this](const QString& key, const QString& value) { deps_.settings.writeText(key, value); }};
    display_ = std::make_unique<DisplayController>(
        session().state().machine, [this] { return !session().state().graphicsFile.empty(); },
        windowIcon(), nullptr, std::move(memory));
    tuning_ = new PlaybackTuning(
        session(), deps_.media, deps_.settings,
        [this](const QString& note) { display_->showNote(note); }, this);
    connectControls();
    // Ticking from creation on; start-up replaces the interval.
    displayTimer_->start(kStartIntervalMs);
}

ControlWindow::~ControlWindow() {
    // Nothing may call back into a half-destroyed window.
    closing_ = true;
    session().shutDown();
    displayTimer_->stop();
    display_.reset();
}

void ControlWindow::connectControls() {
    const std::pair<QPushButton*, void (ControlWindow::*)()> commands[] = {
        {controls_.open, &ControlWindow::openSong},
        {controls_.play, &ControlWindow::playPauseOrContinue},
        {controls_.stop, &ControlWindow::stopPlayback},
        {controls_.size, &ControlWindow::stepZoom},
        {controls_.snapshot, &ControlWindow::takeSnapshot},
        {controls_.options, &ControlWindow::toggleOptions},
        {controls_.info, &ControlWindow::showDocumentation},
        {controls_.about, &ControlWindow::showAbout}};
    for (const auto& [button, command] : commands)
        connect(button, &QPushButton::clicked, this, [this, command] { (this->*command)(); });
    connect(controls_.frameRate, &QComboBox::currentIndexChanged, this,
            [this] { frameRateChosen(); });
    connect(displayTimer_, &QTimer::timeout, this, [this] { onDisplayTick(); });

    // What the session reports.
    connect(driver_, &SessionDriver::transportUpdated, this,
            [this](Transport transport) { showTransport(transport); });
    connect(driver_, &SessionDriver::statusUpdated, this, &ControlWindow::showStatus);
    connect(driver_, &SessionDriver::displayRequested, this, [this](bool visible) {
        if (!closing_) display_->setVisible(visible);
    });
    connect(driver_, &SessionDriver::messageRequested, this, &ControlWindow::message);
    connect(driver_, &SessionDriver::songOver, this, [this] { songOver(); });
    connect(tuning_, &PlaybackTuning::statusSuffixChanged, this,
            [this] { showStatus(statusText_); });

    // A resized window wants a fresh copy at the next drawn packet.
    connect(display_.get(), &DisplayController::zoomTextChanged, this,
            [this](const QString& text) { setLabelText(controls_.zoom, text); });
    connect(display_.get(), &DisplayController::zoomStepped, this,
            [this] { session().state().machine.hasDrawn = true; });
    // The keyboard commands work on both windows.
    addKeyCommands(*this, keyCommands());
    connect(display_.get(), &DisplayController::windowMade, this,
            [this](QWidget* window) { addKeyCommands(*window, keyCommands()); });
    // A song dropped on either window plays as if opened.
    auto* drops = new SongDrops([this](const QString& path) { playFile(path); }, this);
    drops->watch(this);
    connect(display_.get(), &DisplayController::windowMade, drops,
            [drops](QWidget* window) { drops->watch(window); });

    // The song library: an entry in a right-click menu of this window (nothing
    // else there has one), and in the display's menu.
    const auto openLibrary = [this] {
        if (openLibrary_) openLibrary_();
    };
    libraryAction_ = new QAction(QStringLiteral("Library... (L)"), this);
    connect(libraryAction_, &QAction::triggered, this, openLibrary);
    addAction(libraryAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    display_->setMenuExtras([this, openLibrary](QMenu& menu) {
        connect(menu.addAction(QStringLiteral("Library...\tL")), &QAction::triggered, this,
                openLibrary);
        tuning_->addMenuEntries(menu);
        QAction* exportVideo = menu.addAction(QStringLiteral("Export video..."));
        exportVideo->setEnabled(!chosenFile_.empty());
        connect(exportVideo, &QAction::triggered, this, [this] {
            ExportVideoDialog* dialog = ExportVideoDialog::openFor(
                QFile::decodeName(QByteArray::fromStdString(chosenFile_)), this);
            dialog->setBackground(display_->background().choice());
        });
    });
}

int ControlWindow::outerHeightTwips() const {
    const double clientTwips = height() * 1440.0 / logicalDpiY();
    return static_cast<int>(std::lround(clientTwips)) + kFrameAllowance;
}

void ControlWindow::message(const QString& text) {
    if (closing_) return;
    deps_.dialogs.showMessage(text);
}

void ControlWindow::startUp(const std::vector<std::string>& args) {
    tuning_->load();
    setExpanded(false);
    controls_.frameRate->setCurrentIndex(kStartRateIndex);  // runs frameRateChosen
    stepZoom();
    show();
    controls_.options->setFocus();
    if (commandLineText(args).empty()) {
        snapshots_.stem = QStringLiteral("nofile");
        return;
    }
    chosenFile_ = joinCommandLine(args);
    // Pause and Continue work for a song from the command line as for one opened.
    controls_.play->setEnabled(true);
    stemAfterSong_ = true;
    playPauseOrContinue();
}

void ControlWindow::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

void ControlWindow::shutDown() {
    if (closing_) return;
    // The song is abandoned without its end steps; a conversion stops and removes
    // its unfinished output before the program ends.
    closing_ = true;
    session().shutDown();
    extraction_->stopConverting();
    displayTimer_->stop();
    if (deps_.endProgram) deps_.endProgram();
}

QString ControlWindow::startFolder() {
    const std::optional<QString> saved = deps_.settings.readPath();
    if (saved && QFileInfo(*saved).isDir()) return *saved;
    QString folder = deps_.programFolder;
    if (!folder.isEmpty() && !folder.endsWith(QChar('/'))) folder += QChar('/');
    return folder;
}

void ControlWindow::openSong() {
    if (lastFilterIndex_ == 0) lastFilterIndex_ = 2;
    const std::optional<OpenFileChoice> choice =
        deps_.dialogs.chooseOpenFile({startFolder(), songFileFilters(), lastFilterIndex_});
    if (!choice) return;  // cancelled: nothing changes
    lastFilterIndex_ = choice->filterIndex;
    chooseFile(toFsPath(choice->path));
    showStatus(QStringLiteral("Click PLAY to start."));
}

void ControlWindow::chooseFile(const std::string& path) {
    chosenFile_ = path;
    // A folder that cannot be remembered is no reason to refuse the file chosen.
    deps_.settings.writePath(folderWithSeparator(fromFsPath(path)));
    controls_.play->setEnabled(true);
    snapshots_.nextNumber = 0;
    tuning_->songChosen();
}

void ControlWindow::playFile(const QString& path) {
    playFile(toFsPath(path));
}

void ControlWindow::playFile(const std::string& path) {
    if (closing_) return;
    // The name's own bytes reach the session: a QString would lose those that are not UTF-8.
    const QString shown = fromFsPath(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return message(QStringLiteral("Cannot play a folder: ") + shown);
    if (!isSongFileName(fromFsPath(fileNameOf(path))))
        return message(QStringLiteral("Not a song or media file: ") + shown);
    if (session().songRunning()) stopPlayback();
    chooseFile(path);
    playPauseOrContinue();
}

void ControlWindow::bringToFront() {
    if (closing_) return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void ControlWindow::playPauseOrContinue() {
    switch (session().transport()) {
        case Transport::Playing:
            return session().pause();
        case Transport::Paused:
            return session().resume();
        case Transport::Idle:
        case Transport::Waiting:
            // The previous song's time must not linger, nor stay for a song under a second.
            controls_.time->setText(QString::fromStdString(packetsToTime(0)));
            targetAtTimeShown_ = 0;
            return session().play(chosenFile_, controls_.alternativeDevice->isChecked());
    }
}

void ControlWindow::stopPlayback() {
    if (!closing_) session().stop();
}

// The controls of each state; the captions keep their access key, so that Alt+P
// works for every song of a run.
void ControlWindow::showTransport(Transport transport) {
    const bool song = transport == Transport::Playing || transport == Transport::Paused;
    controls_.play->setText(transport == Transport::Playing  ? QStringLiteral("&Pause")
                            : transport == Transport::Paused ? QStringLiteral("&Cont")
                                                             : QStringLiteral("&Play"));
    controls_.open->setEnabled(!song);
    controls_.play->setEnabled(true);
    // Stop ends a song, and also the wait before the queue's next one.
    controls_.stop->setEnabled(transport != Transport::Idle);
}

void ControlWindow::songOver() {
    if (stemAfterSong_) snapshots_.stem = QStringLiteral("nofile");
    stemAfterSong_ = false;
}

void ControlWindow::frameRateChosen() {
    displayTimer_->stop();
    const int interval = frameIntervalMs(controls_.frameRate->currentText());
    if (interval > 0) displayTimer_->setInterval(interval);
    displayTimer_->start();
}

void ControlWindow::onDisplayTick() {
    PlayerState& state = session().state();
    if (state.machine.needsRedraw) {
        display_->copyPicture();
        state.machine.needsRedraw = false;
    }
    // 64-bit difference: a negative target at a clock-paced start cannot wrap.
    if (static_cast<int64_t>(state.targetPacket) - targetAtTimeShown_ > 299) {
        const auto packets = static_cast<float>(state.targetPacket);
        controls_.time->setText(QString::fromStdString(packetsToTime(packets)));
        targetAtTimeShown_ = state.targetPacket;
    }
}

std::vector<KeyCommand> ControlWindow::keyCommands() {
    // Keys that click a button do exactly what that button would (nothing while it
    // is disabled).
    const auto click = [](QPushButton* button) { return [button] { button->click(); }; };
    std::vector<KeyCommand> commands = {
        {{Qt::Key_Space}, click(controls_.play)},
        {{Qt::Key_S}, click(controls_.stop)},
        {{Qt::Key_O}, click(controls_.open)},
        {{QKeySequence::fromString(QStringLiteral("Ctrl+S"))}, click(controls_.snapshot)},
        {{Qt::Key_Plus, Qt::Key_Equal}, [this] { stepZoom(); }},
        {{Qt::Key_Minus}, [this] { display_->stepZoomDown(); }},
        {{Qt::Key_F11}, [this] { display_->toggleFullScreen(); }},
        {{Qt::Key_L}, [this] { libraryAction_->trigger(); }},
        {{QKeySequence::fromString(QStringLiteral("Ctrl+Q"))}, [this] { close(); }}};
    for (KeyCommand& command : tuning_->keyCommands()) commands.push_back(std::move(command));
    return commands;
}

void ControlWindow::showStatus(const QString& text) {
    if (closing_) return;
    statusText_ = text;
    const QString shown = text + tuning_->statusSuffix();
    controls_.status->setText(shown);
    // The line has the design's width and long song names do not fit it: the tip
    // then carries the whole line, above the keys and the key engine in use.
    QStringList tip;
    if (controls_.status->fontMetrics().horizontalAdvance(shown) > controls_.status->width())
        tip << shown;
    tip << statusTip_;
    if (const QString engine = tuning_->keyEngineTip(); !engine.isEmpty()) tip << engine;
    controls_.status->setToolTip(tip.join(QLatin1Char('\n')));
}

void ControlWindow::takeSnapshot() {
    // Named relative to the current directory: if that directory has been
    // deleted, QDir::currentPath() is empty and an absolute name would point at /.
    const Snapshots::Result result = snapshots_.take(session().state().machine, QString());
    if (result.written) return display_->showNote(QFileInfo(result.path).fileName());
    const QString cwd = QDir::currentPath();
    const QString shown = cwd.isEmpty() ? result.path : QDir(cwd).filePath(result.path);
    message(QStringLiteral("Cannot save the snapshot: ") + shown);
}

void ControlWindow::toggleOptions() {
    // Compared in pixels, so that a DPI whose rounding makes the compact height
    // read a twip over 1725 still expands.
    setExpanded(height() <= twipsToPixelsY(*this, kCompactClientHeight));
}

void ControlWindow::setExpanded(bool expanded) {
    setFixedHeight(twipsToPixelsY(*this, expanded ? kExpandedClientHeight : kCompactClientHeight));
    // Below the compact height the extraction controls are out of sight: hidden,
    // they take no Tab stop, no typing and no access key.
    controls_.extractionArea->setVisible(expanded);
}

void ControlWindow::showDocumentation() {
    const QString path = guidePath(deps_.programFolder);
    if (!QFileInfo(path).isReadable()) {
        message(QStringLiteral("Cannot open the documentation file: ") + path);
    } else if (!deps_.dialogs.openDocument(path)) {
        // The file is there: what is missing is a program for it.
        message(QStringLiteral("No program to open %1 was found").arg(path));
    }
}

void ControlWindow::showAbout() {
    message(aboutText(QStringLiteral(LYRVOX_VERSION), QStringLiteral(LYRVOX_RELEASE_DATE),
                      guidePath(deps_.programFolder)));
}

}  // namespace lyrvox
