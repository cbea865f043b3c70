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
        m->beginSession();
        run(loadColours(0, ramp(0)));
        run(loadColours(8, ramp(8)));
    }
    void run(const SubcodePacket& p) { m->InterpretPacket(p); }
    // True when every pixel of the box shows the colour of `index`.
    bool boxShows(int x1, int y1, int x2, int y2, int index) const {
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                if (m->pictureColour(x, y) != rampColour(index)) return false;
        return true;
    }
    std::unique_ptr<CdgMachine> m = std::make_unique<CdgMachine>();
};

TEST(MachineSession, FreshMachineShowsWhiteAndSessionStartClearsToEntryZero) {
    auto m = std::make_unique<CdgMachine>();
    std::vector<uint8_t> rgbBytes(300 * 216 * 3);
    m->renderRgb24(rgbBytes.data());
    for (uint8_t b : rgbBytes) ASSERT_EQ(b, 0xFF);
    // A tile before any session draws on the white picture.
    m->InterpretPacket(loadColours(0, {Rgb4{}, Rgb4{15, 0, 0}}));
    m->InterpretPacket(solidTile(1, 1, 1));
    EXPECT_EQ(m->pictureColour(6, 12), rgb(255, 0, 0));
    EXPECT_EQ(m->pictureColour(0, 0), kWhite);

    // A session clears to entry 0 as the previous song left it and resets origin,
    // offsets and the packet count; the colour table survives.
    m->InterpretPacket(loadColours(0, {Rgb4{1, 2, 3}}));
    m->InterpretPacket(scroll(true, 0, 1, 4, 2, 9));
    m->beginSession();
    EXPECT_EQ(m->XOff + m->YOff + m->HOffset + m->VOffset + m->PacketCount, 0);
    EXPECT_EQ(m->pictureColour(6, 12), rgb(17, 34, 51));
    EXPECT_EQ(m->memoryAtPicture(6, 12), 0);
}

TEST(MachineSession, EveryPacketCountsAndCopiesBFlagIntoUFlag) {
    auto m = std::make_unique<CdgMachine>();
    m->beginSession();
    const auto memoryBefore = m->Pixels;
    const auto pictureBefore = m->CDG.index;
    for (int instruction : {0, 3, 28, 39, 63}) {  // no-ops
        m->UFlag = true;
        m->InterpretPacket(makePacket(static_cast<uint8_t>(instruction), {5, 0, 1, 1, 0x3F}));
        EXPECT_FALSE(m->UFlag) << instruction;  // BFlag still false
    }
    EXPECT_EQ(m->PacketCount, 5);
    EXPECT_EQ(m->Pixels, memoryBefore);
    EXPECT_EQ(m->CDG.index, pictureBefore);
    EXPECT_EQ(m->CurrentColour, 0);
    m->InterpretPacket(borderPreset(0));
    EXPECT_TRUE(m->BFlag && m->UFlag);
    m->UFlag = false;
    m->InterpretPacket(emptyPacket());
    EXPECT_TRUE(m->UFlag);
    // The count saturates rather than overflowing on an endless stream.
    m->PacketCount = INT32_MAX;
    m->InterpretPacket(emptyPacket());
    EXPECT_EQ(m->PacketCount, INT32_MAX);
}

TEST_F(MachineTest, MemoryPresetActsOnlyOnTheFirstOfItsRepeats) {
    run(memoryPreset(7));
    EXPECT_EQ(m->CurrentColour, 7);
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 7));
    for (int x = 0; x < 300; x += 13)
        for (int y = 0; y < 216; y += 7) ASSERT_EQ(m->memoryCell(x, y), 7);
    EXPECT_EQ(m->memoryCell(300, 216), 0);  // the spare column and row are never written
    for (int repeat : {1, 2, 15, 0x41, 0x7F, 0xFF}) {
        m->BFlag = false;
        run(memoryPreset(9, repeat));
        EXPECT_TRUE(m->CurrentColour == 7 && !m->BFlag && boxShows(0, 0, 299, 215, 7)) << repeat;
    }
}

TEST_F(MachineTest, HighBitsOfInstructionAndDataBytesAreIgnored) {
    // A disc rip sets bits 6 and 7 throughout; the first preset must still act.
    run(withHighBits(memoryPreset(4)));
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 4));
    run(makePacket(0x81, {6, 0}));  // instruction 0x81 is memory preset too
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 6));
    run(withHighBits(memoryPreset(2, 1)));  // a repeat stays a repeat
    EXPECT_TRUE(boxShows(0, 0, 299, 215, 6));

    std::array<uint8_t, 12> rows{};
    rows.fill(0x15);
    auto plain = std::make_unique<CdgMachine>(*m);
    plain->InterpretPacket(tileBlock(3, 12, 5, 7, rows));
    run(withHighBits(tileBlock(3, 12, 5, 7, rows)));
    EXPECT_EQ(m->Pixels, plain->Pixels);
    EXPECT_EQ(m->CDG.index, plain->CDG.index);
}

TEST_F(MachineTest, BorderPresetPaintsTheFrameAndLeavesTheInnerAreaAlone) {
    run(memoryPreset(1));
    run(borderPreset(0x4A));  // high bits ignored: colour 10
    EXPECT_EQ(m->CurrentColour, 10);
    EXPECT_TRUE(boxShows(6, 12, 293, 203, 1));
    EXPECT_TRUE(boxShows(0, 0, 299, 11, 10) && boxShows(0, 204, 299, 215, 10));
    EXPECT_TRUE(boxShows(0, 12, 5, 203, 10) && boxShows(294, 12, 299, 203, 10));
    EXPECT_EQ(m->memoryAtPicture(6, 12), 1);
    EXPECT_EQ(m->memoryAtPicture(294, 203), 10);
}

TEST_F(MachineTest, TileBitsRunFromLeftmostBitFiveToRightmostBitZero) {
    run(memoryPreset(0));
    std::array<uint8_t, 12> rows{0x20, 0x01, 0xC0, 0x3F};  // left, right, like 0, all
    run(tileBlock(2, 9, 1, 1, rows));
    const int x0 = 6, y0 = 12;
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0), c == 0 ? 9 : 2);
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0 + 1), c == 5 ? 9 : 2);
        EXPECT_EQ(m->memoryAtPicture(x0 + c, y0 + 2), 2);
        EXPECT_EQ(m->pictureColour(x0 + c, y0 + 3), rampColour(9));
    }
    EXPECT_EQ(m->CurrentColour, 2);
    EXPECT_EQ(m->memoryAtPicture(x0 - 1, y0), 0);  // neighbours untouched
    EXPECT_EQ(m->memoryAtPicture(x0 + 6, y0), 0);
    EXPECT_EQ(m->memoryAtPicture(x0, y0 + 12), 0);
    run(makePacket(6, {0, 5, 2, 2, 0x3F}, /*command=*/0));  // command byte not looked at
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

TEST(ColourTable, LoadsDecodeTheSixBitPairsIgnoringHighBits) {
    auto m = std::make_unique<CdgMachine>();
    m->InterpretPacket(loadColourBytes(
        8, {0x3F, 0x3F, 0x30, 0x00, 0x03, 0x30, 0x00, 0x10, 0x00, 0x0F, 0x7F, 0xFF, 0xC0, 0xC0}));
    const PackedColour expected[] = {rgb(255, 255, 255), rgb(204, 0, 0), rgb(0, 255, 0),
                                     rgb(0, 17, 0),      rgb(0, 0, 255), rgb(255, 255, 255),
                                     rgb(0, 0, 0)};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(m->ColourTable[8 + i], expected[i]) << 8 + i;
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
    // Random bytes with the high bits a disc rip may set, weighted towards the
    // drawing instructions; the sanitizers watch the addressing.
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
        ASSERT_TRUE(m->XOff % 6 == 0 && m->XOff >= 0 && m->XOff <= 294);
        ASSERT_TRUE(m->YOff % 12 == 0 && m->YOff >= 0 && m->YOff <= 204);
        ASSERT_TRUE(m->HOffset >= 0 && m->HOffset <= 7 && m->VOffset >= 0 && m->VOffset <= 15);
    }
    for (uint8_t cell : m->Pixels) ASSERT_LT(cell, 16);
    for (uint8_t index : m->CDG.index) ASSERT_LT(index, 16);
    EXPECT_EQ(m->memoryCell(300, 216), 0);
}

}  // namespace
}  // namespace lyrvox
