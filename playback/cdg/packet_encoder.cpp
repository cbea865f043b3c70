#include "playback/cdg/packet_encoder.h"

namespace lyrvox::encode {

namespace {
uint8_t byte(int value) {
    return static_cast<uint8_t>(value);
}
uint8_t code(Instruction instruction) {
    return static_cast<uint8_t>(instruction);
}
}  // namespace

SubcodePacket packet(uint8_t instruction, std::initializer_list<uint8_t> data, uint8_t command) {
    SubcodePacket p{};
    p.CommandByte = command;
    p.InstructionByte = instruction;
    int i = 0;
    for (uint8_t b : data) p.Data[i++] = b;
    return p;
}

SubcodePacket emptyPacket() {
    return SubcodePacket{};
}

SubcodePacket memoryPreset(int colour, int repeat) {
    return packet(code(Instruction::MemoryPreset), {byte(colour), byte(repeat)});
}

SubcodePacket borderPreset(int colour) {
    return packet(code(Instruction::BorderPreset), {byte(colour)});
}

SubcodePacket tileBlock(int colour0, int colour1, int row, int column,
                        const std::array<uint8_t, 12>& rows, bool xorMode) {
    SubcodePacket p = packet(code(xorMode ? Instruction::TileBlockXor : Instruction::TileBlock),
                             {byte(colour0), byte(colour1), byte(row), byte(column)});
    for (int r = 0; r < 12; ++r) p.Data[4 + r] = rows[static_cast<std::size_t>(r)];
    return p;
}

SubcodePacket solidTile(int colour, int row, int column, bool xorMode) {
    std::array<uint8_t, 12> rows;
    rows.fill(0x3F);
    return tileBlock(0, colour, row, column, rows, xorMode);
}

SubcodePacket loadColours(int base, const std::array<Rgb4, 8>& colours) {
    SubcodePacket p =
        packet(code(base == 0 ? Instruction::LoadColoursLow : Instruction::LoadColoursHigh));
    for (int k = 0; k < 8; ++k) {
        const Rgb4& c = colours[static_cast<std::size_t>(k)];
        p.Data[2 * k] = byte((c.r << 2) | (c.g >> 2));
        p.Data[2 * k + 1] = byte(((c.g & 3) << 4) | c.b);
    }
    return p;
}

SubcodePacket scroll(bool copy, int fill, int hCommand, int hOffset, int vCommand, int vOffset) {
    return packet(code(copy ? Instruction::ScrollCopy : Instruction::ScrollPreset),
                  {byte(fill), byte((hCommand << 4) | hOffset), byte((vCommand << 4) | vOffset)});
}

void append(std::vector<uint8_t>& file, const SubcodePacket& packet) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&packet);
    file.insert(file.end(), bytes, bytes + sizeof packet);
}

std::vector<uint8_t> fileOf(std::initializer_list<SubcodePacket> packets) {
    std::vector<uint8_t> file;
    for (const SubcodePacket& p : packets) append(file, p);
    return file;
}

}  // namespace lyrvox::encode
