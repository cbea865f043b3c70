#pragma once
// The GStreamer side of the video export: which elements it needs, the sound's
// length, and the encoding pipeline (frames pushed into appsrc, through x264 into
// the muxer; the song's sound through the key and tempo chain and AAC beside them).
// Plain C++ over GStreamer; used by VideoExporter on its thread.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "playback/media/rubber_band_delay.h"
#include "video/video_exporter.h"

namespace lyrvox {

// Initialises GStreamer once for the process.
void ensureGstreamer();

// Empty when GStreamer has every element the export needs; otherwise which Debian
// package is missing.
std::string missingExportElements(const VideoExportOptions& options);

// The sound's own length in ns, by decoding its start; -1 when it cannot be told,
// with `error` set when the file cannot be decoded at all.
int64_t audioDurationNs(const std::string& path, const std::atomic<bool>& cancel,
                        std::string& error);

class ExportPipeline {
  public:
    ExportPipeline();
    ~ExportPipeline();  // stops and releases the pipeline
    ExportPipeline(const ExportPipeline&) = delete;
    ExportPipeline& operator=(const ExportPipeline&) = delete;

    // Builds the pipeline writing to `path`, with the sound of `audio` (empty: none),
    // frames of `frameBytes` each, and starts it. Empty, or what went wrong.
    std::string start(const VideoExportOptions& options, const std::string& audio,
                      const std::string& path, std::size_t frameBytes);

    // Hands a frame (PTS and duration set) to the encoder; false once it has stopped.
    bool push(GstBuffer* frame);
    // Whether the frames queued in front of the encoder are below the limit.
    bool hasRoom() const;
    // Waits up to `timeoutNs` for an error: empty when none came.
    std::string error(int64_t timeoutNs);
    // No more frames: the muxer finishes the file.
    void endFrames();
    // Waits up to `timeoutNs` for the file to be complete: true once written or
    // failed, with `failure` set on an error.
    bool finished(int64_t timeoutNs, std::string& failure);
    // Stops the pipeline: the file is complete once this returns after finished().
    void stop();

    // Where the sound ends on the video's time line as the audio encoder sends it
    // out (in whole AAC frames, what a player counts), and whether all of it has
    // passed.
    int64_t audioEndNs() const { return audioEnd_->endNs.load(); }
    bool audioEnded() const { return audioEnd_->ended.load(); }

  private:
    struct AudioEnd {
        std::atomic<int64_t> endNs{0};
        std::atomic<bool> ended{false};
    };
    static GstPadProbeReturn probeAudioEnd(GstPad* pad, GstPadProbeInfo* info, gpointer data);

    GstElement* pipeline_ = nullptr;
    GstAppSrc* frames_ = nullptr;
    std::size_t queueLimitBytes_ = 0;
    std::unique_ptr<AudioEnd> audioEnd_ = std::make_unique<AudioEnd>();
    // Takes Rubber Band's hold-back out of the sound; outlives the pipeline.
    RubberBandDelay shifterDelay_;
};

}  // namespace lyrvox
