// The CD+G machine driven packet by packet: presets, tiles, colour loads, the
// drawing routines and the rendered picture.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <vector>

#include "playback/cdg_machine.h"
#include "tests/support/packet_builder.h"

namespace lyrvox {
namespace {

using namespace lyrvox::testing;

// Packed colour from 8-bit levels.
constexpr PackedColour rgb(int r, int g, int b) {
    return static_cast<PackedColour>(r | (g << 8) | (b << 16));
}

// Distinct colours for entries 0-15: entry i has red level i, blue level 15 - i.
std::array<Rgb4, 8> ramp(int base) {
    std::array<Rgb4, 8> c{};
    for (int k = 0; k < 8; ++k) c[static_cast<std::size_t>(k)] = {base + k, 3, 15 - base - k};
    return c;
}
PackedColour rampColour(int index) {
    return rgb(index * 17, 3 * 17, (15 - index) * 17);
}

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m = std::make_unique<CdgMachine>();
        m->beginSession();
        m->InterpretPacket(loadColours(0, ramp(0)));
        m->InterpretPacket(loadColours(8, ramp(8)));
    }
    void run(const SubcodePacket& p) { m->InterpretPacket(p); }
    // True when every pixel of the box shows the colour of `index`.
    bool boxShows(int x1, int y1, int x2, int y2, int index) const {
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                if (m->pictureColour(x, y) != rampColour(index)) return false;
        return true;
    }
    std::unique_ptr<CdgMachine> m;
};

TEST(MachineSession, FreshMachineShowsWhiteAndSessionStartClearsToEntryZero) {
    auto m = std::make_unique<CdgMachine>();
    EXPECT_EQ(m->pictureColour(0, 0), kWhite);
    std::vector<uint8_t> rgbBytes(300 * 216 * 3);
    m->renderRgb24(rgbBytes.data());
    for (uint8_t b : rgbBytes) ASSERT_EQ(b, 0xFF);

    m->beginSession();
    EXPECT_EQ(m->pictureColour(299, 215), rgb(0, 0, 0));  // first session: black
    for (int16_t i = 0; i < 6; ++i) EXPECT_EQ(m->PowersOfTwo[static_cast<std::size_t>(i)], 1 << i);

    // A later session clears to entry 0 as the previous song left it, and resets
    // origin, offsets and the packet count; the colour table survives.
    m->InterpretPacket(loadColours(0, {Rgb4{1, 2, 3}}));
    m->InterpretPacket(scroll(true, 0, 1, 4, 2, 9));
    m->InterpretPacket(solidTile(5, 3, 3));
    m->beginSession();
    EXPECT_EQ(m->XOff, 0);
    EXPECT_EQ(m->YOff, 0);
    EXPECT_EQ(m->HOffset, 0);
    EXPECT_EQ(m->VOffset, 0);
    EXPECT_EQ(m->PacketCount, 0);
    EXPECT_EQ(m->pictureColour(20, 40), rgb(17, 34, 51));
    EXPECT_EQ(m->memoryAtPicture(20, 40), 0);
}

TEST(MachineSession, TileBeforeAnySessionDrawsOnWhite) {
    auto m = std::make_unique<CdgMachine>();
    m->InterpretPacket(loadColours(0, {Rgb4{}, Rgb4{15, 0, 0}}));
    m->InterpretPacket(solidTile(1, 1, 1));
    EXPECT_EQ(m->pictureColour(6, 12), rgb(255, 0, 0));
    EXPECT_EQ(m->pictureColour(0, 0), kWhite);
}

TEST_F(MachineTest, EveryPacketCountsAndCopiesBFlagIntoUFlag) {
    auto fresh = std::make_unique<CdgMachine>();
    fresh->beginSession();
    const auto memoryBefore = fresh->Pixels;
    for (int instruction : {0, 3, 28, 39, 63}) {
        fresh->UFlag = true;
        fresh->InterpretPacket(makePacket(static_cast<uint8_t>(instruction), {5, 0, 1, 1, 0x3F}));
        EXPECT_FALSE(fresh->UFlag) << instruction;  // BFlag still false
    }
    EXPECT_EQ(fresh->PacketCount, 5);
    EXPECT_EQ(fresh->Pixels, memoryBefore);
    EXPECT_EQ(fresh->pictureColour(10, 10), rgb(0, 0, 0));
    EXPECT_EQ(fresh->CurrentColour, 0);

    fresh->InterpretPacket(borderPreset(0));
    EXPECT_TRUE(fresh->BFlag);
    EXPECT_TRUE(fresh->UFlag);
    fresh->UFlag = false;
    fresh->InterpretPacket(emptyPacket());
    EXPECT_TRUE(fresh->UFlag);

    // The count saturates rather than overflowing on an endless stream.
    fresh->PacketCount = INT32_MAX;
    fresh->InterpretPacket(emptyPacket());
    EXPECT_EQ(fresh->PacketCount, INT32_MAX);
}

TEST_F(MachineTest, MemoryPresetActsOnlyOnTheFirstOfItsRepeats) {
    run(memoryPreset(7));
    EXPECT_EQ(m->CurrentColour, 7);
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 7));
    for (int x = 0; x < 300; x += 13)
        for (int y = 0; y < 216; y += 7) ASSERT_EQ(m->memoryCell(x, y), 7);
    EXPECT_EQ(m->memoryCell(300, 216), 0);  // the spare column and row are never written

    auto repeatsIgnored = [&](int repeat) {
        m->BFlag = false;
        run(memoryPreset(9, repeat));
        return m->CurrentColour == 7 && !m->BFlag && boxShows(0, 0, 299, 215, 7);
    };
    for (int repeat : {1, 2, 15, 0x41, 0x7F, 0xFF}) EXPECT_TRUE(repeatsIgnored(repeat)) << repeat;
}

TEST_F(MachineTest, HighBitsOfInstructionAndDataBytesAreIgnored) {
    // A disc rip sets bits 6 and 7 throughout; the first preset must still act.
    run(withHighBits(memoryPreset(4)));
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 4));
    run(makePacket(0x81, {6, 0}));  // instruction 0x81 is memory preset too
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 6));
    run(withHighBits(memoryPreset(2, 1)));  // a repeat stays a repeat
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 6));

    // Tile with every byte's high bits set draws as the plain tile.
    std::array<uint8_t, 12> rows{};
    rows.fill(0x15);
    auto plain = std::make_unique<CdgMachine>(*m);
    plain->InterpretPacket(tileBlock(3, 12, 5, 7, rows));
    run(withHighBits(tileBlock(3, 12, 5, 7, rows)));
    EXPECT_EQ(m->Pixels, plain->Pixels);
    EXPECT_EQ(m->CDG.index, plain->CDG.index);

    // Colour load: (0x7F, 0xFF) decodes like (0x3F, 0x3F).
    run(loadColourBytes(0, {0x7F, 0xFF}));
    EXPECT_EQ(m->ColourTable[0], rgb(255, 255, 255));
}

TEST_F(MachineTest, BorderPresetPaintsTheFrameAndLeavesTheInnerAreaAlone) {
    run(memoryPreset(1));
    run(borderPreset(0x4A));  // high bits ignored: colour 10
    EXPECT_EQ(m->CurrentColour, 10);
    EXPECT_TRUE(boxShows(6, 12, 293, 203, 1));
    EXPECT_TRUE(boxShows(0, 0, 299, 11, 10));
    EXPECT_TRUE(boxShows(0, 204, 299, 215, 10));
    EXPECT_TRUE(boxShows(0, 12, 5, 203, 10));
    EXPECT_TRUE(boxShows(294, 12, 299, 203, 10));
    EXPECT_EQ(m->memoryAtPicture(6, 12), 1);
    EXPECT_EQ(m->memoryAtPicture(5, 100), 10);
    EXPECT_EQ(m->memoryAtPicture(294, 203), 10);
}

TEST_F(MachineTest, TileBitsRunFromLeftmostBitFiveToRightmostBitZero) {
    run(memoryPreset(0));
    std::array<uint8_t, 12> rows{};
    rows[0] = 0x20;  // leftmost only
    rows[1] = 0x01;  // rightmost only
    rows[2] = 0xC0;  // like 0x00
    rows[3] = 0x3F;
    run(tileBlock(2, 9, 1, 1, rows));
    const int x0 = 6, y0 = 12;
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0), c == 0 ? 9 : 2);
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0 + 1), c == 5 ? 9 : 2);
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0 + 2), 2);
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0 + 3), 9);
        EXPECT_EQ(m->pictureColour(x0 + c, y0 + 3), rampColour(9));
    }
    EXPECT_EQ(m->CurrentColour, 2);
    EXPECT_EQ(m->memoryAtPicture(x0 - 1, y0), 0);  // neighbours untouched
    EXPECT_EQ(m->memoryAtPicture(x0 + 6, y0), 0);
    EXPECT_EQ(m->memoryAtPicture(x0, y0 + 12), 0);

    // Command byte 0 is not looked at.
    run(makePacket(6, {0, 5, 2, 2, 0x3F}, /*command=*/0));
    EXPECT_EQ(m->memoryAtPicture(12, 24), 5);
}

TEST_F(MachineTest, TilesAtTheLastColumnAndRowAndBeyondTheScreen) {
    run(memoryPreset(0));
    run(solidTile(4, 17, 49));
    EXPECT_TRUE(boxShows(294, 204, 299, 215, 4));
    EXPECT_TRUE(boxShows(288, 204, 293, 215, 0));

    // Column 50 (x0 = 300) and row 18 (y0 = 216) wrap in memory only.
    const auto pictureBefore = m->CDG.index;
    run(solidTile(5, 0, 50));
    EXPECT_EQ(m->memoryCell(0, 0), 5);
    EXPECT_EQ(m->memoryCell(5, 11), 5);
    run(solidTile(6, 18, 0));
    EXPECT_EQ(m->memoryCell(0, 0), 6);
    run(solidTile(7, 31, 63));  // x0 = 378, y0 = 372 -> cells (78..83, 156..167)
    EXPECT_EQ(m->memoryCell(78, 156), 7);
    EXPECT_EQ(m->memoryCell(83, 167), 7);
    EXPECT_EQ(m->CDG.index, pictureBefore);
}

TEST_F(MachineTest, XorTileCombinesWithMemoryAndTwiceRestores) {
    run(memoryPreset(0));
    run(solidTile(0b0101, 3, 3));
    const auto memoryBefore = m->Pixels;
    const auto pictureBefore = m->CDG.index;
    std::array<uint8_t, 12> rows{};
    rows.fill(0x2A);
    const SubcodePacket x = tileBlock(0b0011, 0b1100, 3, 3, rows, /*xorMode=*/true);
    run(x);
    EXPECT_EQ(m->memoryAtPicture(18, 36), 0b0101 ^ 0b1100);  // bit 5 on: colour 1
    EXPECT_EQ(m->memoryAtPicture(19, 36), 0b0101 ^ 0b0011);
    EXPECT_EQ(m->pictureColour(19, 36), rampColour(0b0110));
    run(x);
    EXPECT_EQ(m->Pixels, memoryBefore);
    EXPECT_EQ(m->CDG.index, pictureBefore);
}

TEST(ColourTable, LoadsDecodeTheSixBitPairs) {
    auto m = std::make_unique<CdgMachine>();
    m->InterpretPacket(loadColourBytes(
        8, {0x3F, 0x3F, 0x30, 0x00, 0x03, 0x30, 0x00, 0x10, 0x00, 0x0F, 0x7F, 0xFF, 0xC0, 0xC0}));
    EXPECT_EQ(m->ColourTable[8], rgb(255, 255, 255));
    EXPECT_EQ(m->ColourTable[9], rgb(204, 0, 0));
    EXPECT_EQ(m->ColourTable[10], rgb(0, 255, 0));
    EXPECT_EQ(m->ColourTable[11], rgb(0, 17, 0));
    EXPECT_EQ(m->ColourTable[12], rgb(0, 0, 255));
    EXPECT_EQ(m->ColourTable[13], rgb(255, 255, 255));
    EXPECT_EQ(m->ColourTable[14], rgb(0, 0, 0));
    EXPECT_EQ(m->ColourTable[0], rgb(0, 0, 0));  // the lower half is untouched
}

TEST_F(MachineTest, ColourLoadRecoloursEverythingDrawnWithTheEntry) {
    run(memoryPreset(2));
    run(solidTile(3, 5, 5));
    m->BFlag = false;
    run(loadColours(0, {Rgb4{0, 0, 0}, Rgb4{0, 0, 0}, Rgb4{15, 15, 0}, Rgb4{0, 15, 15}}));
    EXPECT_EQ(m->pictureColour(30, 60), rgb(0, 255, 255));  // tile, entry 3
    EXPECT_EQ(m->pictureColour(0, 0), rgb(255, 255, 0));    // background, entry 2
    EXPECT_EQ(m->memoryAtPicture(30, 60), 3);               // memory keeps indices
    EXPECT_TRUE(m->BFlag);  // the picture changed, so the display must redraw
    EXPECT_TRUE(m->UFlag);
}

TEST_F(MachineTest, FillAreaAddressesMemoryThroughTheRingAndThePictureDirectly) {
    run(memoryPreset(0));
    m->XOff = 294;
    m->YOff = 204;
    m->PlotPixel(0, 0, 11);
    m->PlotPixel(10, 20, 12);
    EXPECT_EQ(m->memoryCell(294, 204), 11);
    EXPECT_EQ(m->memoryCell(4, 8), 12);
    EXPECT_EQ(m->pictureColour(0, 0), rampColour(11));
    m->PlotPixel(300, 216, 13);  // outside the picture: memory only
    EXPECT_EQ(m->memoryCell(294, 204), 13);
    EXPECT_EQ(m->pictureColour(0, 0), rampColour(11));

    m->FillArea(0, 0, 5, 215, 1);
    for (int y = 0; y < 216; ++y) {
        ASSERT_EQ(m->memoryCell(294, y), 1);
        ASSERT_EQ(m->memoryCell(299, y), 1);
        ASSERT_EQ(m->memoryCell(0, y), 0);
    }
    EXPECT_TRUE(boxShows(0, 0, 5, 215, 1));

    m->XOff = 6;
    m->YOff = 12;
    m->FillArea(0, 0, 0, 0, 3);
    EXPECT_EQ(m->memoryCell(6, 12), 3);
    EXPECT_EQ(m->pictureColour(0, 0), rampColour(3));

    // x1 > x2: memory untouched, the picture box still drawn with ordered corners.
    const auto memoryBefore = m->Pixels;
    m->FillArea(10, 20, 5, 30, 2);
    EXPECT_EQ(m->Pixels, memoryBefore);
    EXPECT_TRUE(boxShows(5, 20, 10, 30, 2));
    EXPECT_NE(m->pictureColour(11, 20), rampColour(2));

    // A range ending at 300 writes the memory of picture column 0 too, but the
    // picture's column 0 keeps its colour.
    m->FillArea(294, 50, 300, 50, 4);
    EXPECT_EQ(m->memoryAtPicture(0, 50), 4);
    EXPECT_NE(m->pictureColour(0, 50), rampColour(4));

    // A full-screen fill covers every addressed cell whatever the origin.
    m->FillArea(0, 0, 300, 216, 0);
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 300; ++x) ASSERT_EQ(m->memoryCell(x, y), 0);
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 0));
}

TEST_F(MachineTest, Argb32RenderHonoursTheRowStride) {
    run(memoryPreset(1));
    run(solidTile(14, 2, 3));
    const int stride = 310;  // words between rows, wider than the picture
    std::vector<uint32_t> argb(static_cast<std::size_t>(stride) * 216, 0u);
    m->renderArgb32(argb.data(), stride);
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(argb[static_cast<std::size_t>(y * stride + x)],
                      toArgb(m->pictureColour(x, y)));
    EXPECT_EQ(argb[300], 0u);  // padding beyond the row is not written
}

TEST(MachineRobustness, ArbitraryPacketsKeepEveryIndexInRange) {
    // Random bytes, weighted towards the instructions that draw, with the high
    // bits a disc rip may set. Memory and picture must keep 4-bit indices and the
    // origin must stay on tile boundaries (the sanitizers watch the addressing).
    std::mt19937 random(20261206);
    const uint8_t drawing[] = {1, 2, 6, 20, 24, 28, 30, 31, 38};
    auto m = std::make_unique<CdgMachine>();
    m->beginSession();
    for (int i = 0; i < 20000; ++i) {
        SubcodePacket p{};
        auto* bytes = reinterpret_cast<uint8_t*>(&p);
        for (std::size_t b = 0; b < sizeof p; ++b) bytes[b] = static_cast<uint8_t>(random());
        if (i % 4 != 0)
            p.InstructionByte = static_cast<uint8_t>((p.InstructionByte & 0xC0) |
                                                     drawing[random() % std::size(drawing)]);
        m->InterpretPacket(p);
        ASSERT_EQ(m->XOff % 6, 0);
        ASSERT_EQ(m->YOff % 12, 0);
        ASSERT_TRUE(m->XOff >= 0 && m->XOff <= 294 && m->YOff >= 0 && m->YOff <= 204);
        ASSERT_TRUE(m->HOffset >= 0 && m->HOffset <= 7 && m->VOffset >= 0 && m->VOffset <= 15);
    }
    EXPECT_EQ(m->PacketCount, 20000);
    for (uint8_t cell : m->Pixels) ASSERT_LT(cell, 16);
    for (uint8_t index : m->CDG.index) ASSERT_LT(index, 16);
    EXPECT_EQ(m->memoryCell(300, 216), 0);
}

}  // namespace
}  // namespace lyrvox
