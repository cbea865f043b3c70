#include "playback/media/gst_media_control.h"

#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "playback/media/gst_file_uri.h"
#include "playback/media/key_tempo_filter.h"
#include "playback/media/loudness_gain.h"
#include "playback/media/rubber_band_delay.h"
#include "util/steady_clock.h"

namespace lyrvox {
namespace {

// playbin's flags: audio only (a cover picture is no video to show), with its own
// volume element so that the volume is the same on every sink.
constexpr guint kPlayAudio = 0x2;
constexpr guint kPlaySoftVolume = 0x10;

// How far the song time heard runs ahead of output time times the tempo (negative:
// behind), in song ms, with SoundTouch's default settings, which the pitch element
// keeps. SoundTouch (TDStretch) cuts the sound into sequences of S ms (90 at a stretch
// of 0.5 or less, 40 at 2 or more, linear between, whole ms), overlapped by L = 8 ms,
// and begins each on that line, i.e. at song time = stretch x output time; within a
// sequence the song runs at the original pace. So a moment d ms into its sequence is
// heard (1 - stretch) x d ms of song time off the line. Slower than the original, the
// sequences overlap in the song and a moment is first heard in the earliest of them,
// on average d = S - L/2 - stretch (S - L)/2 in; faster, one sequence holds it, on
// average halfway in: d = S/2. The two agree at the original pace. A key other than 0
// stretches by tempo / pitch and resamples by the pitch: a key down resamples first,
// so the stretch's milliseconds are the song's times the pitch.
double stretchLeadMs(double tempo, double pitch) {
    constexpr double kOverlapMs = 8.0;
    const double stretch = tempo / pitch;
    const double sequenceMs =
        std::floor(std::clamp(90.0 - (stretch - 0.5) * (50.0 / 1.5), 40.0, 90.0) + 0.5);
    const double intoMs =
        sequenceMs - kOverlapMs / 2 - std::min(stretch, 1.0) * (sequenceMs - kOverlapMs) / 2;
    const double leadMs = (1.0 - stretch) * intoMs;
    return pitch < 1.0 ? leadMs * pitch : leadMs;
}

}  // namespace

struct GstCallbacks {
    // Runs in the streaming thread, for each buffer the pitch element takes in (song time).
    static GstPadProbeReturn pitchInput(GstPad*, GstPadProbeInfo* info, gpointer data) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (buffer != nullptr && GST_BUFFER_PTS_IS_VALID(buffer) &&
            GST_BUFFER_DURATION_IS_VALID(buffer)) {
            static_cast<GstMediaControl*>(data)->noteInput(
                static_cast<int64_t>(GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer)));
        }
        return GST_PAD_PROBE_OK;
    }

    // Runs in the streaming thread, for each buffer the pitch element sends on.
    static GstPadProbeReturn pitchOutput(GstPad*, GstPadProbeInfo* info, gpointer data) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (buffer != nullptr && GST_BUFFER_PTS_IS_VALID(buffer)) {
            static_cast<GstMediaControl*>(data)->noteOutput(
                static_cast<int64_t>(GST_BUFFER_PTS(buffer)));
        }
        return GST_PAD_PROBE_OK;
    }
};

GstMediaControl::GstMediaControl(QObject* parent, SinkMaker makeSink,
                                 const ElementCheck& hasElement)
    : QObject(parent), makeSink_(std::move(makeSink)), bus_(this, [this](GstMessage* message) {
          if (pipeline_ != nullptr) handle(message);
      }) {
    if (!gst_is_initialized()) gst_init(nullptr, nullptr);
    hasPitch_ = hasElement ? hasElement("pitch") : installedElement("pitch");
    // Only beside the pitch element, which keeps the tempo and the position's mapping.
    hasRubberBand_ = hasPitch_ && (hasElement ? hasElement(kRubberBandElement)
                                              : installedElement(kRubberBandElement));
}

std::string GstMediaControl::keyEngine() {
    if (!hasPitch_) return {};
    // A song that began without Rubber Band changes its key by SoundTouch until it closes.
    const bool rubberBand =
        hasRubberBand_ && (pipeline_ == nullptr || shifter_ != nullptr || !begun_);
    return rubberBand ? "Rubber Band, formants kept" : "SoundTouch";
}

std::string GstMediaControl::keyAndTempoMissing() {
    if (hasPitch_) return {};
    return "Key and tempo need GStreamer's SoundTouch plugin (gstreamer1.0-plugins-bad)";
}

GstMediaControl::~GstMediaControl() {
    close();
}

MediaState GstMediaControl::state() {
    return status_.state();
}

MediaError GstMediaControl::error() {
    return status_.error();
}

void GstMediaControl::open(const std::string& path, bool /*alternativeDevice*/) {
    close();
    loudnessGainDb_ = 0.0;
    status_.opened();
    // The name's bytes as they are: a QString would lose those that are not UTF-8.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::access(path.c_str(), R_OK) != 0) {
        status_.refused(MediaError::Unreadable);
        return;
    }
    path_ = path;
    build();
}

void GstMediaControl::build() {
    pipeline_ = gst_element_factory_make("playbin", nullptr);
    if (pipeline_ == nullptr) {
        status_.refused(MediaError::Unplayable);
        return;
    }
    g_object_set(pipeline_, "uri", gstFileUri(path_).c_str(), "flags", kPlayAudio | kPlaySoftVolume,
                 nullptr);
    if (makeSink_) g_object_set(pipeline_, "audio-sink", makeSink_(), nullptr);
    if (hasPitch_) {
        const bool withShifter = wantsShifter();
        const char* description = keyTempoDescription(withShifter);
        if (GstElement* filter = gst_parse_bin_from_description(description, TRUE, nullptr)) {
            pitch_ = gst_bin_get_by_name(GST_BIN(filter), kKeyTempoName);
            gst_object_unref(pitch_);  // the filter holds it as long as the pipeline lives
            GstPad* input = gst_element_get_static_pad(pitch_, "sink");
            gst_pad_add_probe(input, GST_PAD_PROBE_TYPE_BUFFER, &GstCallbacks::pitchInput, this,
                              nullptr);
            gst_object_unref(input);
            GstPad* output = gst_element_get_static_pad(pitch_, "src");
            gst_pad_add_probe(output, GST_PAD_PROBE_TYPE_BUFFER, &GstCallbacks::pitchOutput, this,
                              nullptr);
            gst_object_unref(output);
            if (withShifter) {
                shifter_ = gst_bin_get_by_name(GST_BIN(filter), kKeyShiftName);
                gst_object_unref(shifter_);  // held by the filter, as the pitch element
                shifterDelay_.attach(shifter_);
            }
            g_object_set(pipeline_, "audio-filter", filter, nullptr);
        }
    }
    bus_.watch(pipeline_);
    applyKeyAndTempo();
    applyVolume();
    // Loads and prerolls in GStreamer's threads; a file it cannot play is reported
    // on the bus within moments. Once prerolled it starts if play() came meanwhile.
    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) fail();
}

void GstMediaControl::play() {
    if (!status_.canStart() || pipeline_ == nullptr) return;
    status_.started(steadyMilliseconds());
    // Before the sink holds its first sound it would start on an empty buffer: a
    // sound server plays silence meanwhile, and its clock stalls and then jumps.
    // Starting once prerolled gives a clean start.
    if (prerolled_) startPlaying();
}

void GstMediaControl::startPlaying() {
    begun_ = true;
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) fail();
}

void GstMediaControl::pause() {
    if (!status_.isPlaying()) return;
    status_.halted(steadyMilliseconds(), readSongMs());  // where it was heard to stop
    gst_element_set_state(pipeline_, GST_STATE_PAUSED);
}

void GstMediaControl::stop() {
    pause();  // the medium stays open (and where it stopped) until close()
}

void GstMediaControl::close() {
    tearDown();
    path_.clear();
    status_.closed();
}

void GstMediaControl::tearDown() {
    if (pipeline_ != nullptr) {
        // Stops GStreamer's threads first: after this no handler or probe runs.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        bus_.unwatch(pipeline_);  // the old pipeline's news is no longer ours
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
        pitch_ = nullptr;
        shifter_ = nullptr;
    }
    prerolled_ = false;
    begun_ = false;
    {
        const std::lock_guard lock(anchorsLock_);
        anchors_.clear();
        inputEndNs_ = -1.0;
    }
    shifterDelay_.reset();
}

int32_t GstMediaControl::positionMs() {
    // Halted, the status gives the held position without asking the pipeline. Playing,
    // the pipeline's reading (a walk through its bins, the most costly part of a pass)
    // is taken every kReadingIntervalMs; in between the estimate runs on at the tempo's
    // pace, exact while the sound plays steadily and never more than the smoother's
    // lead ahead of the last reading. Until sound is first heard the pipeline is asked
    // at every call, so that the picture does not start late. The position never
    // passes the end of the song the pitch element has taken in.
    const double nowMs = steadyMilliseconds();
    double reading = -1.0;
    if (status_.isPlaying() &&
        (!status_.heard() || nowMs - lastReadingAtMs_ >= kReadingIntervalMs)) {
        reading = readSongMs();
        lastReadingAtMs_ = nowMs;
    }
    const int32_t ms = status_.positionMs(nowMs, reading);
    const double receivedMs = songReceivedMs();
    return receivedMs < ms ? static_cast<int32_t>(receivedMs) : ms;
}

bool GstMediaControl::setKeyAndTempo(int semitones, int tempoPercent) {
    semitones_ = semitones;
    tempoPercent_ = tempoPercent;
    // Nothing has been heard of the song yet: it opens afresh, at its start, with the
    // chain this key wants (play() stays asked for, if it was). Once begun, the chain
    // stays and the key is the pitch element's or the shifter's.
    const MediaState now = status_.state();
    if (pipeline_ != nullptr && !begun_ &&
        (now == MediaState::Stopped || now == MediaState::Playing) &&
        (shifter_ != nullptr) != wantsShifter()) {
        tearDown();
        build();
    } else {
        applyKeyAndTempo();
    }
    return hasPitch_;
}

void GstMediaControl::setVolume(int percent) {
    volumePercent_ = std::clamp(percent, 0, 100);
    applyVolume();
}

void GstMediaControl::setLoudnessGain(double gainDb) {
    loudnessGainDb_ = gainDb;
    applyVolume();
}

void GstMediaControl::applyKeyAndTempo() {
    if (pitch_ == nullptr) return;
    const KeyTempoSetting setting = keyTempoSetting(semitones_, tempoPercent_, shifter_ != nullptr);
    status_.setPace(setting.tempo);
    {
        const std::lock_guard lock(anchorsLock_);
        stretch_ = {setting.tempo, stretchLeadMs(setting.tempo, setting.pitch) * 1e6,
                    setting.pitch};
    }
    applyKeyTempo(pitch_, shifter_, setting);
}

void GstMediaControl::applyVolume() {
    if (pipeline_ == nullptr) return;
    const double linear = gst_stream_volume_convert_volume(
        GST_STREAM_VOLUME_FORMAT_CUBIC, GST_STREAM_VOLUME_FORMAT_LINEAR, volumePercent_ / 100.0);
    // The user's volume and the song's gain toward even loudness multiply; playbin's
    // volume goes up to 10 (+20 dB).
    const double gained = std::clamp(linear * gainFactor(loudnessGainDb_), 0.0, 10.0);
    g_object_set(pipeline_, "volume", gained, nullptr);
}

void GstMediaControl::noteInput(int64_t endNs) {
    const std::lock_guard lock(anchorsLock_);
    inputEndNs_ = std::max(inputEndNs_, static_cast<double>(endNs));
}

double GstMediaControl::songReceivedMs() {
    const std::lock_guard lock(anchorsLock_);
    return inputEndNs_ < 0.0 ? std::numeric_limits<double>::infinity() : inputEndNs_ / 1e6;
}

void GstMediaControl::noteOutput(int64_t outputNs) {
    const std::lock_guard lock(anchorsLock_);
    if (anchors_.empty()) {
        anchors_.push_back({outputNs, static_cast<double>(outputNs) * stretch_.tempo, stretch_});
    } else if (const TempoAnchor& last = anchors_.back(); last.stretch != stretch_) {
        // SoundTouch's sequences begin on the line, so the line runs on across the change.
        const double songNs =
            last.songNs + static_cast<double>(outputNs - last.outputNs) * last.stretch.tempo;
        anchors_.push_back({outputNs, songNs, stretch_});
    }
}

double GstMediaControl::readSongMs(bool atEnd) {
    gint64 outputNs = 0;
    if (pipeline_ == nullptr || !gst_element_query_position(pipeline_, GST_FORMAT_TIME, &outputNs))
        return -1.0;
    // What is heard now left the pitch element Rubber Band's delay ago. Until that is
    // measured, nothing past the first sound that went into it: the song is silent
    // before that, and the position waits there for the sound instead of running ahead.
    if (shifter_ != nullptr) {
        outputNs = std::max<gint64>(0, outputNs - shifterDelay_.latencyNs());
        const int64_t firstSoundNs = shifterDelay_.firstSoundInNs();
        if (!shifterDelay_.known() && firstSoundNs >= 0) {
            outputNs = std::min<gint64>(outputNs, firstSoundNs);
        }
    }
    const std::lock_guard lock(anchorsLock_);
    // At the end every bit of the song taken in has been heard. (After a change of tempo
    // SoundTouch pads or cuts its last output, which the line would follow.)
    if (atEnd && inputEndNs_ >= 0.0) return inputEndNs_ / 1e6;
    // The stretch the heard output is in: the last that began at or before it.
    const auto after = std::upper_bound(
        anchors_.begin(), anchors_.end(), outputNs,
        [](int64_t ns, const TempoAnchor& anchor) { return ns < anchor.outputNs; });
    if (after == anchors_.begin()) return static_cast<double>(outputNs) * stretch_.tempo / 1e6;
    const TempoAnchor& anchor = *std::prev(after);
    const Stretch& stretch = anchor.stretch;
    const double sinceNs = static_cast<double>(outputNs - anchor.outputNs);
    const double lineNs = anchor.songNs + sinceNs * stretch.tempo;
    double heardNs = lineNs + stretch.leadNs;
    if (after == std::next(anchors_.begin())) {
        // The first sequence plays from the song's start at the key's own pace: the lead
        // builds up over it, and nothing is heard before the sound begins.
        const double firstNs = anchor.songNs + sinceNs * stretch.firstPace;
        heardNs = stretch.leadNs > 0.0 ? std::min(heardNs, firstNs) : std::max(heardNs, firstNs);
    }
    // Nothing is heard past the song taken in: neither the lead nor padding carry it there.
    if (inputEndNs_ >= 0.0) heardNs = std::min(heardNs, inputEndNs_);
    return heardNs / 1e6;
}

void GstMediaControl::handle(GstMessage* message) {
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            fail();
            break;
        case GST_MESSAGE_EOS:
            reachEnd();
            break;
        case GST_MESSAGE_ASYNC_DONE:
            if (!prerolled_ && GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_)) {
                prerolled_ = true;
                if (status_.isPlaying()) startPlaying();
            }
            break;
        default:
            break;
    }
}

void GstMediaControl::fail() {
    if (status_.error() != MediaError::None) return;
    status_.failed(readSongMs());
    if (pipeline_ != nullptr) gst_element_set_state(pipeline_, GST_STATE_NULL);
}

void GstMediaControl::reachEnd() {
    status_.ended(status_.isPlaying() ? readSongMs(true) : -1.0);
}

}  // namespace lyrvox
