#include "playback/media/loudness_updater.h"

#include <limits>

#include "library/library_index.h"
#include "library/loudness_store.h"
#include "playback/archive/song_zip.h"
#include "playback/disk_files.h"
#include "playback/media/loudness_meter.h"
#include "playback/song_files.h"

namespace lyrvox {

std::string loudnessSourceOf(const std::string& songPath) {
    if (isZipName(songPath)) return songPath;
    DiskSessionFiles files;
    return findSongFiles(songPath, files).audio;
}

LoudnessUpdate updateLibraryLoudness(LibraryIndex& index, const std::string& scratchRoot,
                                     const std::atomic<bool>& stop,
                                     const std::function<void(const std::string&)>& progress) {
    LoudnessUpdate update;
    LoudnessStore store(index);
    const SearchResult songs = index.search("", std::numeric_limits<int>::max());
    for (const LibrarySong& song : songs.songs) {
        if (stop) break;
        if (!song.available) continue;
        const std::string source = loudnessSourceOf(song.path);
        const std::optional<FileVersion> version =
            source.empty() ? std::nullopt : fileVersion(source);
        if (!version) continue;  // no audio: nothing to play louder or quieter
        if (store.find(source, *version)) {
            ++update.known;
            continue;
        }
        const LoudnessReading reading = measureSongLoudness(song.path, scratchRoot);
        StoredLoudness kept;
        kept.failed = !reading.ok();
        kept.integratedLufs = reading.integratedLufs;
        if (reading.ok()) kept.truePeakDbtp = reading.truePeakDbtp;
        if (!store.save(source, *version, kept)) break;  // the library cannot be written
        ++(kept.failed ? update.failed : update.measured);
        if (progress) progress(song.path);
    }
    return update;
}

}  // namespace lyrvox
