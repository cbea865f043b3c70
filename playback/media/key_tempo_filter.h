#pragma once
// The key and tempo chain that songs' audio goes through, for the player's
// playbin and for anything else that renders a song's sound (the video export):
// SoundTouch's pitch element for the tempo (and the key without Rubber Band), and
// Rubber Band's LADSPA pitch shifter for the key when it is installed, formants kept.
// Plain C++ over GStreamer.
typedef struct _GstElement GstElement;

namespace lyrvox {

// The chain's element names inside its bin.
inline constexpr const char* kKeyTempoName = "keytempo";
inline constexpr const char* kKeyShiftName = "keyshift";
inline constexpr const char* kRubberBandElement =
    "ladspa-ladspa-rubberband-so-rubberband-pitchshifter-stereo";

// True when GStreamer has the element factory (GStreamer must be initialised).
bool installedElement(const char* factoryName);

// The chain as a gst_parse_bin_from_description() text: raw audio in, raw audio out.
const char* keyTempoDescription(bool withRubberBand);

// What the elements are set to for a key (semitones, -24..24) and a tempo (percent
// of the song's own, 10..1000; values beyond are clamped).
struct KeyTempoSetting {
    double tempo = 1.0;  // song seconds per output second
    double pitch = 1.0;  // SoundTouch's own pitch factor (1 when Rubber Band shifts)
    int octaves = 0;     // Rubber Band's ports take octaves and semitones apart
    int semitones = 0;
};
KeyTempoSetting keyTempoSetting(int semitones, int tempoPercent, bool withRubberBand);

// Sets the pitch element and, when not null, the shifter.
void applyKeyTempo(GstElement* pitch, GstElement* shifter, const KeyTempoSetting& setting);

}  // namespace lyrvox
