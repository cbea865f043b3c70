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
        if (hasVideo && open_ && error_ == MediaError::None && videoWindow_ && showsVideo()) {
            videoWindow_->setWindowTitle(QFileInfo(fileName_).fileName());
            videoWindow_->show();
        }
    });
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

MediaState QtMediaControl::state() {
    if (!open_) return MediaState::Closed;
    if (error_ != MediaError::None) return MediaState::Failed;
    if (ended_) return MediaState::Ended;
    return playing_ ? MediaState::Playing : MediaState::Stopped;
}

MediaError QtMediaControl::error() {
    return error_;
}

int32_t QtMediaControl::positionMs() {
    const double ms = std::floor(position_.read(steadyMilliseconds(), backendMs()));
    return static_cast<int32_t>(std::clamp(ms, 0.0, double{std::numeric_limits<int32_t>::max()}));
}

void QtMediaControl::open(const std::string& path, bool /*alternativeDevice*/) {
    close();
    fileName_ = QString::fromStdString(path);
    open_ = true;
    // A missing or unreadable file is known at once; anything else the backend
    // finds out while loading and reports through its signals.
    const QFileInfo info(fileName_);
    if (!info.isFile() || !info.isReadable()) {
        error_ = MediaError::Unreadable;
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
    if (!open_ || error_ != MediaError::None || ended_ || playing_) return;
    playing_ = true;
    position_.run(steadyMilliseconds());
    player_->play();
}

void QtMediaControl::pause() {
    if (!playing_) return;
    position_.halt(steadyMilliseconds(), backendMs());  // where the listener heard it stop
    playing_ = false;
    player_->pause();
}

void QtMediaControl::stop() {
    pause();  // the medium stays open (and where it stopped) until close()
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
    error_ = MediaError::None;
    position_.reset();
}

void QtMediaControl::fail() {
    if (error_ != MediaError::None) return;
    // Once the backend itself has reported play time, the file has been heard: what
    // failed is the way to the listener (the sound server went away), not the file.
    const double backend = backendMs();
    position_.halt(steadyMilliseconds(), backend);
    error_ = backend > 0.0 ? MediaError::OutputLost : MediaError::Unplayable;
    playing_ = false;
    // QMediaPlayer keeps reporting "playing" after an error; make sure it is not.
    player_->stop();
    if (videoWindow_) videoWindow_->hide();
}

void QtMediaControl::reachEnd() {
    const double backend = backendMs();
    position_.halt(steadyMilliseconds(), backend);
    position_.holdAt(backend);
    playing_ = false;
    ended_ = true;
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
