#pragma once
// Builders for CD+G packets and whole graphics files, for tests, fuzz seeds and
// the demo song. Every builder sets the command byte 9 (graphics) unless told.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "playback/subcode_packet.h"

namespace lyrvox::testing {

inline SubcodePacket makePacket(uint8_t instruction, std::initializer_list<uint8_t> data = {},
                                uint8_t command = 9) {
    SubcodePacket p{};
    p.CommandByte = command;
    p.InstructionByte = instruction;
    int i = 0;
    for (uint8_t b : data) p.Data[i++] = b;
    return p;
}

inline SubcodePacket memoryPreset(int colour, int repeat = 0) {
    return makePacket(1, {static_cast<uint8_t>(colour), static_cast<uint8_t>(repeat)});
}
inline SubcodePacket borderPreset(int colour) {
    return makePacket(2, {static_cast<uint8_t>(colour)});
}

// A tile at tile row `row` (0-17 on screen), tile column `column` (0-49); rows[r]
// holds the six pixels of tile row r, bit 5 the leftmost.
inline SubcodePacket tileBlock(int colour0, int colour1, int row, int column,
                               const std::array<uint8_t, 12>& rows, bool xorMode = false) {
    SubcodePacket p = makePacket(xorMode ? 38 : 6);
    p.Data[0] = static_cast<uint8_t>(colour0);
    p.Data[1] = static_cast<uint8_t>(colour1);
    p.Data[2] = static_cast<uint8_t>(row);
    p.Data[3] = static_cast<uint8_t>(column);
    for (int r = 0; r < 12; ++r) p.Data[4 + r] = rows[static_cast<std::size_t>(r)];
    return p;
}
// A tile whose 72 pixels all take colour1 (rows 0x3F).
inline SubcodePacket solidTile(int colour, int row, int column, bool xorMode = false) {
    std::array<uint8_t, 12> rows;
    rows.fill(0x3F);
    return tileBlock(0, colour, row, column, rows, xorMode);
}

// Eight colours of 4-bit levels (red, green, blue) for entries base..base+7.
struct Rgb4 {
    int r, g, b;
};
inline SubcodePacket loadColours(int base, const std::array<Rgb4, 8>& colours) {
    SubcodePacket p = makePacket(base == 0 ? 30 : 31);
    for (int k = 0; k < 8; ++k) {
        const Rgb4& c = colours[static_cast<std::size_t>(k)];
        p.Data[2 * k] = static_cast<uint8_t>((c.r << 2) | (c.g >> 2));
        p.Data[2 * k + 1] = static_cast<uint8_t>(((c.g & 3) << 4) | c.b);
    }
    return p;
}

// Scroll preset (copy = false, instruction 20) or scroll copy (copy = true, 24).
// hCommand: 0 none, 1 right, 2 left; vCommand: 0 none, 1 down, 2 up.
inline SubcodePacket scroll(bool copy, int fill, int hCommand, int hOffset, int vCommand,
                            int vOffset) {
    return makePacket(copy ? 24 : 20,
                      {static_cast<uint8_t>(fill), static_cast<uint8_t>((hCommand << 4) | hOffset),
                       static_cast<uint8_t>((vCommand << 4) | vOffset)});
}

inline SubcodePacket emptyPacket() {
    return SubcodePacket{};
}

// Colour-table load from raw (hi, lo) byte pairs, for testing the decoding itself.
inline SubcodePacket loadColourBytes(int base, const std::array<uint8_t, 16>& bytes) {
    SubcodePacket p = makePacket(base == 0 ? 30 : 31);
    for (int i = 0; i < 16; ++i) p.Data[i] = bytes[static_cast<std::size_t>(i)];
    return p;
}

// The packet as a disc rip may carry it: bits 6 and 7 (P and Q channel bits) set in
// the instruction byte and in every data byte. The CD+G meaning is unchanged.
inline SubcodePacket withHighBits(SubcodePacket p, uint8_t bits = 0xC0) {
    p.InstructionByte = static_cast<uint8_t>(p.InstructionByte | bits);
    for (uint8_t& b : p.Data) b = static_cast<uint8_t>(b | bits);
    return p;
}

inline void append(std::vector<uint8_t>& file, const SubcodePacket& p) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&p);
    file.insert(file.end(), bytes, bytes + sizeof p);
}
inline std::vector<uint8_t> fileOf(std::initializer_list<SubcodePacket> packets) {
    std::vector<uint8_t> file;
    for (const auto& p : packets) append(file, p);
    return file;
}

}  // namespace lyrvox::testing
