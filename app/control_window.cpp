#include "app/control_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/app_icon.h"
#include "app/event_pump.h"
#include "app/keyboard_control.h"
#include "app/song_drops.h"
#include "app/window_text.h"
#include "util/text_helpers.h"

#ifndef LYRVOX_VERSION
#define LYRVOX_VERSION "0.0.0"
#endif
#ifndef LYRVOX_RELEASE_DATE
#define LYRVOX_RELEASE_DATE "unreleased"
#endif

namespace lyrvox {
namespace {

constexpr int kStartIntervalMs = 100;  // the timer's interval until start-up picks a rate
constexpr int kStartRateIndex = 3;     // "15"

std::vector<FileFilter> openFilters() {
    return {{QStringLiteral("Lyrvox Files"),
             {"*.CDG", "*.MP3", "*.RW", "*.OGG", "*.OPUS", "*.FLAC", "*.M4A", "*.AAC", "*.ZIP"}},
            {QStringLiteral("CDG Files (*.CDG)"), {"*.CDG"}},
            {QStringLiteral("MPEG Audio Files (*.MP3)"), {"*.MP3"}},
            {QStringLiteral("ActiveMovie Files"),
             {"*.AVI", "*.MOV", "*.MID", "*.WAV", "*.AU", "*.MP?"}}};
}

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
    displayTimer_ = new QTimer(this);
    displayTimer_->setTimerType(Qt::PreciseTimer);
    extraction_ = std::make_unique<ExtractionPanel>(
        controls_, deps_.dialogs, [this] { return startFolder(); },
        [this](const QString& text) { message(text); });

    const std::pair<QPushButton*, void (ControlWindow::*)()> commands[] = {
        {controls_.open, &ControlWindow::openSong},
        {controls_.play, &ControlWindow::playPauseOrContinue},
        {controls_.stop, &ControlWindow::stopPlayback},
        {controls_.size, &ControlWindow::stepZoom},
        {controls_.snapshot, &ControlWindow::takeSnapshot},
        {controls_.options, &ControlWindow::toggleOptions},
        {controls_.info, &ControlWindow::showDocumentation},
        {controls_.about, &ControlWindow::showAbout}};
    for (const auto& [button, command] : commands) {
        connect(button, &QPushButton::clicked, this, [this, command] { (this->*command)(); });
    }
    connect(controls_.chooseImage, &QPushButton::clicked, this,
            [this] { extraction_->chooseImage(); });
    connect(controls_.convert, &QPushButton::clicked, this,
            [this] { extraction_->convertOrStop(); });
    connect(controls_.frameRate, &QComboBox::currentIndexChanged, this,
            [this] { frameRateChosen(); });
    connect(displayTimer_, &QTimer::timeout, this, [this] { onDisplayTick(); });
    // Ticking from creation on; start-up replaces the interval.
    displayTimer_->start(kStartIntervalMs);

    // The display window's screen, state, place and scaling live in the settings.
    DisplayMemory memory{
        [this](const QString& key) { return deps_.settings.readText(key); },
        [this](const QString& key, const QString& value) { deps_.settings.writeText(key, value); }};
    display_ = std::make_unique<DisplayController>(
        state_.machine, [this] { return !state_.graphicsFile.empty(); }, windowIcon(), nullptr,
        std::move(memory));
    connect(display_.get(), &DisplayController::zoomTextChanged, this,
            [this](const QString& text) { setLabelText(controls_.zoom, text); });
    // A resized window wants a fresh copy at the next drawn packet.
    connect(display_.get(), &DisplayController::zoomStepped, this,
            [this] { state_.machine.hasDrawn = true; });
    // The keyboard commands work on both windows; the buttons' tips name their keys
    // after the design's own texts.
    addKeyCommands(*this, keyCommands());
    for (const auto& [button, keys] : {std::pair{controls_.play, "Space"},
                                       {controls_.stop, "S"},
                                       {controls_.open, "O"},
                                       {controls_.snapshot, "Ctrl+S"},
                                       {controls_.size, "+ and -"}}) {
        button->setToolTip(button->toolTip() + QStringLiteral(" (%1)").arg(QLatin1String(keys)));
    }
    connect(display_.get(), &DisplayController::windowMade, this,
            [this](QWidget* window) { addKeyCommands(*window, keyCommands()); });
    controls_.status->setToolTip(
        QStringLiteral("Key: [ and ]; tempo: { and }; volume: Up and Down"));
    // A song dropped on either window plays as if opened.
    auto* drops = new SongDrops([this](const QString& path) { playDropped(path); }, this);
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
        addKeyAndTempoEntries(menu);
    });
    connect(controls_.stop, &QPushButton::clicked, this, [this] { emit stopClicked(); });
}

ControlWindow::~ControlWindow() {
    // Nothing may call back into a half-destroyed window.
    unloading_ = true;
    displayTimer_->stop();
    display_.reset();
}

int ControlWindow::outerHeightTwips() const {
    const double clientTwips = height() * 1440.0 / logicalDpiY();
    return static_cast<int>(std::lround(clientTwips)) + kFrameAllowance;
}

void ControlWindow::setClientHeightTwips(int twips) {
    setFixedHeight(twipsToPixelsY(*this, twips));
}

void ControlWindow::message(const QString& text) {
    if (unloading_) return;
    deps_.dialogs.showMessage(text);
}

// ---- Start-up and shut-down ------------------------------------------------

void ControlWindow::startUp(const std::vector<std::string>& args) {
    state_.paused = false;
    setOffset(deps_.settings.readText(QStringLiteral("Display/OffsetMs")).value_or("0").toInt());
    volume_ = std::clamp(
        deps_.settings.readText(QStringLiteral("Playback/Volume")).value_or("100").toInt(), 0, 100);
    deps_.media.setVolume(volume_);
    keepKeyAndTempo_ =
        deps_.settings.readText(QStringLiteral("Playback/KeepKeyAndTempo")) == QStringLiteral("1");
    setExpanded(false);
    controls_.frameRate->setCurrentIndex(kStartRateIndex);  // runs frameRateChosen
    stepZoom();
    show();
    controls_.options->setFocus();
    if (!commandLineText(args).empty()) {
        state_.chosenFile = joinCommandLine(args);
        // Pause and Continue work for a song from the command line as for one opened.
        controls_.play->setEnabled(true);
        playPauseOrContinue();
        if (unloading_) return;
    }
    snapshots_.stem = QStringLiteral("nofile");
}

void ControlWindow::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

void ControlWindow::shutDown() {
    if (unloading_) return;
    deps_.media.stop();
    deps_.media.close();
    // Abandon whatever runs: a session or a conversion nested in this call's
    // event loop sees its flag at its next pass and returns, without its end
    // steps (they are switched off by unloading_).
    unloading_ = true;
    state_.sessionRunning = false;
    extraction_->stopConverting();
    displayTimer_->stop();
    if (deps_.endProgram) deps_.endProgram();
}

// ---- Transport -------------------------------------------------------------

QString ControlWindow::startFolder() {
    const std::optional<QString> saved = deps_.settings.readPath();
    if (saved && QFileInfo(*saved).isDir()) return *saved;
    QString folder = deps_.programFolder;
    if (!folder.isEmpty() && !folder.endsWith(QChar('/'))) folder += QChar('/');
    return folder;
}

void ControlWindow::openSong() {
    if (lastFilterIndex_ == 0) lastFilterIndex_ = 2;
    OpenFileRequest request;
    request.folder = startFolder();
    request.filters = openFilters();
    request.filterIndex = lastFilterIndex_;
    const std::optional<OpenFileChoice> choice = deps_.dialogs.chooseOpenFile(request);
    if (!choice) return;  // cancelled: nothing changes
    lastFilterIndex_ = choice->filterIndex;
    chooseFile(choice->path);
    setStatusText(QStringLiteral("Click PLAY to start."));
}

void ControlWindow::chooseFile(const QString& path) {
    state_.chosenFile = toFsPath(path);
    // A folder that cannot be remembered is no reason to refuse the file chosen.
    deps_.settings.writePath(folderWithSeparator(path));
    controls_.play->setEnabled(true);
    snapshots_.nextNumber = 0;
    if (!keepKeyAndTempo_) {
        keyShift_ = 0;
        state_.tempoPercent = 100;
        applyKeyAndTempo(false);
    }
}

void ControlWindow::playDropped(const QString& path) {
    if (unloading_) return;
    const QFileInfo file(path);
    QStringList patterns;
    for (const FileFilter& filter : openFilters()) patterns << filter.patterns;
    if (file.isDir()) return message(QStringLiteral("Cannot play a folder: ") + path);
    if (!QDir::match(patterns, file.fileName()))
        return message(QStringLiteral("Not a song or media file: ") + path);
    if (state_.sessionRunning) stopPlayback();
    chooseFile(path);
    playPauseOrContinue();
}

void ControlWindow::playPauseOrContinue() {
    // The captions keep their access key: Alt+P works for every song of a run.
    if (!state_.sessionRunning) {
        controls_.play->setText(QStringLiteral("&Pause"));
        // The previous song's time must not linger, nor stay for a song under a second.
        controls_.time->setText(QString::fromStdString(packetsToTime(0)));
        // One runner for the life of the window: a session started while an
        // ending one still unwinds (Play right after Stop) enters the same runner
        // again, which is how it tells the two apart.
        if (!session_) session_ = deps_.sessions(state_, deps_.media, *this);
        const std::uint64_t serial = ++sessionSerial_;
        session_->play(state_.chosenFile, controls_.alternativeDevice->isChecked());
        if (unloading_) return;
        if (serial == sessionSerial_ && serial != stoppedSerial_) emit songEndedByItself();
    } else if (state_.paused) {
        controls_.play->setText(QStringLiteral("&Pause"));
        deps_.media.play();
        state_.paused = false;
    } else {
        controls_.play->setText(QStringLiteral("&Cont"));
        deps_.media.pause();
        state_.paused = true;
    }
    serveEvents(0);
}

void ControlWindow::stopPlayback() {
    if (unloading_) return;  // shut-down abandons the session without its end steps
    if (state_.sessionRunning) stoppedSerial_ = sessionSerial_;
    deps_.media.stop();
    deps_.media.close();
    controls_.play->setText(QStringLiteral("&Play"));
    controls_.open->setEnabled(true);
    controls_.stop->setEnabled(false);
    controls_.play->setEnabled(true);
    state_.sessionRunning = false;
    state_.paused = false;
    setStatusText(QStringLiteral("Ready."));
    serveEvents(0);
}

// ---- Display timer and frame rate ------------------------------------------

void ControlWindow::frameRateChosen() {
    displayTimer_->stop();
    const int interval = frameIntervalMs(controls_.frameRate->currentText());
    if (interval > 0) displayTimer_->setInterval(interval);
    displayTimer_->start();
}

void ControlWindow::onDisplayTick() {
    if (unloading_) return;
    if (state_.machine.needsRedraw) {
        display_->copyPicture();
        state_.machine.needsRedraw = false;
    }
    // 64-bit difference: a negative target at a clock-paced start cannot wrap.
    if (static_cast<int64_t>(state_.targetPacket) - state_.targetAtTimeShown > 299) {
        const auto packets = static_cast<float>(state_.targetPacket);
        controls_.time->setText(QString::fromStdString(packetsToTime(packets)));
        state_.targetAtTimeShown = state_.targetPacket;
    }
}

// ---- Keyboard and the audio/video offset ------------------------------------

std::vector<KeyCommand> ControlWindow::keyCommands() {
    // Keys that click a button do exactly what that button would (nothing while it
    // is disabled).
    const auto click = [](QPushButton* button) { return [button] { button->click(); }; };
    return {{{Qt::Key_Space}, click(controls_.play)},
            {{Qt::Key_S}, click(controls_.stop)},
            {{Qt::Key_O}, click(controls_.open)},
            {{QKeySequence::fromString(QStringLiteral("Ctrl+S"))}, click(controls_.snapshot)},
            {{Qt::Key_Plus, Qt::Key_Equal}, [this] { stepZoom(); }},
            {{Qt::Key_Minus}, [this] { display_->stepZoomDown(); }},
            {{Qt::Key_Left}, [this] { shiftOffset(-kOffsetStepMs); }},
            {{Qt::Key_Right}, [this] { shiftOffset(kOffsetStepMs); }},
            {{Qt::Key_F11}, [this] { display_->toggleFullScreen(); }},
            {{Qt::Key_BracketLeft}, [this] { changeKey(-1); }},
            {{Qt::Key_BracketRight}, [this] { changeKey(1); }},
            {{Qt::Key_BraceLeft}, [this] { changeTempo(-kTempoStep); }},
            {{Qt::Key_BraceRight}, [this] { changeTempo(kTempoStep); }},
            {{Qt::Key_Up}, [this] { changeVolume(kVolumeStep); }},
            {{Qt::Key_Down}, [this] { changeVolume(-kVolumeStep); }},
            {{Qt::Key_L}, [this] { libraryAction_->trigger(); }},
            {{QKeySequence::fromString(QStringLiteral("Ctrl+Q"))}, [this] { close(); }}};
}

void ControlWindow::shiftOffset(int deltaMs) {
    setOffset(state_.offsetMs + deltaMs);
    deps_.settings.writeText(QStringLiteral("Display/OffsetMs"), QString::number(state_.offsetMs));
    display_->showNote(QStringLiteral("Offset %1%2 ms")
                           .arg(state_.offsetMs > 0 ? QStringLiteral("+") : QString())
                           .arg(state_.offsetMs));
}

void ControlWindow::setOffset(int offsetMs) {
    state_.offsetMs = std::clamp(offsetMs, -kMaxOffsetMs, kMaxOffsetMs);
}

// ---- Key, tempo and volume ---------------------------------------------------

void ControlWindow::changeKey(int delta) {
    keyShift_ = std::clamp(keyShift_ + delta, -kMaxKeyShift, kMaxKeyShift);
    applyKeyAndTempo(true);
}

void ControlWindow::changeTempo(int delta) {
    state_.tempoPercent = std::clamp(state_.tempoPercent + delta, kMinTempo, kMaxTempo);
    applyKeyAndTempo(true);
}

void ControlWindow::resetKeyAndTempo() {
    keyShift_ = 0;
    state_.tempoPercent = 100;
    applyKeyAndTempo(true);
}

void ControlWindow::setKeepKeyAndTempo(bool keep) {
    keepKeyAndTempo_ = keep;
    deps_.settings.writeText(QStringLiteral("Playback/KeepKeyAndTempo"),
                             keep ? QStringLiteral("1") : QStringLiteral("0"));
}

void ControlWindow::applyKeyAndTempo(bool announce) {
    const bool changes = deps_.media.setKeyAndTempo(keyShift_, state_.tempoPercent);
    setStatusText(statusText_);
    if (!announce) return;
    const bool original = keyShift_ == 0 && state_.tempoPercent == 100;
    display_->showNote(changes || original
                           ? keyAndTempoText(keyShift_, state_.tempoPercent)
                           : QStringLiteral("Key and tempo cannot change for this file"));
}

void ControlWindow::setStatusText(const QString& text) {
    statusText_ = text;
    const bool original = keyShift_ == 0 && state_.tempoPercent == 100;
    controls_.status->setText(original ? text
                                       : text + QStringLiteral("  ") +
                                             keyAndTempoText(keyShift_, state_.tempoPercent));
}

void ControlWindow::addKeyAndTempoEntries(QMenu& menu) {
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"Key up\t]", [this] { changeKey(1); }},
        {"Key down\t[", [this] { changeKey(-1); }},
        {"Tempo up\t}", [this] { changeTempo(kTempoStep); }},
        {"Tempo down\t{", [this] { changeTempo(-kTempoStep); }},
        {"Original key and tempo", [this] { resetKeyAndTempo(); }}};
    for (const auto& [text, run] : commands) {
        connect(menu.addAction(QString::fromLatin1(text)), &QAction::triggered, this, run);
    }
    QAction* keep = menu.addAction(QStringLiteral("Keep key and tempo"));
    keep->setCheckable(true);
    keep->setChecked(keepKeyAndTempo_);
    connect(keep, &QAction::toggled, this, [this](bool on) { setKeepKeyAndTempo(on); });
}

void ControlWindow::changeVolume(int delta) {
    volume_ = std::clamp(volume_ + delta, 0, 100);
    deps_.media.setVolume(volume_);
    deps_.settings.writeText(QStringLiteral("Playback/Volume"), QString::number(volume_));
    display_->showNote(QStringLiteral("Volume %1%").arg(volume_));
}

// ---- Display, snapshot, options --------------------------------------------

void ControlWindow::stepZoom() {
    display_->stepZoom();
}

void ControlWindow::takeSnapshot() {
    // Named relative to the current directory: if that directory has been
    // deleted, QDir::currentPath() is empty and an absolute name would point at /.
    const Snapshots::Result result = snapshots_.take(state_.machine, QString());
    if (result.written) display_->showNote(QFileInfo(result.path).fileName());
    if (!result.written) {
        const QString cwd = QDir::currentPath();
        const QString shown = cwd.isEmpty() ? result.path : QDir(cwd).filePath(result.path);
        message(QStringLiteral("Cannot save the snapshot: ") + shown);
    }
}

void ControlWindow::toggleOptions() {
    // Compared in pixels, so that a DPI whose rounding makes the compact height
    // read a twip over 1725 still expands.
    setExpanded(height() <= twipsToPixelsY(*this, kCompactClientHeight));
}

void ControlWindow::setExpanded(bool expanded) {
    setClientHeightTwips(expanded ? kExpandedClientHeight : kCompactClientHeight);
    // Below the compact height the extraction controls are out of sight: hidden,
    // they take no Tab stop, no typing and no access key.
    controls_.extractionArea->setVisible(expanded);
}

// ---- Info and About --------------------------------------------------------

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

// ---- Session host ----------------------------------------------------------

void ControlWindow::showStatus(const std::string& text) {
    if (unloading_) return;
    setStatusText(visibleText(text));
}

void ControlWindow::setOpenEnabled(bool enabled) {
    controls_.open->setEnabled(enabled);
}

void ControlWindow::enableStopNow() {
    controls_.stop->setEnabled(true);
    controls_.stop->repaint();
}

void ControlWindow::showDisplay(bool visible) {
    if (unloading_) return;
    display_->setVisible(visible);
}

void ControlWindow::serveEvents(double maxWaitMs) {
    lyrvox::serveEvents(maxWaitMs);
}

void ControlWindow::sessionEnded() {
    stopPlayback();
}

void ControlWindow::showMessage(const std::string& text) {
    message(visibleText(text));
}

}  // namespace lyrvox
