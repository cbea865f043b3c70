#pragma once
// How long Rubber Band's LADSPA pitch shifter holds the sound back, measured on
// the song's first sound that passes it: some 300-340 ms, more than the latency
// it reports (that report is the lower bound used until then). Probes on the
// shifter's pads, run in GStreamer's streaming thread, note where the first sound
// goes in and where it comes out; and as a LADSPA plugin is never drained, at the
// song's end they push silence that long through it, so that its last sound is
// heard before the end goes on.
#include <atomic>
#include <cstdint>

typedef struct _GstElement GstElement;

namespace lyrvox {

class RubberBandDelay {
  public:
    // Probes the shifter's pads (32-bit float stereo) for as long as it lives.
    void attach(GstElement* shifter);
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
};

}  // namespace lyrvox
