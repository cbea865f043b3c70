#pragma once
// One 24-byte CD+G subcode packet as it lies in a graphics file.
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

inline SubcodePacket packetFromBytes(const uint8_t* bytes) {
    SubcodePacket p;
    std::memcpy(&p, bytes, sizeof p);
    return p;
}

}  // namespace lyrvox
