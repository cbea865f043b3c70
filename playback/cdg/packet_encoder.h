#pragma once
// Builds CD+G packets and whole graphics files: the demo song, the fuzz seeds and
// the tests draw with these. Every builder sets the command byte 9 (graphics)
// unless told otherwise.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "playback/cdg/subcode_packet.h"

namespace lyrvox::encode {

SubcodePacket packet(uint8_t instruction, std::initializer_list<uint8_t> data = {},
                     uint8_t command = 9);
SubcodePacket emptyPacket();

SubcodePacket memoryPreset(int colour, int repeat = 0);
SubcodePacket borderPreset(int colour);

// A tile at tile row `row` (0-17 on screen), tile column `column` (0-49); rows[r]
// holds the six pixels of tile row r, bit 5 the leftmost.
SubcodePacket tileBlock(int colour0, int colour1, int row, int column,
                        const std::array<uint8_t, 12>& rows, bool xorMode = false);
// A tile whose 72 pixels all take `colour`.
SubcodePacket solidTile(int colour, int row, int column, bool xorMode = false);

// A colour in 4-bit levels.
struct Rgb4 {
    int r, g, b;
};
// Eight colours for entries base..base+7 (base 0 or 8).
SubcodePacket loadColours(int base, const std::array<Rgb4, 8>& colours);

// Scroll preset (copy = false) or scroll copy (copy = true). hCommand: 0 none,
// 1 right, 2 left; vCommand: 0 none, 1 down, 2 up.
SubcodePacket scroll(bool copy, int fill, int hCommand, int hOffset, int vCommand, int vOffset);

// The packets back to back, 24 bytes each, as a graphics file holds them.
void append(std::vector<uint8_t>& file, const SubcodePacket& packet);
std::vector<uint8_t> fileOf(std::initializer_list<SubcodePacket> packets);

}  // namespace lyrvox::encode
