#include "playback/media/key_tempo_filter.h"

#include <gst/gst.h>

#include <algorithm>
#include <cmath>

namespace lyrvox {
namespace {

constexpr const char* kFilter = "audioconvert ! pitch name=keytempo ! audioconvert";
// The LADSPA bridge would take one rate in and claim another out (a 22.05 kHz song
// then played at double speed), so both sides of the shifter are pinned to one rate;
// it takes stereo 32-bit float.
constexpr const char* kRubberBandFilter =
    "audioconvert ! pitch name=keytempo ! audioconvert ! audioresample ! "
    "audio/x-raw,rate=44100,channels=2 ! "
    "ladspa-ladspa-rubberband-so-rubberband-pitchshifter-stereo name=keyshift "
    "formant-preserving=true ! audio/x-raw,rate=44100 ! audioconvert ! audioresample";

}  // namespace

bool installedElement(const char* factoryName) {
    GstElementFactory* factory = gst_element_factory_find(factoryName);
    if (factory == nullptr) return false;
    gst_object_unref(factory);
    return true;
}

const char* keyTempoDescription(bool withRubberBand) {
    return withRubberBand ? kRubberBandFilter : kFilter;
}

KeyTempoSetting keyTempoSetting(int semitones, int tempoPercent, bool withRubberBand) {
    KeyTempoSetting setting;
    setting.tempo = std::clamp(tempoPercent, 10, 1000) / 100.0;
    const int key = std::clamp(semitones, -24, 24);
    // With Rubber Band SoundTouch runs at the song's own key and only stretches.
    setting.pitch = withRubberBand ? 1.0 : std::exp2(key / 12.0);
    setting.octaves = key / 12;
    setting.semitones = key % 12;
    return setting;
}

void applyKeyTempo(GstElement* pitch, GstElement* shifter, const KeyTempoSetting& setting) {
    g_object_set(pitch, "pitch", static_cast<gfloat>(setting.pitch), "tempo",
                 static_cast<gfloat>(setting.tempo), nullptr);
    if (shifter != nullptr)
        g_object_set(shifter, "octaves", setting.octaves, "semitones", setting.semitones, nullptr);
}

}  // namespace lyrvox
