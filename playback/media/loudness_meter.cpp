#include "playback/media/loudness_meter.h"

#include <ebur128.h>
#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include "playback/disk_files.h"
#include "playback/media/gst_file_uri.h"
#include "playback/song_files.h"

namespace lyrvox {
namespace {

// Interleaved float at the file's own rate: the true peak's oversampling depends on
// the rate, and resampling first would change the peaks it looks for.
constexpr const char* kCaps = "audio/x-raw,format=F32LE,layout=interleaved";

struct StateDeleter {
    void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using Meter = std::unique_ptr<ebur128_state, StateDeleter>;

struct Pipeline {
    GstElement* bin = nullptr;
    ~Pipeline() {
        if (bin == nullptr) return;
        gst_element_set_state(bin, GST_STATE_NULL);
        gst_object_unref(bin);
    }
};

// The decoder's pad appears once it knows the stream: linked to the converter
// when it carries audio.
void linkDecoded(GstElement*, GstPad* pad, gpointer data) {
    auto* convert = static_cast<GstElement*>(data);
    GstPad* sink = gst_element_get_static_pad(convert, "sink");
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps == nullptr) caps = gst_pad_query_caps(pad, nullptr);
    const GstStructure* kind = gst_caps_get_structure(caps, 0);
    if (!gst_pad_is_linked(sink) && g_str_has_prefix(gst_structure_get_name(kind), "audio/"))
        gst_pad_link(pad, sink);
    gst_caps_unref(caps);
    gst_object_unref(sink);
}

// The first error on the bus, if any.
std::string busError(GstElement* bin) {
    GstBus* bus = gst_element_get_bus(bin);
    std::string text;
    if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        text = error != nullptr ? error->message : "";
        g_clear_error(&error);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    return text;
}

}  // namespace

LoudnessReading measureAudioLoudness(const std::string& audioPath) {
    LoudnessReading reading;
    if (!gst_init_check(nullptr, nullptr, nullptr)) {
        reading.error = "GStreamer cannot start";
        return reading;
    }
    Pipeline pipeline;
    pipeline.bin = gst_pipeline_new(nullptr);
    GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (decode == nullptr || convert == nullptr || sink == nullptr) {
        for (GstElement* e : {decode, convert, sink})
            if (e != nullptr) gst_object_unref(e);
        reading.error = "GStreamer lacks its base plugins";
        return reading;
    }
    gst_bin_add_many(GST_BIN(pipeline.bin), decode, convert, sink, nullptr);
    GstCaps* caps = gst_caps_from_string(kCaps);
    // As fast as it decodes: no clock, and every buffer kept until pulled.
    g_object_set(sink, "caps", caps, "sync", FALSE, "max-buffers", 8u, "drop", FALSE, nullptr);
    gst_caps_unref(caps);
    gst_element_link(convert, sink);
    g_object_set(decode, "uri", gstFileUri(audioPath).c_str(), nullptr);
    g_signal_connect(decode, "pad-added", G_CALLBACK(linkDecoded), convert);

    if (gst_element_set_state(pipeline.bin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        reading.error = "cannot be read";
        return reading;
    }
    Meter meter;
    unsigned channels = 0;
    auto* appSink = GST_APP_SINK(sink);
    std::string failed;
    // A decoder's error stops the stream without an end: the bus is looked at
    // whenever no sound came for a moment.
    constexpr GstClockTime kWait = 200 * GST_MSECOND;
    for (;;) {
        GstSample* sample = gst_app_sink_try_pull_sample(appSink, kWait);
        if (sample == nullptr) {
            if (gst_app_sink_is_eos(appSink)) break;
            failed = busError(pipeline.bin);
            if (!failed.empty()) break;
            continue;
        }
        if (!meter) {
            GstAudioInfo info;
            if (!gst_audio_info_from_caps(&info, gst_sample_get_caps(sample))) {
                gst_sample_unref(sample);
                break;
            }
            channels = static_cast<unsigned>(GST_AUDIO_INFO_CHANNELS(&info));
            meter.reset(ebur128_init(channels,
                                     static_cast<unsigned long>(GST_AUDIO_INFO_RATE(&info)),
                                     EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK));
            if (!meter) {
                gst_sample_unref(sample);
                reading.error = "audio of an unsupported layout";
                return reading;
            }
        }
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer != nullptr && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const std::size_t frames = map.size / (sizeof(float) * channels);
            ebur128_add_frames_float(meter.get(), reinterpret_cast<const float*>(map.data), frames);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    if (failed.empty()) failed = busError(pipeline.bin);
    if (!meter) {
        reading.error = failed.empty() ? "has no audio" : "cannot be read: " + failed;
        return reading;
    }
    if (!failed.empty()) {
        reading.error = "cannot be read whole: " + failed;
        return reading;
    }
    double lufs = 0.0;
    if (ebur128_loudness_global(meter.get(), &lufs) == EBUR128_SUCCESS && std::isfinite(lufs))
        reading.integratedLufs = lufs;
    double peak = 0.0;
    for (unsigned c = 0; c < channels; ++c) {
        double channelPeak = 0.0;
        if (ebur128_true_peak(meter.get(), c, &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    reading.truePeakDbtp =
        peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
    return reading;
}

namespace {
LoudnessReading failure(std::string error) {
    LoudnessReading reading;
    reading.error = std::move(error);
    return reading;
}
}  // namespace

LoudnessReading measureSongLoudness(const std::string& songPath, const std::string& scratchRoot) {
    DiskSessionFiles files(scratchRoot);
    if (isZipName(songPath)) {
        const UnpackedSong song = files.unpackZip(songPath);
        if (!song.error.empty()) return failure(song.error);
        if (song.audio.empty()) return failure("has no audio");
        return measureAudioLoudness(song.audio);  // before the scratch folder goes
    }
    if (!files.find(songPath)) return failure("cannot be read");
    const SongFiles song = findSongFiles(songPath, files);
    if (song.audio.empty()) return failure("has no audio");
    return measureAudioLoudness(song.audio);
}

}  // namespace lyrvox
