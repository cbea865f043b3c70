#include "playback/qt_media_control.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

#ifdef LYRVOX_HAVE_VIDEO_WIDGET
#include <QApplication>
#include <QVideoWidget>
#endif

namespace lyrvox {

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

void QtMediaControl::preferGStreamerBackend() {
    const QByteArray current = qgetenv("QT_MEDIA_BACKEND");
    if (current.isEmpty() || current.compare("ffmpeg", Qt::CaseInsensitive) == 0) {
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    }
}

QtMediaControl::QtMediaControl(QObject* parent) : QObject(parent) {
    preferGStreamerBackend();
    player_ = new QMediaPlayer(this);
    audio_ = new QAudioOutput(this);
    player_->setAudioOutput(audio_);
#ifdef LYRVOX_HAVE_VIDEO_WIDGET
    // Widgets exist only under QApplication; a headless QGuiApplication plays the
    // sound of a video alone.
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        auto* window = new QVideoWidget;
        window->setWindowTitle(QStringLiteral("lyrvox"));
        window->resize(640, 480);
        videoWindow_ = window;
        player_->setVideoOutput(window);
        connect(player_, &QMediaPlayer::hasVideoChanged, this, [this](bool hasVideo) {
            if (hasVideo && open_ && !failed_) {
                videoWindow_->setWindowTitle(QFileInfo(fileName_).fileName());
                videoWindow_->show();
            }
        });
    }
#endif
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error error, const QString&) {
                if (error != QMediaPlayer::NoError && open_) fail();
            });
    connect(player_, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (!open_) return;
                if (status == QMediaPlayer::InvalidMedia) fail();
                if (status == QMediaPlayer::EndOfMedia) reachEnd();
            });
}

QtMediaControl::~QtMediaControl() {
    close();
    delete videoWindow_;
}

void QtMediaControl::Command(const std::string& command) {
    const std::string name = lowerAscii(command);
    if (name == "open") {
        open();
    } else if (name == "play") {
        play();
    } else if (name == "stop") {
        halt();
    } else if (name == "close") {
        close();
    }
}

void QtMediaControl::DeviceType(const std::string& type) {
    deviceType_ = type;
}
void QtMediaControl::TimeFormat(int format) {
    timeFormat_ = format;
}
void QtMediaControl::FileName(const std::string& path) {
    fileName_ = QString::fromStdString(path);
}
// "Play" never blocks, whatever Wait says: the window thread must stay live.
void QtMediaControl::Wait(bool wait) {
    wait_ = wait;
}

int QtMediaControl::Mode() {
    return playing_ ? kModePlaying : kModeStopped;
}

int32_t QtMediaControl::Position() {
    const double ms = std::floor(smoothPosition());
    return static_cast<int32_t>(std::clamp(ms, 0.0, double{std::numeric_limits<int32_t>::max()}));
}

bool QtMediaControl::Failed() {
    return failed_;
}

void QtMediaControl::open() {
    close();
    open_ = true;
    // A missing or unreadable file is known at once; anything else the backend
    // finds out while loading and reports through its signals.
    const QFileInfo info(fileName_);
    if (!info.isFile() || !info.isReadable()) {
        failed_ = true;
        return;
    }
    player_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
}

void QtMediaControl::play() {
    if (!open_ || failed_ || ended_ || playing_) return;
    anchorMs_ = lastReturnedMs_;
    anchorTime_ = Clock::now();
    playing_ = true;
    player_->play();
}

void QtMediaControl::halt() {
    if (!playing_) return;
    smoothPosition();  // freeze where the listener heard it stop
    playing_ = false;
    player_->pause();
}

void QtMediaControl::close() {
    if (open_) {
        open_ = false;  // first: the backend's signals from here on are not ours
        player_->stop();
        player_->setSource(QUrl());
    }
    if (videoWindow_) videoWindow_->hide();
    playing_ = false;
    ended_ = false;
    failed_ = false;
    anchorMs_ = 0.0;
    lastReturnedMs_ = 0.0;
}

void QtMediaControl::fail() {
    if (failed_) return;
    if (playing_) smoothPosition();
    failed_ = true;
    playing_ = false;
    // QMediaPlayer keeps reporting "playing" after an error; make sure it is not.
    player_->stop();
    if (videoWindow_) videoWindow_->hide();
}

void QtMediaControl::reachEnd() {
    if (playing_) smoothPosition();
    lastReturnedMs_ = std::max(lastReturnedMs_, static_cast<double>(player_->position()));
    playing_ = false;
    ended_ = true;
}

double QtMediaControl::smoothPosition() {
    if (!playing_) return lastReturnedMs_;
    const Clock::time_point now = Clock::now();
    double ms = anchorMs_ + std::chrono::duration<double, std::milli>(now - anchorTime_).count();
    const auto backend = static_cast<double>(player_->position());
    if (std::fabs(ms - backend) > kResyncMs) {
        anchorMs_ = backend;
        anchorTime_ = now;
        ms = backend;
    }
    lastReturnedMs_ = std::max(ms, lastReturnedMs_);
    return lastReturnedMs_;
}

}  // namespace lyrvox
