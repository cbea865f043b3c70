#pragma once
// The gain that brings a song to the loudness target (Qt-free).
#include <optional>

namespace lyrvox {

// The highest true peak a song may reach after its gain, in dBTP: a margin for the
// decoder's and the sound server's own resampling.
constexpr double kTruePeakCeilingDbtp = -1.0;

// The gain in dB for a song measured at `integratedLufs` with `truePeakDbtp`:
// target - integrated, lowered so that the true peak stays at or below the ceiling.
// 0 (unity) for a song not measured or silent (no integrated loudness). A song
// whose peak is already above the ceiling is never made louder, only quieter.
double loudnessGainDb(double targetLufs, std::optional<double> integratedLufs, double truePeakDbtp);

// The linear factor for a gain in dB (amplitude: 10^(dB/20)).
double gainFactor(double gainDb);

}  // namespace lyrvox
