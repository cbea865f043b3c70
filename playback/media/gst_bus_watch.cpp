#include "playback/media/gst_bus_watch.h"

#include <gst/gst.h>

#include <utility>

namespace lyrvox {

struct GstBusCallbacks {
    // Runs in whichever thread posted the message: queues it here and wakes the
    // receiver's thread. Queued before the wake-up is posted, so that a wake-up
    // already under way when it came cannot miss it. A handler that answers
    // GST_BUS_DROP owns the message: the queue keeps the poster's reference and
    // unrefs it once taken. (A reference of its own would keep each message, its
    // source and so the pipeline with its bus alive for ever: two sockets and half a
    // megabyte a song.)
    static GstBusSyncReply busMessage(GstBus*, GstMessage* message, gpointer data) {
        auto* self = static_cast<GstBusWatch*>(data);
        {
            const std::lock_guard lock(self->lock_);
            self->messages_.push_back(message);
        }
        if (!self->wakePosted_.exchange(true)) {
            QMetaObject::invokeMethod(
                self->receiver_, [self] { self->take(); }, Qt::QueuedConnection);
        }
        return GST_BUS_DROP;
    }
};

GstBusWatch::GstBusWatch(QObject* receiver, Handler handler)
    : receiver_(receiver), handler_(std::move(handler)) {}

GstBusWatch::~GstBusWatch() {
    drop();
}

void GstBusWatch::watch(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, &GstBusCallbacks::busMessage, this, nullptr);
    gst_object_unref(bus);
}

void GstBusWatch::unwatch(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_bus_set_flushing(bus, TRUE);
    gst_object_unref(bus);
    ++watched_;
    drop();
}

void GstBusWatch::take() {
    wakePosted_.store(false);
    std::vector<GstMessage*> taken;
    {
        const std::lock_guard lock(lock_);
        taken.swap(messages_);
    }
    // A handler may close the pipeline and open another: the rest of the batch is
    // then the old one's news, dropped.
    const unsigned watched = watched_;
    for (GstMessage* message : taken) {
        if (watched == watched_) handler_(message);
        gst_message_unref(message);
    }
}

void GstBusWatch::drop() {
    const std::lock_guard lock(lock_);
    for (GstMessage* message : messages_) gst_message_unref(message);
    messages_.clear();
}

}  // namespace lyrvox
