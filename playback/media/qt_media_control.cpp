#include "playback/media/qt_media_control.h"

#include <QAudio>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>

#include "playback/media/audio_names.h"
#include "util/steady_clock.h"

#ifdef LYRVOX_HAVE_VIDEO_WIDGET
#include <QApplication>
#include <QVideoWidget>
#endif

namespace lyrvox {

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
    connect(player_, &QMediaPlayer::hasVideoChanged, this, [this](bool hasVideo) {
        if (hasVideo && status_.isOpen() && status_.error() == MediaError::None && videoWindow_ &&
            showsVideo()) {
            videoWindow_->setWindowTitle(QFileInfo(fileName_).fileName());
            videoWindow_->show();
        }
    });
    // The backend's news, as it comes: an end or a failure reaches the listener
    // through the status. Qt's player keeps reporting "playing" after an error, so
    // it is stopped here.
    const auto fail = [this] {
        if (!status_.isOpen() || status_.error() != MediaError::None) return;
        status_.failed(backendMs());
        player_->stop();
        if (videoWindow_) videoWindow_->hide();
    };
    connect(player_, &QMediaPlayer::errorOccurred, this,
            [fail](QMediaPlayer::Error error, const QString&) {
                if (error != QMediaPlayer::NoError) fail();
            });
    connect(player_, &QMediaPlayer::mediaStatusChanged, this,
            [this, fail](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::InvalidMedia) fail();
                if (status == QMediaPlayer::EndOfMedia) status_.ended(backendMs());
            });
}

QtMediaControl::~QtMediaControl() {
    close();
    delete videoWindow_;
}

MediaState QtMediaControl::state() {
    return status_.state();
}

MediaError QtMediaControl::error() {
    return status_.error();
}

int32_t QtMediaControl::positionMs() {
    return status_.positionMs(steadyMilliseconds(), backendMs());
}

void QtMediaControl::open(const std::string& path, bool /*alternativeDevice*/) {
    close();
    fileName_ = QString::fromStdString(path);
    status_.opened();
    // A missing or unreadable file is known at once; anything else the backend
    // finds out while loading and reports through its signals.
    const QFileInfo info(fileName_);
    if (!info.isFile() || !info.isReadable()) {
        status_.refused(MediaError::Unreadable);
        return;
    }
    attachVideoWindow();
    player_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
}

// A video window only for media that may be video, and only where widgets exist
// (QApplication): a headless QGuiApplication plays the sound of a video alone. It
// is set before the medium is loaded, while the player is idle.
void QtMediaControl::attachVideoWindow() {
#ifdef LYRVOX_HAVE_VIDEO_WIDGET
    const bool widgets = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (widgets && showsVideo()) {
        if (!videoWindow_) {
            auto* window = new QVideoWidget;
            window->resize(640, 480);
            videoWindow_ = window;
        }
        player_->setVideoOutput(videoWindow_);
        return;
    }
    if (videoWindow_) player_->setVideoOutput(static_cast<QObject*>(nullptr));
#endif
}

void QtMediaControl::play() {
    if (!status_.canStart()) return;
    status_.started(steadyMilliseconds());
    player_->play();
}

void QtMediaControl::pause() {
    if (!status_.isPlaying()) return;
    status_.halted(steadyMilliseconds(), backendMs());  // where the listener heard it stop
    player_->pause();
}

void QtMediaControl::stop() {
    pause();  // the medium stays open (and where it stopped) until close()
}

void QtMediaControl::close() {
    if (status_.isOpen()) {
        // First: the backend's signals from here on are not ours.
        status_.closed();
        player_->stop();
        player_->setSource(QUrl());
    }
    if (videoWindow_) videoWindow_->hide();
}

double QtMediaControl::backendMs() const {
    return static_cast<double>(player_->position());
}

// Songs' audio files may carry a cover picture that the backend offers as a video
// stream; only media that are not plain audio get a video window.
bool QtMediaControl::showsVideo() const {
    return !isAudioName(fileName_.toStdString());
}

void QtMediaControl::setVolume(int percent) {
    const float cubic = static_cast<float>(std::clamp(percent, 0, 100)) / 100.0f;
    audio_->setVolume(
        QAudio::convertVolume(cubic, QAudio::CubicVolumeScale, QAudio::LinearVolumeScale));
}

}  // namespace lyrvox
