#pragma once
// MP3+G songs kept as zip files: the graphics entry and its audio partner are
// unpacked into a private scratch folder for the length of a session. Hostile
// archives are refused with a message for the user; nothing is ever written
// outside the scratch folder, and the files there get names of the player's own.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "playback/archive/scratch_space.h"

namespace lyrvox {

struct ZipLimits {
    // Checked against the bytes actually inflated, not only against the sizes the
    // archive claims. Graphics: 64 MiB, two and a half hours of CD+G.
    std::uint64_t graphicsBytes = std::uint64_t{64} << 20;
    // The audio is measured against the song's length, which its graphics give at
    // 7200 bytes a second. 3 Mbit/s is above every kind of audio a song comes in:
    // MP3 at most 320 kbit/s, a CD's WAV 1411, a 48 kHz 24-bit WAV 2304, FLAC less
    // than its WAV. The margin covers a tail that outlasts the graphics and tags with
    // cover pictures. Audio with no graphics to time it may last 15 minutes.
    std::uint64_t audioBytesPerSecond = 375'000;
    std::uint64_t audioMarginSeconds = 60;
    std::uint64_t audioAloneSeconds = 15 * 60;

    // The audio's limit beside graphics of `graphicsBytes`, or with none.
    std::uint64_t audioBytes(std::optional<std::uint64_t> graphicsBytes) const;
};

// What a check of a zipped song found, without writing anything.
struct ZipSongCheck {
    std::string error;  // the message the player would show; empty when the song plays
    bool hasGraphics = false;
    std::uint64_t graphicsBytes = 0;  // as inflated
    std::string audioShown;           // "MP3", "WAV"...; empty without audio
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
// either alone when the other is missing. Only that pair is unpacked, under names
// of the player's own ("song.cdg", "song.mp3"), whatever bytes the entries' names
// hold; first the free space in the scratch space is checked against the sizes
// the archive claims.
UnpackedSong unpackSongZip(const std::string& zipPath, ScratchSpace& scratch,
                           const ZipLimits& limits = {});

// Everything unpackSongZip checks, the pair inflated and counted but written
// nowhere: the library lists what the player will play.
ZipSongCheck checkSongZip(const std::string& zipPath, const ZipLimits& limits = {});

// A name cut in its middle to at most about 48 bytes, for messages that fit the screen.
std::string elidedName(const std::string& name);

}  // namespace lyrvox
