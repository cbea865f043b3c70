#include "playback/media/break_music_player.h"

#include <gst/gst.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "playback/media/gst_file_uri.h"

namespace lyrvox {
namespace {

// playbin's flags: audio only, with its own volume element (the same on every sink).
constexpr guint kPlayAudio = 0x2;
constexpr guint kPlaySoftVolume = 0x10;

}  // namespace

BreakMusicPlayer::BreakMusicPlayer(QObject* parent, SinkMaker makeSink)
    : QObject(parent), makeSink_(std::move(makeSink)), bus_(this, [this](GstMessage* message) {
          const GstMessageType type = GST_MESSAGE_TYPE(message);
          if (type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS)
              news(track_.load(), type == GST_MESSAGE_ERROR);
      }) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
}

BreakMusicPlayer::~BreakMusicPlayer() {
    close();
}

void BreakMusicPlayer::open(const std::string& path) {
    close();
    path_ = path;
    const unsigned track = ++track_;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::access(path.c_str(), R_OK) != 0) {
        QMetaObject::invokeMethod(
            this, [this, track] { news(track, true); }, Qt::QueuedConnection);
        return;
    }
    pipeline_ = gst_element_factory_make("playbin", nullptr);
    if (pipeline_ == nullptr) {
        QMetaObject::invokeMethod(
            this, [this, track] { news(track, true); }, Qt::QueuedConnection);
        return;
    }
    g_object_set(pipeline_, "uri", gstFileUri(path).c_str(), "flags", kPlayAudio | kPlaySoftVolume,
                 "volume", volume_, nullptr);
    if (makeSink_) g_object_set(pipeline_, "audio-sink", makeSink_(), nullptr);
    bus_.watch(pipeline_);
    applyState();
}

void BreakMusicPlayer::play() {
    playing_ = true;
    applyState();
}

void BreakMusicPlayer::pause() {
    playing_ = false;
    applyState();
}

void BreakMusicPlayer::applyState() {
    if (pipeline_ == nullptr) return;
    if (gst_element_set_state(pipeline_, playing_ ? GST_STATE_PLAYING : GST_STATE_PAUSED) ==
        GST_STATE_CHANGE_FAILURE) {
        const unsigned track = track_.load();
        QMetaObject::invokeMethod(
            this, [this, track] { news(track, true); }, Qt::QueuedConnection);
    }
}

void BreakMusicPlayer::close() {
    ++track_;  // news of the track closed now is no longer ours
    if (pipeline_ == nullptr) return;
    // Stops GStreamer's threads first: after this no handler runs.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    bus_.unwatch(pipeline_);
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
}

void BreakMusicPlayer::setVolume(double volume) {
    volume_ = std::clamp(volume, 0.0, 1.0);
    if (pipeline_ != nullptr) g_object_set(pipeline_, "volume", volume_, nullptr);
}

double BreakMusicPlayer::pipelineVolume() const {
    if (pipeline_ == nullptr) return -1.0;
    gdouble volume = -1.0;
    g_object_get(pipeline_, "volume", &volume, nullptr);
    return volume;
}

void BreakMusicPlayer::news(unsigned track, bool error) {
    if (track != track_.load()) return;
    if (error) {
        if (pipeline_ != nullptr) gst_element_set_state(pipeline_, GST_STATE_NULL);
        emit failed();
    } else {
        emit ended();
    }
}

}  // namespace lyrvox
