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

struct BreakPlayerCallbacks {
    // Runs in whichever thread posted the message. Answering GST_BUS_DROP, the
    // handler owns the message and unrefs it.
    static GstBusSyncReply busMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* self = static_cast<BreakMusicPlayer*>(data);
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        gst_message_unref(message);
        if (type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS) {
            const unsigned track = self->track_.load();
            const bool error = type == GST_MESSAGE_ERROR;
            QMetaObject::invokeMethod(
                self, [self, track, error] { self->news(track, error); }, Qt::QueuedConnection);
        }
        return GST_BUS_DROP;
    }
};

BreakMusicPlayer::BreakMusicPlayer(QObject* parent, SinkMaker makeSink)
    : QObject(parent), makeSink_(std::move(makeSink)) {
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
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &BreakPlayerCallbacks::busMessage, this, nullptr);
    gst_object_unref(bus);
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
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_bus_set_flushing(bus, TRUE);
    gst_object_unref(bus);
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
