#include "playback/song_files.h"

#include <array>

#include "playback/archive/song_zip.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

struct Suffix {
    const char* name;   // tried after the base path
    const char* shown;  // what the status line shows
};
// Tried in this order; a later find wins.
constexpr std::array<Suffix, 2> kGraphicsSuffixes{{{".CDG", "CDG"}, {".RW", "RW"}}};
constexpr std::array<Suffix, 2> kAudioSuffixes{{{".WAV", "WAV"}, {".MP3", "MP3"}}};
// Looked for only when neither of those is there; the first found wins.
constexpr std::array<Suffix, 5> kOtherAudioSuffixes{
    {{".OGG", "OGG"}, {".OPUS", "OPUS"}, {".FLAC", "FLAC"}, {".M4A", "M4A"}, {".AAC", "AAC"}}};

}  // namespace

SongFiles findSongFiles(const std::string& chosenFile, SessionFiles& files) {
    const std::string basePath = stripExtension(chosenFile);
    SongFiles song;
    for (const Suffix& s : kGraphicsSuffixes) {
        if (auto real = files.find(basePath + s.name)) {
            song.graphics = *real;
            song.graphicsShown = s.shown;
        }
    }
    for (const Suffix& s : kAudioSuffixes) {
        if (auto real = files.find(basePath + s.name)) {
            song.audio = *real;
            song.audioShown = s.shown;
            song.audioPaces = true;
        }
    }
    for (const Suffix& s : kOtherAudioSuffixes) {
        if (song.audioPaces) break;
        if (auto real = files.find(basePath + s.name)) {
            song.audio = *real;
            song.audioShown = s.shown;
            song.audioPaces = true;
        }
    }
    if (song.graphics.empty() && !song.audioPaces) {
        song.audio = chosenFile;  // any other media file is played itself
        song.audioShown = extensionOf(chosenFile);
    }
    return song;
}

std::string playingStatus(const std::string& chosenFile, const SongFiles& song) {
    if (isZipName(chosenFile)) {
        std::string kinds = song.audioShown;
        if (!song.audio.empty() && !song.graphics.empty()) kinds += "/";
        if (!song.graphics.empty()) kinds += song.graphicsShown;
        return "Playing: " + fileNameOf(chosenFile) + " (" + kinds + ")";
    }
    std::string status = "Playing: " + fileNameOf(stripExtension(chosenFile)) + ".";
    if (!song.audio.empty()) {
        status += song.audioShown;
        if (!song.graphics.empty()) status += "/";
    }
    if (!song.graphics.empty()) {
        status += song.graphicsShown;
        if (song.audio.empty()) status += " (only)";
    }
    return status;
}

}  // namespace lyrvox
