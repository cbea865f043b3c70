#pragma once
// One 24-byte CD+G subcode packet as it lies in a graphics file, and the graphics
// instructions it can carry.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lyrvox {

struct SubcodePacket {
    uint8_t CommandByte;      // not examined
    uint8_t InstructionByte;  // low six bits select the instruction
    uint8_t ParityQ[2];       // not examined
    uint8_t Data[16];         // the instruction's arguments
    uint8_t ParityP[4];       // not examined
};
static_assert(sizeof(SubcodePacket) == 24, "a packet is 24 bytes on disc");

inline constexpr std::size_t kPacketSize = 24;
inline constexpr int kPacketsPerSecond = 300;  // 75 CD sectors of 4 packets

// The low six bits of the instruction byte. Any other value is ignored by the
// machine (0 is the empty packet that keeps time between instructions).
enum class Instruction : uint8_t {
    None = 0,
    MemoryPreset = 1,
    BorderPreset = 2,
    TileBlock = 6,
    ScrollPreset = 20,
    ScrollCopy = 24,
    DefineTransparentColour = 28,
    LoadColoursLow = 30,   // colour-table entries 0-7
    LoadColoursHigh = 31,  // colour-table entries 8-15
    TileBlockXor = 38,
};

inline Instruction instructionOf(const SubcodePacket& packet) {
    return static_cast<Instruction>(packet.InstructionByte & 0x3F);
}

inline SubcodePacket packetFromBytes(const uint8_t* bytes) {
    SubcodePacket p;
    std::memcpy(&p, bytes, sizeof p);
    return p;
}

}  // namespace lyrvox
