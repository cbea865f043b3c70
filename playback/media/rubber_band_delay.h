#pragma once
// How long Rubber Band's LADSPA pitch shifter holds the sound back, measured on
// the song's first sound that passes it: some 300-340 ms, more than the latency
// it reports (that report is the lower bound used until then). Probes on the
// shifter's pads, run in GStreamer's streaming thread, note where the first sound
// goes in and where it comes out; and as a LADSPA plugin is never drained, at the
// song's end they push silence that long through it, so that its last sound is
// heard before the end goes on.
//
// Something that renders the sound rather than playing it (the video export) takes
// the delay out of the sound itself: Output::InTime holds the shifter's output back
// until the first sound has come out, then sends it on moved earlier by the delay,
// and cuts what the end's silence adds past the end of what went in: the sound lies
// where it did before the shifter, as long. The shifter smears the start of a sound
// over some 50 ms before it, so there the delay is taken between the moments the
// first sound reaches a quarter of its level going in and coming out, rather than
// between its first traces.
#include <atomic>
#include <cstdint>
#include <vector>

typedef struct _GstElement GstElement;

namespace lyrvox {

class RubberBandDelay {
  public:
    enum class Output {
        AsShifted,  // the shifter's output as it comes (the player takes the delay off its clock)
        InTime,     // moved back to where the sound went in
    };
    // Probes the shifter's pads (32-bit float stereo) for as long as it lives.
    void attach(GstElement* shifter, Output output = Output::AsShifted);
    // Forgets what was measured, for the next song.
    void reset();

    // The delay in output time: measured, or the shifter's own report until then.
    int64_t latencyNs() const { return latencyNs_.load(); }
    // Whether the delay was measured on the song's first sound.
    bool known() const { return known_.load(); }
    // Where the first sound went in (stream time); -1 while none has.
    int64_t firstSoundInNs() const { return inOnsetNs_.load(); }

  private:
    friend struct RubberBandProbes;

    std::atomic<int64_t> latencyNs_{0};
    std::atomic<int64_t> inOnsetNs_{-1};
    std::atomic<bool> known_{false};
    std::atomic<int64_t> inEndNs_{-1};  // the end of what went into it; -1: nothing yet
    // Output::InTime: where the song's own sound ended going in (the silence pushed
    // after it not counted); -1 until the end.
    std::atomic<int64_t> soundEndNs_{-1};
    // Output::InTime, in the streaming thread (both pads' probes run in it): the
    // first sound's loudest sample over its first moments going in (per frame, the
    // louder channel) and where it first reached a quarter of that; the delay taken
    // off (-1 until known); the output held back until then, from heldStartNs_; the
    // frames sent on since.
    std::vector<float> firstSound_;
    float firstLevel_ = 0.0f;
    int64_t inMarkNs_ = -1;
    int64_t shiftNs_ = -1;
    std::vector<float> held_;
    int64_t heldStartNs_ = -1;
    int64_t sentFrames_ = 0;
};

}  // namespace lyrvox
