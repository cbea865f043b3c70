#pragma once
// Whether a graphics file can be a CD+G song, from its size and first bytes. The
// library's scan and the player's zip unpacking ask the same question, so that
// the library never lists a song the player refuses.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace lyrvox {

// How much of the start of a graphics file the check reads: about 9 seconds.
constexpr std::size_t kGraphicsHeadBytes = 64 * 1024;

// True when the graphics hold at least one whole 24-byte packet and at most a
// quarter of the packets in `head` (the first bytes, up to kGraphicsHeadBytes)
// carry an instruction that no CD+G song holds: an empty file, a text file or
// random bytes under a .cdg name are refused; blank packets (all zero) are not.
bool graphicsLookPlayable(std::string_view head, std::uint64_t size);

}  // namespace lyrvox
