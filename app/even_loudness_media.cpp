#include "app/even_loudness_media.h"

#include <limits>

#include "app/settings_store.h"
#include "library/library_index.h"
#include "library/loudness_store.h"
#include "playback/archive/song_zip.h"
#include "playback/media/loudness_gain.h"

namespace lyrvox {

void EvenLoudnessMedia::open(const std::string& path, bool alternativeDevice) {
    inner_.open(path, alternativeDevice);
    gainDb_ = gainFor(path);
    inner_.setLoudnessGain(gainDb_);
    songFile_.clear();  // told again for each song
}

double EvenLoudnessMedia::gainFor(const std::string& audioPath) {
    if (settings_.readNumber(settings::kEvenLoudness) == 0 || !index_) return 0.0;
    LibraryIndex* index = index_();
    if (index == nullptr || !index->isOpen()) return 0.0;
    // A zipped song's audio is a fresh copy each time: its reading is the zip's.
    const std::string source = isZipName(songFile_) ? songFile_ : audioPath;
    const std::optional<FileVersion> version = fileVersion(source);
    if (!version) return 0.0;
    const std::optional<StoredLoudness> found = LoudnessStore(*index).find(source, *version);
    if (!found || found->failed) return 0.0;
    return loudnessGainDb(settings_.readNumber(settings::kLoudnessTargetLufs),
                          found->integratedLufs,
                          found->truePeakDbtp.value_or(-std::numeric_limits<double>::infinity()));
}

}  // namespace lyrvox
