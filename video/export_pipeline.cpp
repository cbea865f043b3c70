#include "video/export_pipeline.h"

#include <string>
#include <vector>

#include "playback/media/key_tempo_filter.h"

namespace lyrvox {
namespace {

// Frames waiting in front of the encoder before the painting pauses.
constexpr std::size_t kQueuedFrames = 8;

// x264's "veryfast" preset at constant quality 14, as x264 itself sets it up (the
// element's own defaults would cap the bitrate at 2 Mbit/s and use trellis, which
// the preset leaves off) and a key frame at least every 250 frames: CD+G pictures
// are flat colours with sharp edges, which this keeps clean at a small size. The
// benchmark gives FFmpeg the same settings. Full chroma (--yuv444) is the choice for
// the exact picture: there x264's psychovisual tuning, which adds texture that eyes
// like on film, is left off, for the flat colours' fidelity (some 48-53 dB PSNR
// against the exact picture on the benchmark's synthetic song, instead of 39-43).
std::string videoChain(bool fullChroma) {
    return std::string(
               "appsrc name=frames format=time ! "
               "x264enc speed-preset=veryfast trellis=false pass=qual quantizer=14 "
               "vbv-buf-capacity=0 key-int-max=250 ") +
           (fullChroma ? "psy-tune=psnr " : "") +
           "! video/x-h264,profile=" + (fullChroma ? "high-4:4:4" : "high") +
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
    if (!options.background.empty() && options.background[0] != '#') {
        needed.push_back({"appsink", "gstreamer1.0-plugins-base"});
        needed.push_back({"videoconvert", "gstreamer1.0-plugins-base"});
        needed.push_back({"videoscale", "gstreamer1.0-plugins-base"});
    }
    return needed;
}

struct UnrefMessage {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessagePtr = std::unique_ptr<GstMessage, UnrefMessage>;

std::string errorText(GstMessage* message) {
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR) return "the encoder stopped early";
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error != nullptr ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

GstElement* byName(GstElement* pipeline, const char* name) {
    GstElement* found = gst_bin_get_by_name(GST_BIN(pipeline), name);
    if (found != nullptr) gst_object_unref(found);  // the pipeline holds it
    return found;
}

MessagePtr pop(GstElement* pipeline, GstMessageType types, GstClockTime timeoutNs) {
    GstBus* bus = gst_element_get_bus(pipeline);
    MessagePtr message(gst_bus_timed_pop_filtered(bus, timeoutNs, types));
    gst_object_unref(bus);
    return message;
}

constexpr auto kErrorOrEos = static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS);

}  // namespace

void ensureGstreamer() {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
}

std::string missingExportElements(const VideoExportOptions& options) {
    ensureGstreamer();
    std::string missing;
    for (const Element& element : neededElements(options)) {
        if (installedElement(element.name)) continue;
        missing += std::string(missing.empty() ? "" : "; ") + "GStreamer's " + element.name +
                   " is missing (Debian package " + element.package + ")";
    }
    return missing;
}

int64_t audioDurationNs(const std::string& path, const std::atomic<bool>& cancel,
                        std::string& error) {
    GstElement* pipeline = gst_parse_launch("filesrc name=audio ! decodebin ! fakesink", nullptr);
    if (pipeline == nullptr) return -1;
    g_object_set(byName(pipeline, "audio"), "location", path.c_str(), nullptr);
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    int64_t duration = -1;
    for (int waited = 0; waited < 300 && !cancel; ++waited) {
        MessagePtr message =
            pop(pipeline, static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR),
                100 * GST_MSECOND);
        if (!message) continue;
        if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) {
            error = errorText(message.get());
        } else if (gint64 ns = -1; gst_element_query_duration(pipeline, GST_FORMAT_TIME, &ns)) {
            duration = ns;
        }
        break;
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return duration;
}

ExportPipeline::ExportPipeline() = default;

ExportPipeline::~ExportPipeline() {
    stop();
    if (pipeline_ != nullptr) gst_object_unref(pipeline_);
}

std::string ExportPipeline::start(const VideoExportOptions& options, const std::string& audio,
                                  const std::string& path, std::size_t frameBytes) {
    std::string description = videoChain(options.fullChroma);
    description += options.container == VideoContainer::Mp4
                       ? "mp4mux name=mux faststart=true ! filesink name=sink "
                       : "matroskamux name=mux ! filesink name=sink ";
    const bool keyOrTempo = options.semitones != 0 || options.tempoPercent != 100;
    // Rubber Band only for a key change: at the song's own key SoundTouch alone
    // stretches, and the shifter's hold-back stays out of the sound.
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
    GError* parseError = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &parseError);
    if (parseError != nullptr || pipeline_ == nullptr) {
        const std::string text = parseError != nullptr ? parseError->message : "no pipeline";
        g_clear_error(&parseError);
        return "GStreamer cannot make the encoder: " + text;
    }
    g_object_set(byName(pipeline_, "sink"), "location", path.c_str(), nullptr);
    if (!audio.empty()) {
        g_object_set(byName(pipeline_, "audio"), "location", audio.c_str(), nullptr);
        if (keyOrTempo) {
            GstElement* shifter = rubberBand ? byName(pipeline_, kKeyShiftName) : nullptr;
            applyKeyTempo(byName(pipeline_, kKeyTempoName), shifter,
                          keyTempoSetting(options.semitones, options.tempoPercent, rubberBand));
            // The sound at its place on the picture's time line, as long as it is.
            if (shifter != nullptr) shifterDelay_.attach(shifter, RubberBandDelay::Output::InTime);
        }
        GstPad* pad = gst_element_get_static_pad(byName(pipeline_, "aacenc"), "src");
        gst_pad_add_probe(pad,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          &ExportPipeline::probeAudioEnd, audioEnd_.get(), nullptr);
        gst_object_unref(pad);
    }
    frames_ = GST_APP_SRC(byName(pipeline_, "frames"));
    GstCaps* caps = gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, options.fullChroma ? "Y444" : "I420", "width",
        G_TYPE_INT, options.width, "height", G_TYPE_INT, options.height, "framerate",
        GST_TYPE_FRACTION, options.fps, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
        "colorimetry", G_TYPE_STRING, "bt709", nullptr);
    gst_app_src_set_caps(frames_, caps);
    gst_caps_unref(caps);
    queueLimitBytes_ = frameBytes * kQueuedFrames;
    gst_app_src_set_max_bytes(frames_, queueLimitBytes_);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return "GStreamer cannot start the encoder";
    return {};
}

GstPadProbeReturn ExportPipeline::probeAudioEnd(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* end = static_cast<AudioEnd*>(data);
    if ((info->type & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (GST_BUFFER_PTS_IS_VALID(buffer)) {
            const auto ns = static_cast<int64_t>(
                GST_BUFFER_PTS(buffer) +
                (GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0));
            if (ns > end->endNs) end->endNs = ns;
        }
    } else if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS) {
        end->ended = true;
    }
    return GST_PAD_PROBE_OK;
}

bool ExportPipeline::push(GstBuffer* frame) {
    return gst_app_src_push_buffer(frames_, frame) == GST_FLOW_OK;
}

bool ExportPipeline::hasRoom() const {
    return gst_app_src_get_current_level_bytes(frames_) < queueLimitBytes_;
}

std::string ExportPipeline::error(int64_t timeoutNs) {
    if (MessagePtr message = pop(pipeline_, kErrorOrEos, static_cast<GstClockTime>(timeoutNs)))
        return errorText(message.get());
    return {};
}

void ExportPipeline::endFrames() {
    gst_app_src_end_of_stream(frames_);
}

bool ExportPipeline::finished(int64_t timeoutNs, std::string& failure) {
    MessagePtr message = pop(pipeline_, kErrorOrEos, static_cast<GstClockTime>(timeoutNs));
    if (!message) return false;
    if (GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_ERROR) failure = errorText(message.get());
    return true;
}

void ExportPipeline::stop() {
    if (pipeline_ != nullptr) gst_element_set_state(pipeline_, GST_STATE_NULL);
}

}  // namespace lyrvox
