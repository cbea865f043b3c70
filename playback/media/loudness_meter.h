#pragma once
// A song's loudness by EBU R128 (libebur128): the audio decoded by GStreamer to
// interleaved 32-bit float at its own rate and measured whole. Qt-free; blocks
// for the length of the decoding, so it runs on a worker thread or in the
// command-line tool.
#include <optional>
#include <string>

namespace lyrvox {

struct LoudnessReading {
    std::string error;  // for the user; empty when the audio was measured
    // Integrated loudness in LUFS; none for audio that never rises above the
    // gate (silence), which then plays at unity gain.
    std::optional<double> integratedLufs;
    // The highest true peak over all channels, in dBTP (-inf for silence).
    double truePeakDbtp = 0.0;
    bool ok() const { return error.empty(); }
};

// Measures an audio file (any kind GStreamer decodes) named by its bytes.
LoudnessReading measureAudioLoudness(const std::string& audioPath);

// Measures a song as the player plays it: a graphics file's audio partner, an
// MP3+G zip's audio entry (unpacked into scratch folders below `scratchRoot`), or
// an audio file itself. A song without audio gets an error.
LoudnessReading measureSongLoudness(const std::string& songPath, const std::string& scratchRoot);

}  // namespace lyrvox
