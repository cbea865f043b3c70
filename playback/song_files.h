#pragma once
// The files of one song, found beside the chosen file by its base name, and the
// status line that names them. Plain functions over SessionFiles.
#include <string>

#include "playback/session_host.h"

namespace lyrvox {

struct SongFiles {
    std::string graphics;       // real name on disk; empty when none
    std::string graphicsShown;  // "RW" or "CDG"
    // What the media control plays: the audio partner, or the chosen file itself
    // when the song has neither graphics nor audio partner; empty for graphics alone.
    std::string audio;
    std::string audioShown;   // "MP3", "WAV", "OGG"..., or the chosen file's own extension
    bool audioPaces = false;  // an audio partner was found
};

// Graphics: NAME.RW before NAME.CDG; audio: NAME.MP3 before NAME.WAV, and only
// when neither exists the first of NAME.OGG, .OPUS, .FLAC, .M4A, .AAC; each found
// without regard to letter case; NAME is the chosen file without its extension.
SongFiles findSongFiles(const std::string& chosenFile, SessionFiles& files);

// "Playing: NAME.MP3/CDG", "Playing: NAME.CDG (only)", "Playing: NAME.MP3",
// "Playing: clip.avi"; for a zip its whole name: "Playing: NAME.zip (MP3/CDG)".
std::string playingStatus(const std::string& chosenFile, const SongFiles& song);

}  // namespace lyrvox
