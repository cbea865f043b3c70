#include "video/video_exporter.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "playback/archive/song_zip.h"
#include "playback/cdg/cdg_machine.h"
#include "playback/disk_files.h"
#include "playback/media/key_tempo_filter.h"
#include "playback/song_files.h"
#include "util/replacing_file.h"
#include "video/frame_painter.h"
#include "video/frame_time.h"

namespace lyrvox {
namespace {

constexpr int64_t kSecondNs = 1'000'000'000;
// Graphics are read whole: 64 MiB is two and a half hours of CD+G.
constexpr std::streamoff kMaxGraphicsBytes = std::streamoff{64} << 20;
// Frames waiting in front of the encoder before the painting pauses.
constexpr int kQueuedFrames = 8;

// x264's "veryfast" preset at constant quality 14, as x264 itself sets it up (the
// element's own defaults would cap the bitrate at 2 Mbit/s and use trellis, which
// the preset leaves off) and a key frame at least every 250 frames: CD+G pictures
// are flat colours with sharp edges, which this keeps clean at a small size. The
// benchmark gives FFmpeg the same settings.
std::string videoChain(bool fullChroma) {
    return std::string(
               "appsrc name=frames format=time ! "
               "x264enc speed-preset=veryfast trellis=false pass=qual quantizer=14 "
               "vbv-buf-capacity=0 key-int-max=250 ! "
               "video/x-h264,profile=") +
           (fullChroma ? "high-4:4:4" : "high") +
           " ! h264parse ! queue max-size-buffers=0 max-size-bytes=0 "
           "max-size-time=10000000000 ! mux. ";
}

struct Element {
    const char* name;
    const char* package;
};

const char* aacEncoder() {
    // FFmpeg's own AAC encoder first (what FFmpeg uses too), VisualOn's otherwise.
    return installedElement("avenc_aac") ? "avenc_aac" : "voaacenc";
}

std::vector<Element> neededElements(const VideoExportOptions& options) {
    std::vector<Element> needed = {
        {"appsrc", "gstreamer1.0-plugins-base"},
        {"x264enc", "gstreamer1.0-plugins-ugly"},
        {"h264parse", "gstreamer1.0-plugins-bad"},
        {options.container == VideoContainer::Mp4 ? "mp4mux" : "matroskamux",
         "gstreamer1.0-plugins-good"},
        {"decodebin", "gstreamer1.0-plugins-base"},
        {"aacparse", "gstreamer1.0-plugins-good"},
    };
    needed.push_back(installedElement("avenc_aac")
                         ? Element{"avenc_aac", "gstreamer1.0-libav"}
                         : Element{"voaacenc", "gstreamer1.0-plugins-bad"});
    if (options.semitones != 0 || options.tempoPercent != 100)
        needed.push_back({"pitch", "gstreamer1.0-plugins-bad"});
    return needed;
}

void ensureGstreamer() {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
}

struct UnrefObject {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct UnrefMessage {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessagePtr = std::unique_ptr<GstMessage, UnrefMessage>;

// A pipeline that is stopped and released however the export ends.
class Pipeline {
  public:
    explicit Pipeline(GstElement* element) : element_(element) {
        if (element_ != nullptr) bus_ = gst_element_get_bus(element_);
    }
    ~Pipeline() {
        if (element_ == nullptr) return;
        gst_element_set_state(element_, GST_STATE_NULL);
        gst_object_unref(bus_);
        gst_object_unref(element_);
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    GstElement* get() const { return element_; }
    GstElement* byName(const char* name) const {
        GstElement* found = gst_bin_get_by_name(GST_BIN(element_), name);
        if (found != nullptr) gst_object_unref(found);  // the pipeline holds it
        return found;
    }
    // The next message of `types`, waiting up to `timeoutNs` (0: only a look).
    MessagePtr pop(GstMessageType types, GstClockTime timeoutNs) const {
        return MessagePtr(gst_bus_timed_pop_filtered(bus_, timeoutNs, types));
    }

  private:
    GstElement* element_;
    GstBus* bus_ = nullptr;
};

std::string errorText(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

// The audio's own length in ns, by decoding its start; -1 when it cannot be told,
// with `error` set when the file cannot be decoded at all.
int64_t audioDurationNs(const std::string& path, const std::atomic<bool>& cancel,
                        std::string& error) {
    Pipeline pipeline(gst_parse_launch("filesrc name=audio ! decodebin ! fakesink", nullptr));
    if (pipeline.get() == nullptr) return -1;
    g_object_set(pipeline.byName("audio"), "location", path.c_str(), nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    for (int waited = 0; waited < 300 && !cancel; ++waited) {
        MessagePtr message =
            pipeline.pop(static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR),
                         100 * GST_MSECOND);
        if (!message) continue;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            error = errorText(message.get());
            return -1;
        }
        gint64 duration = -1;
        if (!gst_element_query_duration(pipeline.get(), GST_FORMAT_TIME, &duration)) return -1;
        return duration;
    }
    return -1;
}

// Where the sound ends on the video's time line, as the audio encoder sends it out
// (after the key and tempo chain, in whole AAC frames of 1024 samples, which is
// what a player counts); `ended` once all of it has passed.
struct AudioEnd {
    std::atomic<int64_t> endNs{0};
    std::atomic<bool> ended{false};

    static GstPadProbeReturn probe(GstPad*, GstPadProbeInfo* info, gpointer data) {
        auto* self = static_cast<AudioEnd*>(data);
        if ((info->type & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
            GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
            if (GST_BUFFER_PTS_IS_VALID(buffer)) {
                const auto end = static_cast<int64_t>(
                    GST_BUFFER_PTS(buffer) +
                    (GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0));
                if (end > self->endNs) self->endNs = end;
            }
        } else if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
            self->ended = true;
        }
        return GST_PAD_PROBE_OK;
    }
};

// Frame memory used again once the encoder lets go of it: fresh blocks of a few
// megabytes a frame would each cost the kernel a round of page clearing, and a
// block used again needs only the rows that changed since it was last filled (a
// karaoke wipe changes a few rows a frame). A block comes back only when no buffer
// holds it any more (repeats of a frame share it). Outlives the pipeline.
class FrameBlocks {
  public:
    FrameBlocks(int width, int height, bool fullChroma)
        : width_(static_cast<std::size_t>(width)),
          height_(static_cast<std::size_t>(height)),
          fullChroma_(fullChroma),
          size_(width_ * height_ * 3 / (fullChroma ? 1 : 2)) {}
    ~FrameBlocks() {
        for (Block* block : free_) delete block;
    }
    FrameBlocks(const FrameBlocks&) = delete;
    FrameBlocks& operator=(const FrameBlocks&) = delete;

    std::size_t size() const { return size_; }

    // A buffer holding the painter's frame.
    GstBuffer* buffer(const FramePainter& painter) {
        Block* block = nullptr;
        {
            const std::lock_guard lock(mutex_);
            if (!free_.empty()) {
                block = free_.back();
                free_.pop_back();
            }
        }
        if (block == nullptr) block = new Block{this, std::vector<uint8_t>(size_), -1};
        const std::vector<int64_t>& rows = painter.rowGenerations();
        const uint8_t* from = painter.yuv().data();
        uint8_t* to = block->bytes.data();
        const std::size_t chromaWidth = fullChroma_ ? width_ : width_ / 2;
        const std::size_t chromaRows = fullChroma_ ? height_ : height_ / 2;
        const std::size_t plane = width_ * height_;
        for (std::size_t y = 0; y < height_; ++y) {
            if (rows[y] <= block->generation) continue;
            std::copy_n(from + y * width_, width_, to + y * width_);
            const std::size_t c = fullChroma_ ? y : y / 2;
            if (!fullChroma_ && y % 2 == 1) continue;  // its chroma row came with the row above
            for (std::size_t p = 0; p < 2; ++p) {
                const std::size_t at = plane + p * chromaWidth * chromaRows + c * chromaWidth;
                std::copy_n(from + at, chromaWidth, to + at);
            }
        }
        block->generation = painter.generation();
        return gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, to, size_, 0, size_, block,
                                           &FrameBlocks::giveBack);
    }

  private:
    struct Block {
        FrameBlocks* owner;
        std::vector<uint8_t> bytes;
        int64_t generation;  // the painter's count when last filled
    };
    static void giveBack(gpointer data) {  // in whichever thread freed the memory
        auto* block = static_cast<Block*>(data);
        const std::lock_guard lock(block->owner->mutex_);
        block->owner->free_.push_back(block);
    }

    std::size_t width_;
    std::size_t height_;
    bool fullChroma_;
    std::size_t size_;
    std::mutex mutex_;
    std::vector<Block*> free_;
};

bool readGraphics(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxGraphicsBytes) return false;
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)));
}

VideoExportResult failed(std::string message) {
    VideoExportResult result;
    result.outcome = VideoExportResult::Outcome::Failed;
    result.message = std::move(message);
    return result;
}

VideoExportResult cancelled() {
    VideoExportResult result;
    result.outcome = VideoExportResult::Outcome::Cancelled;
    result.message = "cancelled";
    return result;
}

}  // namespace

std::string VideoExporter::checkOptions(const VideoExportOptions& options) {
    if (options.width < 16 || options.width > 7680 || options.height < 16 ||
        options.height > 4320 || options.width % 2 != 0 || options.height % 2 != 0)
        return "the size must be even numbers from 16x16 to 7680x4320";
    if (options.fps != 25 && options.fps != 30 && options.fps != 50 && options.fps != 60)
        return "the frame rate must be 25, 30, 50 or 60";
    if (options.semitones < -12 || options.semitones > 12)
        return "the key must be from -12 to 12 semitones";
    if (options.tempoPercent < 50 || options.tempoPercent > 200)
        return "the tempo must be from 50 to 200 percent";
    if (options.offsetMs < -5000 || options.offsetMs > 5000)
        return "the offset must be from -5000 to 5000 ms";
    return {};
}

std::string VideoExporter::missingElements(const VideoExportOptions& options) {
    ensureGstreamer();
    std::string missing;
    for (const Element& element : neededElements(options)) {
        if (installedElement(element.name)) continue;
        missing += std::string(missing.empty() ? "" : "; ") + "GStreamer's " + element.name +
                   " is missing (Debian package " + element.package + ")";
    }
    return missing;
}

VideoExportResult VideoExporter::run(const VideoExportOptions& options,
                                     const std::atomic<bool>& cancel, const Progress& progress) {
    if (std::string problem = checkOptions(options); !problem.empty()) return failed(problem);
    if (std::string missing = missingElements(options); !missing.empty()) return failed(missing);

    // The song's files; a zip's stay unpacked while `unpacked` lives.
    DiskSessionFiles files(options.scratchRoot.empty() ? ScratchSpace::defaultRoot()
                                                       : options.scratchRoot);
    UnpackedSong unpacked;
    std::string graphics;
    std::string audio;
    if (isZipName(options.song)) {
        unpacked = files.unpackZip(options.song);
        if (!unpacked.error.empty()) return failed(unpacked.error);
        graphics = unpacked.graphics;
        audio = unpacked.audio;
    } else {
        if (!files.find(options.song)) return failed("cannot be read");
        const SongFiles song = findSongFiles(options.song, files);
        graphics = song.graphics;
        if (song.audioPaces) audio = song.audio;
    }
    if (graphics.empty()) return failed("has no CD+G graphics");
    std::vector<uint8_t> packets;
    if (!readGraphics(graphics, packets)) return failed("its graphics cannot be read");
    const auto packetCount = static_cast<int64_t>(packets.size() / kPacketSize);

    // The video lasts as long as the sound (the graphics follow it), or, for
    // graphics alone, until the last packet has been shown. The sound's length is
    // known exactly only once it has been decoded: the estimate from its start
    // serves the progress until then.
    int64_t songNs = packetCount * kSecondNs / kPacketsPerSecond +
                     std::max(options.offsetMs, 0) * int64_t{1'000'000};
    if (!audio.empty()) {
        std::string audioError;
        const int64_t audioNs = audioDurationNs(audio, cancel, audioError);
        if (cancel) return cancelled();
        if (!audioError.empty()) return failed("its audio cannot be decoded: " + audioError);
        if (audioNs > 0) songNs = audioNs;
    }
    const int64_t frames = std::max<int64_t>(
        1, framesCovering(outputNsForSong(songNs, options.tempoPercent), options.fps));

    ReplacingFile output(options.output);
    if (const std::error_code error = output.open())
        return failed("cannot write the video: " + error.message());

    std::string description = videoChain(options.fullChroma);
    description += options.container == VideoContainer::Mp4
                       ? "mp4mux name=mux faststart=true ! filesink name=sink "
                       : "matroskamux name=mux ! filesink name=sink ";
    const bool keyOrTempo = options.semitones != 0 || options.tempoPercent != 100;
    // Rubber Band only for a key change: at the song's own key SoundTouch alone
    // stretches, and the shifter's hold-back (some 300 ms) stays out of the sound.
    const bool rubberBand = options.semitones != 0 && installedElement(kRubberBandElement);
    if (!audio.empty()) {
        description += "filesrc name=audio ! decodebin ! ";
        if (keyOrTempo)
            description += "audioconvert ! audioresample ! " +
                           std::string(keyTempoDescription(rubberBand)) + " ! ";
        description += std::string("audioconvert ! audioresample ! ") + aacEncoder() +
                       " name=aacenc bitrate=192000 ! aacparse ! "
                       "queue max-size-buffers=0 max-size-bytes=0 max-size-time=10000000000 ! "
                       "mux.";
    }
    FrameBlocks blocks(options.width, options.height, options.fullChroma);  // outlives the pipeline
    const std::size_t frameBytes = blocks.size();
    GError* parseError = nullptr;
    Pipeline pipeline(gst_parse_launch(description.c_str(), &parseError));
    if (parseError != nullptr || pipeline.get() == nullptr) {
        const std::string text = parseError != nullptr ? parseError->message : "no pipeline";
        g_clear_error(&parseError);
        return failed("GStreamer cannot make the encoder: " + text);
    }
    g_object_set(pipeline.byName("sink"), "location", output.temporaryPath().c_str(), nullptr);
    if (!audio.empty()) {
        g_object_set(pipeline.byName("audio"), "location", audio.c_str(), nullptr);
        if (keyOrTempo) {
            applyKeyTempo(pipeline.byName(kKeyTempoName),
                          rubberBand ? pipeline.byName(kKeyShiftName) : nullptr,
                          keyTempoSetting(options.semitones, options.tempoPercent, rubberBand));
        }
    }
    AudioEnd audioEnd;
    if (!audio.empty()) {
        GstPad* pad = gst_element_get_static_pad(pipeline.byName("aacenc"), "src");
        gst_pad_add_probe(pad,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &AudioEnd::probe, &audioEnd, nullptr);
        gst_object_unref(pad);
    }
    auto* source = GST_APP_SRC(pipeline.byName("frames"));
    GstCaps* caps = gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, options.fullChroma ? "Y444" : "I420", "width",
        G_TYPE_INT, options.width, "height", G_TYPE_INT, options.height, "framerate",
        GST_TYPE_FRACTION, options.fps, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
        "colorimetry", G_TYPE_STRING, "bt709", nullptr);
    gst_app_src_set_caps(source, caps);
    gst_caps_unref(caps);
    gst_app_src_set_max_bytes(source, frameBytes * kQueuedFrames);
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return failed("GStreamer cannot start the encoder");

    const auto errorOrEos = static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS);
    auto machine = std::make_unique<CdgMachine>();  // ~200 KB: keep it off the stack
    machine->beginSession();
    FramePainter painter(options.width, options.height, options.stretch, options.fullChroma);
    GstBuffer* picture = nullptr;  // the latest frame's pixels, shared by repeats
    int64_t interpreted = 0;
    int64_t written = 0;
    auto pushFrames = [&]() -> VideoExportResult {
        const GstClockTime halfFrame = gst_util_uint64_scale(1, GST_SECOND, 2 * options.fps);
        for (int64_t k = 0;; ++k) {
            if (cancel) return cancelled();
            const GstClockTime start = gst_util_uint64_scale(k, GST_SECOND, options.fps);
            if (!audio.empty()) {
                // A frame only where the sound reaches: until the sound has gone
                // past this frame's start (or ended), the frame waits. The muxer
                // takes the earlier stream first, so the sound does come on.
                while (!audioEnd.ended &&
                       static_cast<int64_t>(start + halfFrame) >= audioEnd.endNs) {
                    if (cancel) return cancelled();
                    if (MessagePtr message = pipeline.pop(errorOrEos, 2 * GST_MSECOND))
                        return failed("encoding failed: " + errorText(message.get()));
                }
            }
            if (audio.empty() || audioEnd.endNs == 0) {
                if (k >= frames) break;  // graphics alone, or a sound with no samples
            } else if (static_cast<int64_t>(start + halfFrame) >= audioEnd.endNs) {
                break;  // the picture ends at the frame edge nearest the sound's end
            }
            written = k + 1;
            const int64_t target =
                std::min(framePacketCount(k, options.fps, options.tempoPercent, options.offsetMs),
                         packetCount);
            if (target > interpreted) {
                interpretPackets(*machine, packets.data() + interpreted * kPacketSize,
                                 static_cast<std::size_t>(target - interpreted) * kPacketSize);
                interpreted = target;
            }
            if (painter.paint(*machine) || picture == nullptr) {
                if (picture != nullptr) gst_buffer_unref(picture);
                picture = blocks.buffer(painter);
            }
            GstBuffer* frame = gst_buffer_copy(picture);  // shares the pixels
            GST_BUFFER_PTS(frame) = start;
            GST_BUFFER_DURATION(frame) =
                gst_util_uint64_scale(k + 1, GST_SECOND, options.fps) - start;
            if (gst_app_src_push_buffer(source, frame) != GST_FLOW_OK)
                return failed("the encoder stopped");
            // Paints no further ahead of the encoder than a few frames.
            for (;;) {
                if (MessagePtr message = pipeline.pop(errorOrEos, 0))
                    return failed("encoding failed: " + errorText(message.get()));
                if (cancel) return cancelled();
                if (gst_app_src_get_current_level_bytes(source) < frameBytes * kQueuedFrames) break;
                if (MessagePtr message = pipeline.pop(errorOrEos, 2 * GST_MSECOND))
                    return failed("encoding failed: " + errorText(message.get()));
            }
            if (progress)
                progress(std::min(0.99, static_cast<double>(k + 1) / static_cast<double>(frames)));
        }
        gst_app_src_end_of_stream(source);
        for (;;) {
            if (cancel) return cancelled();
            MessagePtr message = pipeline.pop(errorOrEos, 50 * GST_MSECOND);
            if (!message) continue;
            if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR)
                return failed("encoding failed: " + errorText(message.get()));
            VideoExportResult done;
            done.outcome = VideoExportResult::Outcome::Written;
            return done;
        }
    };
    VideoExportResult result = pushFrames();
    if (picture != nullptr) gst_buffer_unref(picture);
    // The file is complete only once the muxer and the sink have closed it.
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (result.outcome != VideoExportResult::Outcome::Written) return result;
    if (const std::error_code error = output.commit(true))
        return failed("cannot write the video: " + error.message());
    result.withAudio = !audio.empty();
    result.frames = written;
    result.seconds = static_cast<double>(written) / options.fps;
    if (progress) progress(1.0);
    return result;
}

}  // namespace lyrvox
