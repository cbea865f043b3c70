#include "playback/media/loudness_gain.h"

#include <algorithm>
#include <cmath>

namespace lyrvox {

double loudnessGainDb(double targetLufs, std::optional<double> integratedLufs,
                      double truePeakDbtp) {
    if (!integratedLufs || !std::isfinite(*integratedLufs)) return 0.0;
    double gain = targetLufs - *integratedLufs;
    if (std::isfinite(truePeakDbtp)) gain = std::min(gain, kTruePeakCeilingDbtp - truePeakDbtp);
    return gain;
}

double gainFactor(double gainDb) {
    return std::pow(10.0, gainDb / 20.0);
}

}  // namespace lyrvox
