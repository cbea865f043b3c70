#pragma once
// The player of the music between songs: a GStreamer playbin of its own, beside
// the songs' pipeline, audio only, one track at a time. Its volume is what the
// fade sets; it tells when a track is over or cannot play, and the caller picks
// the next.
//
// Event loop as GstMediaControl's (gst_bus_watch.h): the bus's news reaches this
// object's thread as a queued call, and a closed track's is dropped. A file that
// cannot be opened is told the same way, tagged with its track. Nothing polls or
// waits.
#include <QObject>
#include <atomic>
#include <functional>
#include <string>

#include "playback/media/gst_bus_watch.h"

typedef struct _GstElement GstElement;

namespace lyrvox {

class BreakMusicPlayer : public QObject {
    Q_OBJECT
  public:
    // Makes the element the sound goes to, for each track; none: the system's default.
    using SinkMaker = std::function<GstElement*()>;
    explicit BreakMusicPlayer(QObject* parent = nullptr, SinkMaker makeSink = {});
    ~BreakMusicPlayer() override;

    // Loads a track, playing at once if play() was the last command. A file that is
    // no readable file, or that GStreamer cannot play, is reported by failed(),
    // always later (from the event loop), never inside this call.
    void open(const std::string& path);
    void play();
    void pause();  // keeps the track and its place
    // The pipeline to its NULL state and gone: no GStreamer thread runs after this.
    void close();
    // 0..1, linear amplitude.
    void setVolume(double volume);

    bool isOpen() const { return pipeline_ != nullptr; }
    bool isPlaying() const { return playing_; }
    const std::string& path() const { return path_; }
    // The volume the pipeline holds now (-1 when closed); for checks.
    double pipelineVolume() const;

  signals:
    void ended();
    void failed();

  private:
    void news(unsigned track, bool error);
    void applyState();

    SinkMaker makeSink_;
    GstElement* pipeline_ = nullptr;
    std::string path_;
    bool playing_ = false;
    double volume_ = 1.0;
    std::atomic<unsigned> track_{0};  // counts open() and close() calls; tags the news
    GstBusWatch bus_;
};

}  // namespace lyrvox
