#include "app/export_video_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>

#include "app/loudness_measuring.h"

namespace lyrvox {

namespace {

// The bar counts in tenths of a percent.
constexpr int kBarMax = 1000;

// The output beside the song, named after it.
QString defaultOutput(const QString& song) {
    const QFileInfo info(song);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".mp4"));
}

// "WxH" as a size; invalid when it is not two whole numbers from 16 to 7680.
QSize sizeFrom(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+)\\s*[xX]\\s*(\\d+)\\s*$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return {};
    const int w = m.captured(1).toInt(), h = m.captured(2).toInt();
    if (w < 16 || h < 16 || w > 7680 || h > 7680) return {};
    return {w, h};
}

}  // namespace

ExportVideoDialog::ExportVideoDialog(QString song, QString program, QWidget* parent)
    : QDialog(parent),
      song_(std::move(song)),
      program_(program.isEmpty() ? findCommandLineTool() : std::move(program)),
      output_(new QLineEdit(defaultOutput(song_), this)),
      size_(new QComboBox(this)),
      fps_(new QComboBox(this)),
      progress_(new QProgressBar(this)),
      status_(new QLabel(this)),
      exportButton_(new QPushButton(QStringLiteral("Export"), this)),
      cancelButton_(new QPushButton(QStringLiteral("Close"), this)) {
    setWindowTitle(QStringLiteral("Export video"));
    auto* layout = new QVBoxLayout(this);
    auto* songLabel = new QLabel(QStringLiteral("Song: ") + QFileInfo(song_).fileName(), this);
    songLabel->setToolTip(song_);
    layout->addWidget(songLabel);
    auto* form = new QFormLayout;
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(output_);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    outputRow->addWidget(browse);
    form->addRow(QStringLiteral("Output file:"), outputRow);
    size_->setEditable(true);  // any size, typed as WxH
    size_->addItems({QStringLiteral("1280x720"), QStringLiteral("1920x1080"),
                     QStringLiteral("854x480"), QStringLiteral("640x360")});
    form->addRow(QStringLiteral("Size:"), size_);
    fps_->addItems(
        {QStringLiteral("25"), QStringLiteral("30"), QStringLiteral("50"), QStringLiteral("60")});
    fps_->setCurrentText(QStringLiteral("30"));
    form->addRow(QStringLiteral("Frames a second:"), fps_);
    layout->addLayout(form);
    progress_->setRange(0, kBarMax);
    progress_->setValue(0);
    progress_->setVisible(false);
    layout->addWidget(progress_);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(exportButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    exportButton_->setDefault(true);

    connect(browse, &QPushButton::clicked, this, [this] { this->browse(); });
    connect(exportButton_, &QPushButton::clicked, this, [this] { start(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel(); });
    connect(&process_, &QProcess::readyReadStandardOutput, this,
            [this] { readOutput(QProcess::StandardOutput); });
    connect(&process_, &QProcess::readyReadStandardError, this,
            [this] { readOutput(QProcess::StandardError); });
    connect(&process_, &QProcess::finished, this,
            [this](int code, QProcess::ExitStatus status) { ended(code, status); });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        lastWords_ = QStringLiteral("lyrvox-cdg could not be started: ") + process_.errorString();
        ended(-1, QProcess::CrashExit);
    });
}

ExportVideoDialog::~ExportVideoDialog() {
    // No export outlives its dialog; a killed child is reaped at once.
    disconnect(&process_, nullptr, this, nullptr);
    if (running()) {
        process_.kill();
        process_.waitForFinished(1000);
    }
}

ExportVideoDialog* ExportVideoDialog::openFor(const QString& song, QWidget* parent) {
    auto* dialog = new ExportVideoDialog(song, {}, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void ExportVideoDialog::setOutput(const QString& path) {
    output_->setText(path);
}

void ExportVideoDialog::setFrameSize(QSize size) {
    size_->setCurrentText(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
}

void ExportVideoDialog::setFramesPerSecond(int fps) {
    fps_->setCurrentText(QString::number(fps));
}

QStringList ExportVideoDialog::arguments() const {
    const QString out = output_->text().trimmed();
    QStringList args{QStringLiteral("video"),  song_,
                     QStringLiteral("-o"),     out,
                     QStringLiteral("--size"), size_->currentText().trimmed(),
                     QStringLiteral("--fps"),  fps_->currentText()};
    if (out.endsWith(QStringLiteral(".mkv"), Qt::CaseInsensitive))
        args << QStringLiteral("--format") << QStringLiteral("mkv");
    using Kind = BackgroundChoice::Kind;
    const BackgroundChoice& b = background_;
    if (b.kind == Kind::Colour) {
        args << QStringLiteral("--background") << b.colour.name(QColor::HexRgb);
    } else if (b.kind != Kind::None && !b.path.isEmpty()) {
        args << QStringLiteral("--background") << b.path;
        if (b.kind == Kind::Folder)
            args << QStringLiteral("--slide-seconds") << QString::number(b.periodSeconds);
    }
    if (args.contains(QStringLiteral("--background")) && b.clearColourTransparent)
        args << QStringLiteral("--transparent-background");
    args << QStringLiteral("--progress-lines");
    return args;
}

void ExportVideoDialog::browse() {
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export video to"), output_->text(),
                                     QStringLiteral("MP4 video (*.mp4);;Matroska video (*.mkv)"));
    if (!path.isEmpty()) output_->setText(path);
}

void ExportVideoDialog::start() {
    if (running()) return;
    lastWords_.clear();
    cancelled_ = false;
    pending_[0].clear();
    pending_[1].clear();
    const QString out = output_->text().trimmed();
    if (out.isEmpty()) {
        status_->setText(QStringLiteral("Choose the output file first."));
        return;
    }
    if (!sizeFrom(size_->currentText()).isValid()) {
        status_->setText(QStringLiteral("The size must be WIDTHxHEIGHT, e.g. 1280x720."));
        return;
    }
    if (program_.isEmpty()) {
        status_->setText(
            QStringLiteral("lyrvox-cdg was not found beside the player or on the "
                           "PATH; it writes the video."));
        return;
    }
    // Until the exporter reports a fraction the bar only shows that work goes on.
    progress_->setRange(0, 0);
    progress_->setVisible(true);
    status_->setText(QStringLiteral("Exporting to %1 ...").arg(QFileInfo(out).fileName()));
    setRunning(true);
    process_.start(program_, arguments());
}

void ExportVideoDialog::cancel() {
    if (!running()) {
        close();
        return;
    }
    cancelled_ = true;
    process_.kill();  // the finished signal reports it
}

void ExportVideoDialog::closeEvent(QCloseEvent* event) {
    if (running()) {
        cancelled_ = true;
        process_.kill();
    }
    QDialog::closeEvent(event);
}

void ExportVideoDialog::readOutput(QProcess::ProcessChannel channel) {
    process_.setReadChannel(channel);
    QByteArray& pending = pending_[channel == QProcess::StandardOutput ? 0 : 1];
    pending += process_.readAll();
    // A terminal's progress is often redrawn with carriage returns: those end lines too.
    for (;;) {
        const auto end = std::find_if(pending.begin(), pending.end(),
                                      [](char c) { return c == '\n' || c == '\r'; });
        if (end == pending.end()) break;
        const qsizetype length = end - pending.begin();
        takeLine(QString::fromLocal8Bit(pending.left(length)).trimmed());
        pending.remove(0, length + 1);
    }
}

void ExportVideoDialog::takeLine(const QString& line) {
    if (line.isEmpty()) return;
    // "progress 0.42" (a fraction), or a percentage like "42%" or "42.5 %".
    static const QRegularExpression fraction(QStringLiteral("^progress\\s+([0-9]*\\.?[0-9]+)$"));
    static const QRegularExpression percent(QStringLiteral("(\\d{1,3}(?:\\.\\d+)?)\\s*%"));
    double value = -1;
    if (const auto m = fraction.match(line); m.hasMatch()) {
        value = m.captured(1).toDouble();
    } else if (const auto p = percent.match(line); p.hasMatch()) {
        value = p.captured(1).toDouble() / 100.0;
    }
    if (value < 0) {
        lastWords_ = line;
        return;
    }
    progress_->setRange(0, kBarMax);
    progress_->setValue(static_cast<int>(std::clamp(value, 0.0, 1.0) * kBarMax + 0.5));
}

void ExportVideoDialog::ended(int exitCode, QProcess::ExitStatus status) {
    readOutput(QProcess::StandardOutput);
    readOutput(QProcess::StandardError);
    for (QByteArray& rest : pending_) {  // a last line without its newline
        takeLine(QString::fromLocal8Bit(rest).trimmed());
        rest.clear();
    }
    const bool written = !cancelled_ && status == QProcess::NormalExit && exitCode == 0;
    const QString out = QDir::toNativeSeparators(output_->text().trimmed());
    if (written) {
        progress_->setRange(0, kBarMax);
        progress_->setValue(kBarMax);
        status_->setText(QStringLiteral("Video written: %1").arg(out));
    } else if (cancelled_) {
        progress_->setVisible(false);
        status_->setText(QStringLiteral("Export cancelled."));
    } else {
        progress_->setVisible(false);
        const QString why = !lastWords_.isEmpty() ? lastWords_
                            : status == QProcess::CrashExit
                                ? QStringLiteral("the exporter crashed")
                                : QStringLiteral("exit status %1").arg(exitCode);
        status_->setText(QStringLiteral("Export failed: %1").arg(why));
    }
    setRunning(false);
    emit exportEnded(written);
}

void ExportVideoDialog::setRunning(bool on) {
    exportButton_->setEnabled(!on);
    output_->setEnabled(!on);
    size_->setEnabled(!on);
    fps_->setEnabled(!on);
    cancelButton_->setText(on ? QStringLiteral("Cancel") : QStringLiteral("Close"));
}

QString ExportVideoDialog::statusText() const {
    return status_->text();
}

}  // namespace lyrvox
