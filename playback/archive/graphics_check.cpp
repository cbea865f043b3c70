#include "playback/archive/graphics_check.h"

#include <algorithm>

namespace lyrvox {

bool graphicsLookPlayable(std::string_view head, std::uint64_t size) {
    constexpr std::size_t kPacketBytes = 24;
    if (size < kPacketBytes) return false;
    const std::size_t packets = std::min(head.size(), kGraphicsHeadBytes) / kPacketBytes;
    std::size_t foreign = 0;
    for (std::size_t i = 0; i < packets; ++i) {
        // The low six bits name the packet's mode: 0 is a blank packet, 9 TV graphics,
        // 10 their extended form. The top two bits belong to other subchannels.
        const unsigned mode = static_cast<unsigned char>(head[i * kPacketBytes]) & 0x3Fu;
        foreign += mode != 0 && mode != 9 && mode != 10;
    }
    return foreign * 4 <= packets;
}

}  // namespace lyrvox
