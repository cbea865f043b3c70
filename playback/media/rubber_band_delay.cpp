#include "playback/media/rubber_band_delay.h"

#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace lyrvox {

struct RubberBandProbes {
    // Run in the streaming thread, for each buffer that enters and leaves Rubber Band
    // until the delay is known: where the first sound goes in and where it comes out.
    static GstPadProbeReturn shifterInput(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
        auto* self = static_cast<RubberBandDelay*>(data);
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (self->inOnsetNs_.load() < 0) {
            self->inOnsetNs_.store(firstSoundNs(pad, buffer));
        }
        if (buffer != nullptr && GST_BUFFER_PTS_IS_VALID(buffer) &&
            GST_BUFFER_DURATION_IS_VALID(buffer)) {
            self->inEndNs_.store(
                static_cast<int64_t>(GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer)));
        }
        return GST_PAD_PROBE_OK;
    }

    // Runs in the streaming thread, for each event that goes into Rubber Band. A LADSPA
    // plugin is never drained: at the end of the song, silence as long as its delay
    // pushes the song's last sound out before the end goes on.
    static GstPadProbeReturn shifterEvent(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
        if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS)
            return GST_PAD_PROBE_OK;
        auto* self = static_cast<RubberBandDelay*>(data);
        const gint rate = padRate(pad);
        const int64_t endNs = self->inEndNs_.load();
        if (rate <= 0 || endNs < 0) return GST_PAD_PROBE_OK;
        self->soundEndNs_.store(endNs);
        const int64_t delayNs = self->latencyNs_.load() + kFlushMarginNs;
        const auto frames = static_cast<gsize>(static_cast<double>(delayNs) * rate / 1e9);
        GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * 2 * sizeof(float), nullptr);
        gst_buffer_memset(silence, 0, 0, frames * 2 * sizeof(float));
        GST_BUFFER_PTS(silence) = static_cast<GstClockTime>(endNs);
        GST_BUFFER_DURATION(silence) = gst_util_uint64_scale_int(frames, GST_SECOND, rate);
        gst_pad_chain(pad, silence);  // takes the buffer
        sendHeld(pad, self);
        return GST_PAD_PROBE_OK;
    }
    static constexpr int64_t kFlushMarginNs = 20'000'000;
    static GstPadProbeReturn shifterOutput(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
        auto* self = static_cast<RubberBandDelay*>(data);
        if (self->known_.load()) return GST_PAD_PROBE_OK;
        const int64_t in = self->inOnsetNs_.load();
        if (in < 0) {
            // Meanwhile its own report (in samples), a lower bound.
            gfloat samples = 0.0f;
            g_object_get(GST_PAD_PARENT(pad), "latency", &samples, nullptr);
            const gint rate = padRate(pad);
            if (rate > 0 && samples > 0.0f) {
                self->latencyNs_.store(static_cast<int64_t>(samples * 1e9 / rate));
            }
            return GST_PAD_PROBE_OK;
        }
        const int64_t out = firstSoundNs(pad, GST_PAD_PROBE_INFO_BUFFER(info));
        if (out >= 0) {
            self->latencyNs_.store(std::max<int64_t>(0, out - in));
            self->known_.store(true);
        }
        return GST_PAD_PROBE_OK;
    }
    // Output::InTime, for each buffer going in: the first sound's level over its
    // first moments, and where it first reached a quarter of that.
    static GstPadProbeReturn shifterInputInTime(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
        shifterInput(pad, info, data);
        auto* self = static_cast<RubberBandDelay*>(data);
        const int64_t onsetNs = self->inOnsetNs_.load();
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const gint rate = padRate(pad);
        if (self->inMarkNs_ >= 0 || onsetNs < 0 || rate <= 0 || buffer == nullptr ||
            !GST_BUFFER_PTS_IS_VALID(buffer))
            return GST_PAD_PROBE_OK;
        const auto windowFrames = static_cast<std::size_t>(kLevelWindowNs * rate / 1'000'000'000);
        const int64_t startNs = static_cast<int64_t>(GST_BUFFER_PTS(buffer));
        const std::vector<float> levels = frameLevels(buffer);
        for (std::size_t i = 0; i < levels.size() && self->firstSound_.size() < windowFrames; ++i) {
            if (startNs + static_cast<int64_t>(static_cast<double>(i) * 1e9 / rate) < onsetNs)
                continue;
            self->firstSound_.push_back(levels[i]);
        }
        if (self->firstSound_.size() < windowFrames) return GST_PAD_PROBE_OK;
        self->firstLevel_ = *std::max_element(self->firstSound_.begin(), self->firstSound_.end());
        const std::size_t mark = firstAbove(self->firstSound_, self->firstLevel_ * kMarkShare);
        self->inMarkNs_ = onsetNs + static_cast<int64_t>(static_cast<double>(mark) * 1e9 / rate);
        return GST_PAD_PROBE_OK;
    }

    // Output::InTime, for each buffer coming out: held back until the delay is
    // known, then moved earlier by it. The first buffer sent on starts at 0 (with
    // silence before the sound, or without what falls before 0), the others follow
    // on without gaps, and nothing goes past the end of the sound that went in.
    static GstPadProbeReturn shifterOutputInTime(GstPad* pad, GstPadProbeInfo* info,
                                                 gpointer data) {
        shifterOutput(pad, info, data);
        auto* self = static_cast<RubberBandDelay*>(data);
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const gint rate = padRate(pad);
        if (buffer == nullptr || rate <= 0 || !GST_BUFFER_PTS_IS_VALID(buffer))
            return GST_PAD_PROBE_OK;
        const auto ptsNs = static_cast<int64_t>(GST_BUFFER_PTS(buffer));
        if (self->shiftNs_ < 0) {
            if (self->inMarkNs_ >= 0) {
                const std::vector<float> levels = frameLevels(buffer);
                const std::size_t at = firstAbove(levels, self->firstLevel_ * kMarkShare);
                if (at < levels.size())
                    self->shiftNs_ = std::max<int64_t>(
                        0, ptsNs + static_cast<int64_t>(static_cast<double>(at) * 1e9 / rate) -
                               self->inMarkNs_);
            }
            // A sound that never grows that loud out of the shifter: its first trace.
            if (self->shiftNs_ < 0 && self->known_.load() &&
                ptsNs > self->inOnsetNs_.load() + self->latencyNs_.load() + kGiveUpNs)
                self->shiftNs_ = self->latencyNs_.load();
            if (self->shiftNs_ < 0) {
                if (self->heldStartNs_ < 0) self->heldStartNs_ = ptsNs;
                appendSamples(buffer, self->held_);
                return GST_PAD_PROBE_DROP;
            }
        }
        const auto toFrames = [rate](int64_t ns) {
            return static_cast<int64_t>(gst_util_uint64_scale_int_round(
                static_cast<guint64>(std::max<int64_t>(ns, 0)), rate, GST_SECOND));
        };
        const auto toNs = [rate](int64_t frames) {
            return static_cast<GstClockTime>(
                gst_util_uint64_scale_int_round(static_cast<guint64>(frames), GST_SECOND, rate));
        };
        // What is sent now: the held output with this buffer after it.
        if (!self->held_.empty()) appendSamples(buffer, self->held_);
        const int64_t fromNs = self->held_.empty() ? ptsNs : self->heldStartNs_;
        const auto count =
            static_cast<int64_t>(self->held_.empty() ? gst_buffer_get_size(buffer) / kFrameBytes
                                                     : self->held_.size() / 2);
        const int64_t start = self->sentFrames_;
        int64_t lead = 0;  // silence before the frames
        int64_t skip = 0;  // the frames that fall before 0
        if (start == 0) {
            const int64_t belongs = toFrames(fromNs) - toFrames(self->shiftNs_);
            lead = std::max<int64_t>(0, belongs);
            skip = std::min(count, std::max<int64_t>(0, -belongs));
        }
        int64_t total = lead + count - skip;
        if (const int64_t endNs = self->soundEndNs_.load(); endNs >= 0)
            total = std::min(total, toFrames(endNs) - start);
        GstBuffer* moved = nullptr;
        if (total <= 0) {
            self->held_.clear();
            return GST_PAD_PROBE_DROP;
        } else if (self->held_.empty() && lead == 0 && skip == 0 && total == count) {
            moved = gst_buffer_make_writable(buffer);
        } else {
            const auto bytes = static_cast<gsize>(total) * kFrameBytes;
            moved = gst_buffer_new_allocate(nullptr, bytes, nullptr);
            gst_buffer_memset(moved, 0, 0, bytes);
            const auto kept = static_cast<gsize>(total - lead) * kFrameBytes;
            GstMapInfo map;
            if (kept > 0 && gst_buffer_map(moved, &map, GST_MAP_WRITE)) {
                uint8_t* to = map.data + static_cast<gsize>(lead) * kFrameBytes;
                const auto from = static_cast<gsize>(skip) * kFrameBytes;
                if (self->held_.empty()) {
                    gst_buffer_extract(buffer, from, to, kept);
                } else {
                    std::memcpy(to, reinterpret_cast<const uint8_t*>(self->held_.data()) + from,
                                kept);
                }
                gst_buffer_unmap(moved, &map);
            }
            gst_buffer_unref(buffer);
            self->held_.clear();
            self->held_.shrink_to_fit();
        }
        GST_BUFFER_PTS(moved) = toNs(start);
        GST_BUFFER_DURATION(moved) = toNs(start + total) - toNs(start);
        GST_BUFFER_OFFSET(moved) = GST_BUFFER_OFFSET_NONE;
        GST_BUFFER_OFFSET_END(moved) = GST_BUFFER_OFFSET_NONE;
        if (start == 0) GST_BUFFER_FLAG_SET(moved, GST_BUFFER_FLAG_DISCONT);
        self->sentFrames_ = start + total;
        GST_PAD_PROBE_INFO_DATA(info) = moved;
        return GST_PAD_PROBE_OK;
    }
    // Output::InTime, at the end of what went in (after the end's silence went
    // through): a song whose sound never came out of the shifter (silence throughout)
    // would lose what is held; it is sent on, moved by the shifter's own report of
    // its delay. One silent frame after it carries it through the output's probe.
    static void sendHeld(GstPad* shifterInput, RubberBandDelay* self) {
        if (self->shiftNs_ >= 0 || self->held_.empty()) return;
        GstElement* shifter = GST_PAD_PARENT(shifterInput);
        GstPad* output = shifter != nullptr ? gst_element_get_static_pad(shifter, "src") : nullptr;
        if (output == nullptr) return;
        const gint rate = padRate(output);
        if (rate > 0) {
            self->shiftNs_ = self->latencyNs_.load();
            GstBuffer* last = gst_buffer_new_allocate(nullptr, kFrameBytes, nullptr);
            gst_buffer_memset(last, 0, 0, kFrameBytes);
            const auto heldFrames = static_cast<guint64>(self->held_.size() / 2);
            GST_BUFFER_PTS(last) = static_cast<GstClockTime>(self->heldStartNs_) +
                                   gst_util_uint64_scale_int(heldFrames, GST_SECOND, rate);
            GST_BUFFER_DURATION(last) = gst_util_uint64_scale_int(1, GST_SECOND, rate);
            gst_pad_push(output, last);  // takes the buffer
        }
        gst_object_unref(output);
    }
    static void appendSamples(GstBuffer* buffer, std::vector<float>& to) {
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
        const auto* samples = reinterpret_cast<const float*>(map.data);
        to.insert(to.end(), samples, samples + map.size / kFrameBytes * 2);
        gst_buffer_unmap(buffer, &map);
    }
    // Per stereo frame, the louder channel's magnitude.
    static std::vector<float> frameLevels(GstBuffer* buffer) {
        std::vector<float> levels;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return levels;
        const auto* samples = reinterpret_cast<const float*>(map.data);
        levels.resize(map.size / kFrameBytes);
        for (std::size_t i = 0; i < levels.size(); ++i)
            levels[i] = std::max(std::fabs(samples[2 * i]), std::fabs(samples[2 * i + 1]));
        gst_buffer_unmap(buffer, &map);
        return levels;
    }
    static std::size_t firstAbove(const std::vector<float>& levels, float level) {
        const auto at = std::find_if(levels.begin(), levels.end(),
                                     [level](float l) { return l >= level && l > kSilence; });
        return static_cast<std::size_t>(at - levels.begin());
    }
    static constexpr int64_t kLevelWindowNs = 50'000'000;    // the first sound's first moments
    static constexpr float kMarkShare = 0.25f;               // of their loudest
    static constexpr int64_t kGiveUpNs = 250'000'000;        // after its first trace came out
    static constexpr gsize kFrameBytes = 2 * sizeof(float);  // stereo 32-bit float
    static gint padRate(GstPad* pad) {
        GstCaps* caps = gst_pad_get_current_caps(pad);
        gint rate = 0;
        if (caps != nullptr) {
            gst_structure_get_int(gst_caps_get_structure(caps, 0), "rate", &rate);
            gst_caps_unref(caps);
        }
        return rate;
    }
    // The stream time of the first sample of a buffer of 32-bit float stereo that is
    // not silence; -1 if none is or the buffer has no time.
    static int64_t firstSoundNs(GstPad* pad, GstBuffer* buffer) {
        if (buffer == nullptr || !GST_BUFFER_PTS_IS_VALID(buffer)) return -1;
        const gint rate = padRate(pad);
        GstMapInfo map;
        if (rate <= 0 || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return -1;
        const auto* samples = reinterpret_cast<const float*>(map.data);
        const std::size_t count = map.size / sizeof(float);
        int64_t at = -1;
        for (std::size_t i = 0; i < count; ++i) {
            if (std::fabs(samples[i]) > kSilence) {
                at = static_cast<int64_t>(GST_BUFFER_PTS(buffer)) +
                     static_cast<int64_t>(static_cast<double>(i / 2) * 1e9 / rate);
                break;
            }
        }
        gst_buffer_unmap(buffer, &map);
        return at;
    }
    static constexpr float kSilence = 1e-4f;  // of full scale
};

void RubberBandDelay::attach(GstElement* shifter, Output output) {
    GstPad* unshifted = gst_element_get_static_pad(shifter, "sink");
    gst_pad_add_probe(unshifted, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
                      &RubberBandProbes::shifterEvent, this, nullptr);
    gst_pad_add_probe(unshifted, GST_PAD_PROBE_TYPE_BUFFER,
                      output == Output::InTime ? &RubberBandProbes::shifterInputInTime
                                               : &RubberBandProbes::shifterInput,
                      this, nullptr);
    gst_object_unref(unshifted);
    GstPad* shifted = gst_element_get_static_pad(shifter, "src");
    gst_pad_add_probe(shifted, GST_PAD_PROBE_TYPE_BUFFER,
                      output == Output::InTime ? &RubberBandProbes::shifterOutputInTime
                                               : &RubberBandProbes::shifterOutput,
                      this, nullptr);
    gst_object_unref(shifted);
}

void RubberBandDelay::reset() {
    latencyNs_.store(0);
    inOnsetNs_.store(-1);
    inEndNs_.store(-1);
    known_.store(false);
    soundEndNs_.store(-1);
    firstSound_.clear();
    firstLevel_ = 0.0f;
    inMarkNs_ = -1;
    shiftNs_ = -1;
    held_.clear();
    heldStartNs_ = -1;
    sentFrames_ = 0;
}

}  // namespace lyrvox
