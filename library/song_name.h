#pragma once
// Artist, title and disc id read from a karaoke file's name by the common
// patterns: "Artist - Title", "DISCID-NN - Artist - Title", or, where a folder
// names its songs the other way round, "Title - Artist".
#include <string>
#include <string_view>

namespace lyrvox {

// How a folder orders the two halves of its names; kept per library folder.
enum class NameOrder { ArtistTitle = 0, TitleArtist = 1 };

struct SongName {
    std::string artist;  // empty when the name has no " - " in it
    std::string title;   // never empty for a non-empty stem
    std::string discId;  // "SC8101-03"; empty when none
};

// `stem` is the file name without folder and extension. Underscores count as
// spaces; parts are split at " - " and trimmed. A leading part of letters then
// digits ("SC8101-03", "SF001 05", "DK123") is a disc id when two more parts
// follow it. With more parts than two the extra ones stay with the title
// ("Artist - Title - Live"). Bytes that are not UTF-8 become U+FFFD.
SongName parseSongName(std::string_view stem, NameOrder order);

// `text` with every byte sequence that is not valid UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace lyrvox
