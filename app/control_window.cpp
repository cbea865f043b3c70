#include "app/control_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/app_icon.h"
#include "app/layout_table.h"
#include "app/window_text.h"
#include "playback/qt_event_pump.h"
#include "util/text_helpers.h"

#ifndef LYRVOX_VERSION
#define LYRVOX_VERSION "0.0.0"
#endif
#ifndef LYRVOX_RELEASE_DATE
#define LYRVOX_RELEASE_DATE "unreleased"
#endif

namespace lyrvox {
namespace {

constexpr char kAutoSize[] = "lyrvoxAutoSize";
constexpr int kStartIntervalMs = 100;  // Timer1's design interval, until start-up picks a rate
constexpr int kStartRateIndex = 3;     // "15"

std::vector<FileFilter> openFilters() {
    return {{QStringLiteral("Lyrvox Files"), {"*.CDG", "*.MP3", "*.RW"}},
            {QStringLiteral("CDG Files (*.CDG)"), {"*.CDG"}},
            {QStringLiteral("MPEG Audio Files (*.MP3)"), {"*.MP3"}},
            {QStringLiteral("ActiveMovie Files"),
             {"*.AVI", "*.MOV", "*.MID", "*.WAV", "*.AU", "*.MP?"}}};
}

Qt::Alignment alignmentOf(TextAlign align) {
    switch (align) {
        case TextAlign::Right:
            return Qt::AlignRight | Qt::AlignTop;
        case TextAlign::Centre:
            return Qt::AlignHCenter | Qt::AlignTop;
        case TextAlign::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

int scaleTwips(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

}  // namespace

ControlWindow::ControlWindow(ControlWindowDeps deps, QWidget* parent)
    : QWidget(parent), deps_(std::move(deps)), converter_(*this) {
    setObjectName(QStringLiteral("Lyrvox"));
    setWindowTitle(QStringLiteral("Lyrvox Controls"));
    setWindowIcon(appIcon());
    buildControls();
    display_ = std::make_unique<DisplayController>(
        state_, windowIcon(), [this](const QString& text) { setLabelText(lblZoom_, text); });
}

ControlWindow::~ControlWindow() {
    // Nothing may call back into a half-destroyed window.
    unloading_ = true;
    if (Timer1_ != nullptr) Timer1_->stop();
    display_.reset();
}

int ControlWindow::twipsToPixelsX(int twips) const {
    return scaleTwips(twips, logicalDpiX());
}
int ControlWindow::twipsToPixelsY(int twips) const {
    return scaleTwips(twips, logicalDpiY());
}

int ControlWindow::outerHeightTwips() const {
    const double clientTwips = height() * 1440.0 / logicalDpiY();
    return static_cast<int>(std::lround(clientTwips)) + kFrameAllowance;
}

void ControlWindow::buildControls() {
    // The system's menu colours for the window and the time display's background.
    const QPalette menuPalette = QApplication::palette("QMenu");
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, menuPalette.color(QPalette::Window));
    setPalette(windowPalette);
    setAutoFillBackground(true);

    // The design's small dialog font, so that captions fit their buttons.
    QFont smallFont = font();
    smallFont.setPointSizeF(8.0);
    setFont(smallFont);

    std::vector<std::pair<int, QWidget*>> tabStops;
    for (const ControlDesign& design : kControlLayout) {
        const QString name = QString::fromLatin1(design.name);
        QWidget* parent = design.frame[0] != '\0' ? frames_.value(QString::fromLatin1(design.frame))
                                                  : static_cast<QWidget*>(this);
        const QString caption = QString::fromLatin1(design.caption);
        QWidget* widget = nullptr;
        switch (design.kind) {
            case ControlKind::PictureBox:    // in PlayerState::machine
            case ControlKind::MediaControl:  // deps_.media
            case ControlKind::CommonDialog:  // deps_.dialogs
                continue;
            case ControlKind::Timer:
                Timer1_ = new QTimer(this);
                Timer1_->setObjectName(name);
                Timer1_->setTimerType(Qt::PreciseTimer);
                continue;
            case ControlKind::Frame: {
                auto* frame = new QGroupBox(parent);
                frames_.insert(name, frame);
                widget = frame;
                break;
            }
            case ControlKind::CheckBox:
                widget = new QCheckBox(caption, parent);
                break;
            case ControlKind::Button:
                widget = new QPushButton(caption, parent);
                break;
            case ControlKind::ComboBox: {
                auto* combo = new QComboBox(parent);
                combo->setEditable(false);
                combo->addItems(frameRateEntries());
                combo->setCurrentIndex(-1);
                widget = combo;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(caption, parent);
                // File names reach the labels: never read them as markup.
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(alignmentOf(design.align));
                label->setProperty(kAutoSize, design.autoSize);
                widget = label;
                break;
            }
            case ControlKind::TextBox:
                widget = new QLineEdit(parent);
                break;
        }
        widget->setObjectName(name);
        widget->setToolTip(QString::fromLatin1(design.tip));
        widget->setGeometry(twipsToPixelsX(design.left), twipsToPixelsY(design.top),
                            twipsToPixelsX(design.width), twipsToPixelsY(design.height));
        if (widget->focusPolicy() != Qt::NoFocus) tabStops.emplace_back(design.tabIndex, widget);
    }
    std::sort(tabStops.begin(), tabStops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < tabStops.size(); ++i) {
        setTabOrder(tabStops[i - 1].second, tabStops[i].second);
    }

    btnOpen_ = findChild<QPushButton*>(QStringLiteral("btnOpen"));
    btnPlay_ = findChild<QPushButton*>(QStringLiteral("btnPlay"));
    btnStop_ = findChild<QPushButton*>(QStringLiteral("btnStop"));
    btnConvert_ = findChild<QPushButton*>(QStringLiteral("btnConvert"));
    cbAlt_ = findChild<QCheckBox*>(QStringLiteral("cbAlt"));
    Combo1_ = findChild<QComboBox*>(QStringLiteral("Combo1"));
    lblTime_ = findChild<QLabel*>(QStringLiteral("lblTime"));
    lblStat_ = findChild<QLabel*>(QStringLiteral("lblStat"));
    lblZoom_ = findChild<QLabel*>(QStringLiteral("lblZoom"));
    lblFName_ = findChild<QLabel*>(QStringLiteral("lblFName"));
    lblProgress_ = findChild<QLabel*>(QStringLiteral("lblProgress"));
    txtSource_ = findChild<QLineEdit*>(QStringLiteral("txtSource"));

    btnPlay_->setEnabled(false);
    btnStop_->setEnabled(false);

    // Labels that size themselves take their size from their text in this font;
    // the design sizes fit the design font.
    for (auto* label : findChildren<QLabel*>()) {
        if (label->property(kAutoSize).toBool()) setLabelText(label, label->text());
    }

    QPalette openPalette = btnOpen_->palette();
    openPalette.setColor(QPalette::Button, QColor(192, 192, 192));
    btnOpen_->setPalette(openPalette);

    QFont timeFont(QStringLiteral("MS Sans Serif"));
    timeFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                          QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    timeFont.setStyleHint(QFont::SansSerif);
    timeFont.setPointSizeF(13.5);
    timeFont.setWeight(QFont::Normal);
    lblTime_->setFont(timeFont);
    QPalette timePalette = lblTime_->palette();
    timePalette.setColor(QPalette::WindowText, QColor(0, 255, 255));
    timePalette.setColor(QPalette::Window, QColor(0, 0, 0));
    lblTime_->setPalette(timePalette);
    lblTime_->setAutoFillBackground(true);

    auto onClick = [this](const char* name, void (ControlWindow::*handler)()) {
        auto* button = findChild<QPushButton*>(QString::fromLatin1(name));
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    onClick("btnOpen", &ControlWindow::btnOpen_Click);
    onClick("btnPlay", &ControlWindow::btnPlay_Click);
    onClick("btnStop", &ControlWindow::btnStop_Click);
    onClick("btnSize", &ControlWindow::btnSize_Click);
    onClick("btnSnap", &ControlWindow::btnSnap_Click);
    onClick("btnView", &ControlWindow::btnView_Click);
    onClick("btnSetDir", &ControlWindow::btnSetDir_Click);
    onClick("btnConvert", &ControlWindow::btnConvert_Click);
    onClick("btnInfo", &ControlWindow::btnInfo_Click);
    onClick("btnAbout", &ControlWindow::btnAbout_Click);
    connect(Combo1_, &QComboBox::currentIndexChanged, this, [this] { Combo1_Click(); });
    connect(Timer1_, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    setFixedSize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kExpandedClientHeight));
    move(twipsToPixelsX(kWindowLeft), twipsToPixelsY(kWindowTop));

    // Ticking from creation on; start-up replaces the interval.
    Timer1_->start(kStartIntervalMs);
}

void ControlWindow::setClientHeightTwips(int twips) {
    setFixedHeight(twipsToPixelsY(twips));
}

void ControlWindow::setLabelText(QLabel* label, const QString& text) {
    label->setText(text);
    if (!label->property(kAutoSize).toBool()) return;
    // A label that sizes itself to its text keeps its left edge, or its right
    // edge when it is right-aligned.
    QRect g = label->geometry();
    const QSize hint = label->sizeHint();
    const int width = std::max(1, hint.width());
    if (label->alignment() & Qt::AlignRight) {
        g.setLeft(g.right() + 1 - width);
    } else {
        g.setWidth(width);
    }
    g.setHeight(std::max(g.height(), hint.height()));
    label->setGeometry(g);
}

void ControlWindow::message(const QString& text) {
    if (unloading_) return;
    deps_.dialogs.showMessage(text);
}

// ---- Start-up and shut-down ------------------------------------------------

void ControlWindow::Form_Load(const QStringList& args) {
    state_.Paused = false;
    setClientHeightTwips(kCompactClientHeight);
    Combo1_->setCurrentIndex(kStartRateIndex);  // runs Combo1_Click
    btnSize_Click();
    show();
    if (auto* first = findChild<QPushButton*>(QStringLiteral("btnView"))) first->setFocus();
    if (!commandLineText(args).isEmpty()) {
        state_.FileSpec = toFsPath(joinCommandLine(args));
        btnPlay_Click();
        if (unloading_) return;
    }
    snapshots_.Basename = QStringLiteral("nofile");
}

void ControlWindow::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void ControlWindow::Form_Unload() {
    if (unloading_) return;
    deps_.media.Command("stop");
    deps_.media.Command("close");
    // Abandon whatever runs: a session or a conversion nested in this call's
    // event loop sees its flag at its next pass and returns, without its end
    // steps (they are switched off by unloading_).
    unloading_ = true;
    state_.ProFlag = false;
    if (converter_.Converting()) converter_.btnConvert_Click(std::string());
    Timer1_->stop();
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

void ControlWindow::btnOpen_Click() {
    if (LastFilterIndex_ == 0) LastFilterIndex_ = 2;
    OpenFileRequest request;
    request.folder = startFolder();
    request.filters = openFilters();
    request.filterIndex = LastFilterIndex_;
    const std::optional<OpenFileChoice> choice = deps_.dialogs.chooseOpenFile(request);
    if (!choice) return;  // cancelled: nothing changes
    LastFilterIndex_ = choice->filterIndex;
    state_.FileSpec = toFsPath(choice->path);
    // A folder that cannot be remembered is no reason to refuse the file chosen.
    deps_.settings.writePath(folderWithSeparator(choice->path));
    lblStat_->setText(QStringLiteral("Click PLAY to start."));
    btnPlay_->setEnabled(true);
    snapshots_.SnapNum = 0;
}

void ControlWindow::btnPlay_Click() {
    if (!state_.ProFlag) {
        btnPlay_->setText(QStringLiteral("Pause"));
        // One runner for the life of the window: a session started while an
        // ending one still unwinds (Play right after Stop) enters the same runner
        // again, which is how it tells the two apart.
        if (!session_) session_ = deps_.sessions(state_, deps_.media, *this);
        session_->DoCDGFile(state_.FileSpec);
        if (unloading_) return;
    } else if (state_.Paused) {
        btnPlay_->setText(QStringLiteral("Pause"));
        deps_.media.Command("Play");
        state_.Paused = false;
    } else {
        btnPlay_->setText(QStringLiteral("Cont"));
        deps_.media.Command("stop");
        state_.Paused = true;
    }
    Yield(0);
}

void ControlWindow::btnStop_Click() {
    if (unloading_) return;  // shut-down abandons the session without its end steps
    deps_.media.Command("Stop");
    deps_.media.Command("Close");
    btnPlay_->setText(QStringLiteral("Play"));
    btnOpen_->setEnabled(true);
    btnStop_->setEnabled(false);
    btnPlay_->setEnabled(true);
    state_.ProFlag = false;
    state_.Paused = false;
    lblStat_->setText(QStringLiteral("Ready."));
    Yield(0);
}

// ---- Timer and frame rate --------------------------------------------------

void ControlWindow::Combo1_Click() {
    Timer1_->stop();
    const int interval = frameIntervalMs(Combo1_->currentText());
    if (interval > 0) Timer1_->setInterval(interval);
    Timer1_->start();
}

void ControlWindow::Timer1_Timer() {
    if (unloading_) return;
    if (state_.machine.UFlag) {
        display_->BlitIt();
        state_.machine.UFlag = false;
    }
    // 64-bit difference: a negative target at a clock-paced start cannot wrap.
    if (static_cast<int64_t>(state_.FrameMP3) - state_.LastFrame > 299) {
        const auto packets = static_cast<float>(state_.FrameMP3);
        lblTime_->setText(QString::fromStdString(PacketsToTime(packets)));
        state_.LastFrame = state_.FrameMP3;
    }
}

// ---- Display, snapshot, options --------------------------------------------

void ControlWindow::btnSize_Click() {
    display_->btnSize_Click();
}

void ControlWindow::btnSnap_Click() {
    // Named relative to the current directory: if that directory has been
    // deleted, QDir::currentPath() is empty and an absolute name would point at /.
    const Snapshots::Result result = snapshots_.take(state_.machine, QString());
    if (!result.written) {
        const QString cwd = QDir::currentPath();
        const QString shown = cwd.isEmpty() ? result.path : QDir(cwd).filePath(result.path);
        message(QStringLiteral("Cannot save the snapshot: ") + shown);
    }
}

void ControlWindow::btnView_Click() {
    // Compared in pixels, so that a DPI whose rounding makes the compact height
    // read a twip over 1725 still expands.
    if (height() > twipsToPixelsY(kCompactClientHeight)) {
        setClientHeightTwips(kCompactClientHeight);
    } else {
        setClientHeightTwips(kExpandedClientHeight);
    }
}

// ---- Extraction ------------------------------------------------------------

void ControlWindow::btnSetDir_Click() {
    OpenFileRequest request;
    request.folder = startFolder();
    request.filters = {{QStringLiteral("CDRWin binary Files"), {"*.BIN", "*.RAW"}}};
    request.filterIndex = 1;
    const std::optional<OpenFileChoice> choice = deps_.dialogs.chooseOpenFile(request);
    if (!choice) return;
    txtSource_->setText(choice->path);
}

void ControlWindow::btnConvert_Click() {
    converter_.btnConvert_Click(toFsPath(txtSource_->text()));
}

// ---- Info and About --------------------------------------------------------

void ControlWindow::btnInfo_Click() {
    const QString path = documentationPath(deps_.programFolder);
    if (!deps_.dialogs.openDocument(path)) {
        message(QStringLiteral("Cannot open the documentation file: ") + path);
    }
}

void ControlWindow::btnAbout_Click() {
    message(aboutText(QStringLiteral(LYRVOX_VERSION), QStringLiteral(LYRVOX_RELEASE_DATE),
                      documentationPath(deps_.programFolder)));
}

// ---- Host interfaces -------------------------------------------------------

bool ControlWindow::AltChecked() {
    return cbAlt_->isChecked();
}

void ControlWindow::SetStatus(const std::string& text) {
    if (unloading_) return;
    lblStat_->setText(fromFsPath(text));
}

void ControlWindow::SetOpenEnabled(bool enabled) {
    btnOpen_->setEnabled(enabled);
}

void ControlWindow::EnableStopNow() {
    btnStop_->setEnabled(true);
    btnStop_->repaint();
}

void ControlWindow::ShowDisplay(bool visible) {
    if (unloading_) return;
    display_->setVisible(visible);
}

void ControlWindow::Yield(double maxWaitMs) {
    serveEvents(maxWaitMs);
}
void ControlWindow::Yield() {
    serveEvents(0);
}

void ControlWindow::ShowMessage(const std::string& text) {
    message(fromFsPath(text));
}

void ControlWindow::SetConvertCaption(const std::string& text) {
    btnConvert_->setText(fromFsPath(text));
}
void ControlWindow::SetFileNameLabel(const std::string& text) {
    setLabelText(lblFName_, fromFsPath(text));
}
void ControlWindow::SetProgressLabel(const std::string& text) {
    setLabelText(lblProgress_, fromFsPath(text));
}

}  // namespace lyrvox
