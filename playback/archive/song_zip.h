#pragma once
// MP3+G songs kept as zip files: the graphics entry and its audio partner are
// unpacked into a private scratch folder for the length of a session. Hostile
// archives are refused with a message for the user; nothing is ever written
// outside the scratch folder, whose file names come from the entries' last
// components only.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "playback/archive/scratch_space.h"

namespace lyrvox {

struct ZipLimits {
    // Checked against the bytes actually inflated, not only against the sizes the
    // archive claims.
    std::uint64_t graphicsBytes = std::uint64_t{64} << 20;
    std::uint64_t totalBytes = std::uint64_t{1} << 30;
};

struct UnpackedSong {
    std::string error;     // the message for the user; empty when unpacked
    std::string graphics;  // unpacked paths; either may be empty, not both
    std::string audio;
    std::string audioShown;                 // "MP3", "WAV", "OGG" ...: the audio's kind
    std::unique_ptr<ScratchFolder> folder;  // holds them; removed with it
};

// True for a name ending in ".zip" in any letter case.
bool isZipName(const std::string& path);

// Audio partners by precedence, as playback picks them: MP3, WAV, OGG, OPUS, FLAC,
// M4A, AAC. The rank of an extension (without its full stop, any case), or -1
// when it is no audio partner; and the kind's name for a rank ("MP3").
int audioPartnerRank(std::string_view extension);
const char* audioPartnerKind(int rank);

// The song in the zip: a .cdg entry (any case, in any folder of the archive) and
// the audio entry of the same base name (MP3 before WAV, then OGG, OPUS, FLAC,
// M4A, AAC), or the only graphics and the only audio entry whatever their names;
// either alone when the other is missing.
UnpackedSong unpackSongZip(const std::string& zipPath, ScratchSpace& scratch,
                           const ZipLimits& limits = {});

}  // namespace lyrvox
