#pragma once
// A CD+G song to a video file: every frame the exact picture at its moment (see
// frame_time.h), H.264 video and AAC audio in MP4 or Matroska, encoded through
// GStreamer. The sound goes through the player's key and tempo chain. The output
// appears under its name only when whole: it is written under a hidden temporary
// name in the same folder and renamed at the end; a failure or a cancel removes it.
//
// Plain C++ over GStreamer, no Qt. run() works on the calling thread until the file
// is written; a program with a user interface calls it on a worker thread and
// cancels through the flag. Several exporters may run at once on their own threads.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace lyrvox {

enum class VideoContainer { Mp4, Matroska };

struct VideoExportOptions {
    // A .cdg (its audio partner found beside it as the player finds it), that
    // partner itself, or an MP3+G zip.
    std::string song;
    std::string output;
    std::string scratchRoot;  // where zips are unpacked; empty: the player's own place
    VideoContainer container = VideoContainer::Mp4;
    int width = 1280;      // even, 16 to 7680
    int height = 720;      // even, 16 to 4320
    int fps = 30;          // 25, 30, 50 or 60
    bool stretch = false;  // fill the frame instead of keeping the picture's shape
    // 4:4:4 colour (H.264's High 4:4:4 profile): every pixel keeps its own colour,
    // where 4:2:0 blurs colour edges; computers' players decode it, many televisions not.
    bool fullChroma = false;
    int semitones = 0;       // key, -12..12
    int tempoPercent = 100;  // 50..200
    int offsetMs = 0;        // positive: the picture later than the sound
    // What shows where the song's colours are transparent: empty (nothing: the
    // picture as it is), a colour "#rrggbb", an image, a folder of images shown in
    // turn for slideSeconds each, or a video played in a loop (background_frames.h).
    std::string background;
    int slideSeconds = 10;  // 1 to 3600
    // In songs that mark no colour transparent, the colour of the last memory preset
    // shows the background.
    bool transparentBackground = false;
};

struct VideoExportResult {
    enum class Outcome { Written, Cancelled, Failed };
    Outcome outcome = Outcome::Failed;
    std::string message;     // why it failed, a sentence for the user (no file names)
    bool withAudio = false;  // false for graphics without an audio partner
    int64_t frames = 0;
    double seconds = 0.0;  // the video's length
};

class VideoExporter {
  public:
    // done: 0 to 1. Called on the exporting thread.
    using Progress = std::function<void(double done)>;

    // Empty when the options can be exported; otherwise what is wrong with them.
    static std::string checkOptions(const VideoExportOptions& options);
    // Empty when GStreamer has every element the export needs; otherwise which
    // Debian package is missing.
    static std::string missingElements(const VideoExportOptions& options);
    // Empty when the options' background can be shown; otherwise why not (without
    // its name).
    static std::string checkBackground(const VideoExportOptions& options);

    VideoExportResult run(const VideoExportOptions& options, const std::atomic<bool>& cancel,
                          const Progress& progress = {});
};

}  // namespace lyrvox
