#pragma once
// What lies behind the picture in a video export: a colour (#rrggbb), an image, a
// folder of images shown in turn by name (a set number of seconds each), or a
// video played silently in a loop. Images and video are decoded through GStreamer
// and scaled to fill the picture's area (its shape not kept, as the player's
// display fills it), as rows of 0x00RRGGBB words. Plain C++ over GStreamer; one
// export's thread uses it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _GstSample GstSample;

namespace lyrvox {

class BackgroundFrames {
  public:
    BackgroundFrames();
    ~BackgroundFrames();
    BackgroundFrames(const BackgroundFrames&) = delete;
    BackgroundFrames& operator=(const BackgroundFrames&) = delete;

    // Whether `choice` names a colour: '#' and six hexadecimal digits.
    static bool isColour(const std::string& choice);
    // Empty when `choice` is a colour, or an image, folder of images or video that
    // can be read; otherwise why not (without the name).
    static std::string check(const std::string& choice);

    // Opens `choice` at width x height (its first picture decoded): empty, or why
    // it cannot be read.
    std::string open(const std::string& choice, int width, int height, int slideSeconds);

    // The picture behind the frame at `ns` on the video's time line (asked for in
    // increasing time); null before open(). serial() changes whenever it does.
    const uint32_t* at(int64_t ns);
    int64_t serial() const { return serial_; }

  private:
    class Decoder;
    std::string openOne(const std::string& path, bool moving);
    void advanceVideo(int64_t ns);

    enum class Kind { None, Colour, Image, Folder, Video };
    Kind kind_ = Kind::None;
    int width_ = 0;
    int height_ = 0;
    int64_t slideNs_ = 0;
    std::vector<std::string> slides_;
    std::size_t slide_ = 0;
    std::vector<uint32_t> pixels_;
    int64_t serial_ = 0;
    std::unique_ptr<Decoder> decoder_;
    // A video: where its current round began on the time line, the stream time of
    // the round's first frame and where its frames so far end after it; the next
    // frame, decoded before its time.
    int64_t loopStartNs_ = 0;
    int64_t firstPtsNs_ = 0;
    int64_t roundEndNs_ = 0;
    bool newRound_ = false;
    GstSample* pending_ = nullptr;
};

}  // namespace lyrvox
