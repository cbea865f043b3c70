#pragma once
// Hands a GStreamer pipeline's bus messages to a QObject's thread. A handler in
// GStreamer's own threads moves each message to a queue here and posts one queued
// call to the receiver's thread, which then takes them all. Nothing polls, and
// nothing waits.
#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

namespace lyrvox {

class GstBusWatch {
  public:
    // Called on the receiver's thread for each message, which is unreffed after.
    using Handler = std::function<void(GstMessage*)>;
    GstBusWatch(QObject* receiver, Handler handler);
    ~GstBusWatch();
    GstBusWatch(const GstBusWatch&) = delete;
    GstBusWatch& operator=(const GstBusWatch&) = delete;

    void watch(GstElement* pipeline);
    // Stops watching the pipeline, which must be in its NULL state already (no
    // GStreamer thread then posts), and drops the messages not yet taken: the old
    // pipeline's news is no longer the receiver's.
    void unwatch(GstElement* pipeline);

  private:
    friend struct GstBusCallbacks;
    void take();
    void drop();

    QObject* receiver_;
    Handler handler_;
    std::mutex lock_;                    // the bus handler adds from GStreamer's threads
    std::vector<GstMessage*> messages_;  // owned: each is unreffed once taken or dropped
    std::atomic<bool> wakePosted_{false};
    unsigned watched_ = 0;  // counts unwatch() calls, on the receiver's thread
};

}  // namespace lyrvox
