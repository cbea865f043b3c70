// The packet interpreter: one handler per CD+G graphics instruction.
#include <array>
#include <bit>
#include <climits>
#include <cstring>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {
namespace {

// One byte in each of the eight lanes of a word.
constexpr uint64_t kByteLanes = 0x0101010101010101ull;

// For each six-bit tile row, the word whose lane i (i = 0 the leftmost pixel) is
// 0xFF when that pixel takes colour 1: bit 5 is the leftmost pixel, bit 0 the
// rightmost. Lane i is byte i in memory order, whatever the byte order.
constexpr std::array<uint64_t, 64> makeTileRowMasks() {
    std::array<uint64_t, 64> masks{};
    for (int bits = 0; bits < 64; ++bits) {
        std::array<uint8_t, 8> lanes{};
        for (int i = 0; i < kTileWidth; ++i)
            if ((bits >> (kTileWidth - 1 - i)) & 1) lanes[static_cast<std::size_t>(i)] = 0xFF;
        masks[static_cast<std::size_t>(bits)] = std::bit_cast<uint64_t>(lanes);
    }
    return masks;
}
constexpr std::array<uint64_t, 64> kTileRowMask = makeTileRowMasks();
constexpr uint64_t kSixLanes = kTileRowMask[0x3F];  // lanes 0-5 of a tile row
// Writes lanes 0-5 of a tile-row word (straight from the register where the byte
// order allows).
inline void storeSixLanes(uint8_t* dst, uint64_t row) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto low = static_cast<uint32_t>(row);
        const auto high = static_cast<uint16_t>(row >> 32);
        std::memcpy(dst, &low, sizeof low);
        std::memcpy(dst + 4, &high, sizeof high);
    } else {
        std::memcpy(dst, &row, 6);
    }
}

static_assert((kScreenHeight - 1) * kMemoryWidth + (kScreenWidth - kTileWidth) + 8 <=
                  kMemoryWidth * kMemoryHeight,
              "a tile-row word at the last ring cell stays inside the memory");

}  // namespace

void CdgMachine::interpret(const SubcodePacket& packet) {
    switch (instructionOf(packet)) {
        case Instruction::MemoryPreset:
            MemoryPreset(packet);
            break;
        case Instruction::BorderPreset:
            BorderPreset(packet);
            break;
        case Instruction::TileBlock:
            TileBlock(packet, false);
            break;
        case Instruction::ScrollPreset:
            ScrollScreen(packet, false);
            break;
        case Instruction::ScrollCopy:
            ScrollScreen(packet, true);
            break;
        case Instruction::LoadColoursLow:
            LoadColourTable(packet, 0);
            break;
        case Instruction::LoadColoursHigh:
            LoadColourTable(packet, 8);
            break;
        case Instruction::TileBlockXor:
            TileBlock(packet, true);
            break;
        case Instruction::DefineTransparentColour:
            DefineTransparency(packet);
            break;
        default:
            break;
    }
    // Saturates instead of overflowing on a file of more than 2^31 packets.
    if (PacketCount < INT32_MAX) ++PacketCount;
    needsRedraw = hasDrawn;
}

void CdgMachine::MemoryPreset(const SubcodePacket& packet) {
    // Only the first packet of a repeated preset acts. The repeat count lives in
    // the low bits; bits 6 and 7 are P/Q channel bits that disc rips often leave
    // set, so they must not turn the first preset into an ignored repeat.
    if ((packet.Data[1] & 0x3F) != 0) return;
    currentColour = packet.Data[0] & 0x0F;
    presetColour = static_cast<int8_t>(currentColour);
    picture.clearTo(static_cast<uint8_t>(currentColour));
    fillArea(0, 0, kScreenWidth, kScreenHeight, currentColour);
    hasDrawn = true;
}

void CdgMachine::BorderPreset(const SubcodePacket& packet) {
    currentColour = packet.Data[0] & 0x0F;
    fillArea(0, 0, 300, 11, currentColour);      // top band
    fillArea(0, 12, 5, 204, currentColour);      // left band
    fillArea(294, 12, 300, 204, currentColour);  // right band
    fillArea(0, 204, 300, 216, currentColour);   // bottom band
    hasDrawn = true;
}

void CdgMachine::TileBlock(const SubcodePacket& packet, bool xorMode) {
    currentColour = packet.Data[0] & 0x0F;
    const uint64_t colour0 = kByteLanes * static_cast<uint64_t>(currentColour);
    const uint64_t colour1 = kByteLanes * static_cast<uint64_t>(packet.Data[1] & 0x0F);
    // Rows 0-31 and columns 0-63 are accepted; tiles past the screen still write
    // memory (through the ring) but no picture pixel.
    const int y0 = (packet.Data[2] & 0x1F) * kTileHeight;
    const int x0 = (packet.Data[3] & 0x3F) * kTileWidth;
    const bool visibleColumns = x0 < kScreenWidth;  // x0 is a multiple of 6: all or none
    if (visibleColumns && y0 < kScreenHeight) picture.materialise();

    // A tile row is six pixels, leftmost first, handled as six byte lanes of one
    // word. Six consecutive columns never meet the same ring cell twice, so the
    // order of drawing inside the tile cannot change the result (an XOR pixel
    // reads only its own cell). With the origin on a tile boundary, as the
    // scrolls keep it, the six ring cells are contiguous.
    const int ringLeft = (x0 + XOff) % kScreenWidth;
    const bool contiguous = XOff >= 0 && ringLeft + kTileWidth <= kScreenWidth;
    int my = (y0 + YOff) % kScreenHeight;
    if (my < 0) my += kScreenHeight;
    for (int r = 0; r < kTileHeight; ++r) {
        const uint64_t on = kTileRowMask[packet.Data[4 + r] & 0x3F];
        uint64_t row = (colour0 & ~on) | (colour1 & on);
        uint8_t* memoryRow = screenMemory.data() + static_cast<std::size_t>(my) * kMemoryWidth;
        if (contiguous) {
            // One 8-byte load and store; the two lanes past the tile are written
            // back unchanged. Even at ring column 294 of row 215 the word stays
            // inside the memory (the spare column and row follow).
            uint64_t cells;
            std::memcpy(&cells, memoryRow + ringLeft, sizeof cells);
            if (xorMode) row ^= cells;
            row = (cells & ~kSixLanes) | (row & kSixLanes);
            std::memcpy(memoryRow + ringLeft, &row, sizeof row);
        } else {
            std::array<uint8_t, 8> lanes = std::bit_cast<std::array<uint8_t, 8>>(row);
            for (int i = 0; i < kTileWidth; ++i) {
                int mx = (x0 + i + XOff) % kScreenWidth;
                if (mx < 0) mx += kScreenWidth;
                uint8_t& cell = memoryRow[mx];
                if (xorMode) lanes[static_cast<std::size_t>(i)] ^= cell;
                cell = lanes[static_cast<std::size_t>(i)];
            }
            row = std::bit_cast<uint64_t>(lanes);
        }
        const int y = y0 + r;
        if (visibleColumns && y < kScreenHeight) storeSixLanes(picture.row(y) + x0, row);
        if (++my == kScreenHeight) my = 0;
    }
    hasDrawn = true;
}

void CdgMachine::LoadColourTable(const SubcodePacket& packet, int base) {
    base = base >= 8 ? 8 : 0;  // the two halves of the table
    for (int k = 0; k < 8; ++k) {
        const int hi = packet.Data[2 * k] & 0x3F;
        const int lo = packet.Data[2 * k + 1] & 0x3F;
        const int red = hi >> 2;
        const int green = ((hi & 0x03) << 2) | ((lo & 0x30) >> 4);
        const int blue = lo & 0x0F;
        // 4-bit levels to 8 bits: 17 x level gives 0, 17, ..., 255.
        colourTable[static_cast<std::size_t>(base + k)] =
            static_cast<PackedColour>((red * 17) | ((green * 17) << 8) | ((blue * 17) << 16));
    }
    // The table is a look-up table: every pixel drawn with a changed entry now
    // shows the new colour, so the display needs a redraw.
    hasDrawn = true;
}

void CdgMachine::DefineTransparency(const SubcodePacket& packet) {
    // Bits 6 and 7 are P/Q channel bits, as in every other data byte.
    for (std::size_t n = 0; n < transparency.size(); ++n) {
        transparency[n] = static_cast<uint8_t>(packet.Data[n] & 0x3F);
        if (transparency[n] != 0) marksTransparency = true;
    }
    hasDrawn = true;
}

}  // namespace lyrvox
