#pragma once
// Measures the library's songs that have no loudness for their file's present
// version, one at a time, and keeps each reading in the index (LoudnessStore).
// Qt-free; blocks for as long as it measures, so it runs in a process or thread
// of its own at low priority.
#include <atomic>
#include <functional>
#include <string>

namespace lyrvox {

class LibraryIndex;

// The file whose version a song's loudness belongs to: a zip itself, else the audio
// the player plays (a graphics file's partner, or an audio file). Empty when the
// song has no audio.
std::string loudnessSourceOf(const std::string& songPath);

struct LoudnessUpdate {
    int measured = 0;  // read and kept
    int failed = 0;    // without audio, or unreadable: kept as such, not tried again
    int known = 0;     // already measured in this version
};

// Goes through every song in the index until done or `stop` is set; `progress`
// hears of each song measured (its path).
LoudnessUpdate updateLibraryLoudness(LibraryIndex& index, const std::string& scratchRoot,
                                     const std::atomic<bool>& stop,
                                     const std::function<void(const std::string&)>& progress = {});

}  // namespace lyrvox
