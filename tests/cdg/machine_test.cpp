// The CD+G machine driven packet by packet: presets, tiles, colour loads, scrolls
// and the rendered picture. Pictures are compared by index (what was drawn) or by
// colour (what shows through the table).
#include "playback/cdg/cdg_machine.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <vector>

#include "playback/cdg/packet_encoder.h"

namespace lyrvox {
namespace {

using namespace lyrvox::encode;
using Machine = std::unique_ptr<CdgMachine>;  // the machine is too big for the stack

constexpr PackedColour rgb(int r, int g, int b) {
    return static_cast<PackedColour>(r | (g << 8) | (b << 16));
}
// The table the fixture loads: entry i is red level i, green 3, blue 15 - i.
PackedColour ramp(int i) {
    return rgb(i * 17, 51, (15 - i) * 17);
}
// The packet as a disc rip may carry it: bits 6 and 7 set in every byte the
// machine reads. The meaning is unchanged.
SubcodePacket withHighBits(SubcodePacket p) {
    p.InstructionByte |= 0xC0;
    for (uint8_t& b : p.Data) b |= 0xC0;
    return p;
}
bool sameDrawing(const CdgMachine& a, const CdgMachine& b) {
    return a.screenMemory == b.screenMemory && a.picture.index == b.picture.index;
}
// Nothing writes the memory's spare column and row.
bool spareUntouched(const CdgMachine& m) {
    for (int y = 0; y < kMemoryHeight; ++y)
        if (m.memoryCell(300, y) != 0) return false;
    for (int x = 0; x < kMemoryWidth; ++x)
        if (m.memoryCell(x, 216) != 0) return false;
    return true;
}

class MachineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m->beginSession();
        for (int base : {0, 8}) {
            std::array<Rgb4, 8> c;
            for (int k = 0; k < 8; ++k) c[std::size_t(k)] = {base + k, 3, 15 - base - k};
            run(loadColours(base, c));
        }
    }
    void run(const SubcodePacket& p) { m->interpret(p); }
    bool shows(int x1, int y1, int x2, int y2, int index) const {
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                if (m->pictureColour(x, y) != ramp(index)) return false;
        return true;
    }
    Machine m = std::make_unique<CdgMachine>();
};

TEST(MachineSession, FreshMachineShowsWhiteAndSessionStartClearsToEntryZero) {
    Machine m = std::make_unique<CdgMachine>();
    std::vector<uint8_t> rgb24(300 * 216 * 3);
    m->renderRgb24(rgb24.data());
    for (uint8_t b : rgb24) ASSERT_EQ(b, 0xFF);
    m->interpret(loadColours(0, {Rgb4{}, Rgb4{15, 0, 0}}));
    m->interpret(solidTile(1, 1, 1));  // drawn before any session: the rest stays white
    EXPECT_EQ(m->pictureColour(6, 12), rgb(255, 0, 0));
    EXPECT_EQ(m->pictureColour(0, 0), kWhite);
    // The session clears to entry 0 as the table stands and resets origin, fine
    // offsets and the count; the colour table survives.
    m->interpret(loadColours(0, {Rgb4{1, 2, 3}}));
    m->interpret(scroll(true, 0, 1, 4, 2, 9));
    m->beginSession();
    EXPECT_EQ(m->XOff + m->YOff + m->HOffset + m->VOffset + m->PacketCount, 0);
    EXPECT_EQ(m->pictureColour(6, 12), rgb(17, 34, 51));
    EXPECT_EQ(m->memoryAtPicture(6, 12), 0);
}

TEST(MachineSession, EveryPacketCountsAndCopiesHasDrawnIntoNeedsRedraw) {
    Machine m = std::make_unique<CdgMachine>();
    m->beginSession();
    const Machine before = std::make_unique<CdgMachine>(*m);
    for (uint8_t instruction : {0, 3, 28, 39, 63}) {  // no effect on this screen
        m->needsRedraw = true;
        m->interpret(packet(instruction, {5, 0, 1, 1, 0x3F}));
        EXPECT_FALSE(m->needsRedraw) << int(instruction);
    }
    EXPECT_EQ(m->PacketCount, 5);
    EXPECT_TRUE(sameDrawing(*m, *before) && m->currentColour == 0);
    m->interpret(borderPreset(0));
    EXPECT_TRUE(m->hasDrawn && m->needsRedraw);
    m->needsRedraw = false;
    m->interpret(emptyPacket());
    EXPECT_TRUE(m->needsRedraw);
    m->PacketCount = INT32_MAX;  // an endless stream saturates the count
    m->interpret(emptyPacket());
    EXPECT_EQ(m->PacketCount, INT32_MAX);
}

TEST_F(MachineTest, MemoryPresetActsOnceAndHighBitsAreIgnored) {
    run(withHighBits(memoryPreset(7)));  // a rip's first clear must still act
    EXPECT_TRUE(m->currentColour == 7 && shows(0, 0, 299, 215, 7));
    for (int i = 0; i < 300 * 216; i += 97) ASSERT_EQ(m->memoryAtPicture(i % 300, i / 300), 7);
    for (int repeat : {1, 15, 0x41, 0x7F, 0xFF}) {
        m->hasDrawn = false;
        run(memoryPreset(9, repeat));
        EXPECT_TRUE(m->currentColour == 7 && !m->hasDrawn && shows(0, 0, 299, 215, 7)) << repeat;
    }
    std::array<uint8_t, 12> rows;
    rows.fill(0x15);
    Machine plain = std::make_unique<CdgMachine>(*m);
    plain->interpret(tileBlock(3, 12, 5, 7, rows));
    run(withHighBits(tileBlock(3, 12, 5, 7, rows)));
    EXPECT_TRUE(sameDrawing(*m, *plain));
}

TEST_F(MachineTest, BorderPresetPaintsTheFrameOnly) {
    run(memoryPreset(1));
    run(borderPreset(10));
    EXPECT_TRUE(m->currentColour == 10 && shows(6, 12, 293, 203, 1));
    EXPECT_TRUE(shows(0, 0, 299, 11, 10) && shows(0, 204, 299, 215, 10));
    EXPECT_TRUE(shows(0, 12, 5, 203, 10) && shows(294, 12, 299, 203, 10));
    EXPECT_EQ(m->memoryAtPicture(6, 12), 1);
    EXPECT_EQ(m->memoryAtPicture(294, 203), 10);
}

TEST_F(MachineTest, TileBitsRunFromLeftmostBitFiveToRightmostBitZero) {
    run(memoryPreset(0));
    run(tileBlock(2, 9, 1, 1, {0x20, 0x01, 0xC0, 0x3F}));  // left, right, none, all
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(m->memoryAtPicture(6 + c, 12), c == 0 ? 9 : 2);
        EXPECT_EQ(m->memoryAtPicture(6 + c, 13), c == 5 ? 9 : 2);
        EXPECT_EQ(m->memoryAtPicture(6 + c, 14), 2);
        EXPECT_EQ(m->pictureColour(6 + c, 15), ramp(9));
    }
    EXPECT_EQ(m->currentColour, 2);
    EXPECT_TRUE(shows(5, 12, 5, 23, 0) && shows(12, 12, 12, 23, 0) && shows(6, 24, 11, 24, 0));
    run(packet(6, {0, 5, 2, 2, 0x3F}, /*command=*/0));  // the command byte is not looked at
    EXPECT_EQ(m->memoryAtPicture(12, 24), 5);
}

TEST_F(MachineTest, TilesAtAndBeyondTheLastColumnAndRow) {
    run(memoryPreset(0));
    run(solidTile(4, 17, 49));
    EXPECT_TRUE(shows(294, 204, 299, 215, 4) && shows(288, 204, 293, 215, 0));
    // Column 50 (x 300) and row 18 (y 216) and beyond wrap in memory only.
    const auto picture = m->picture.index;
    run(solidTile(5, 0, 50));
    EXPECT_EQ(m->memoryCell(5, 11), 5);
    run(solidTile(6, 18, 0));
    EXPECT_EQ(m->memoryCell(0, 0), 6);
    run(solidTile(7, 31, 63));  // x 378, y 372: cells 78-83 of rows 156-167
    EXPECT_TRUE(m->memoryCell(78, 156) == 7 && m->memoryCell(83, 167) == 7);
    EXPECT_EQ(m->picture.index, picture);
    EXPECT_TRUE(spareUntouched(*m));
}

TEST_F(MachineTest, XorTileCombinesWithMemoryAndTwiceRestores) {
    run(memoryPreset(0));
    run(solidTile(0b0101, 3, 3));
    const Machine before = std::make_unique<CdgMachine>(*m);
    std::array<uint8_t, 12> rows;
    rows.fill(0x2A);
    const SubcodePacket x = tileBlock(0b0011, 0b1100, 3, 3, rows, /*xorMode=*/true);
    run(x);
    EXPECT_EQ(m->memoryAtPicture(18, 36), 0b0101 ^ 0b1100);  // bit 5 set: colour 1
    EXPECT_EQ(m->memoryAtPicture(19, 36), 0b0101 ^ 0b0011);
    EXPECT_EQ(m->pictureColour(19, 36), ramp(0b0110));
    run(x);
    EXPECT_TRUE(sameDrawing(*m, *before));
}

TEST(ColourTable, LoadsDecodeTheSixBitPairsIgnoringHighBits) {
    Machine m = std::make_unique<CdgMachine>();
    m->interpret(packet(
        31, {0x3F, 0x3F, 0x30, 0x00, 0x03, 0x30, 0x00, 0x10, 0x00, 0x0F, 0x7F, 0xFF, 0xC0, 0xC0}));
    const PackedColour expected[] = {rgb(255, 255, 255), rgb(204, 0, 0), rgb(0, 255, 0),
                                     rgb(0, 17, 0),      rgb(0, 0, 255), rgb(255, 255, 255),
                                     rgb(0, 0, 0)};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(m->colourTable[std::size_t(8 + i)], expected[i]) << i;
    EXPECT_EQ(m->colourTable[0], rgb(0, 0, 0));  // the lower half is untouched
}

TEST_F(MachineTest, ColourLoadRecoloursEverythingDrawnWithTheEntry) {
    run(memoryPreset(2));
    run(solidTile(3, 5, 5));
    m->hasDrawn = false;
    run(loadColours(0, {Rgb4{}, Rgb4{}, Rgb4{15, 15, 0}, Rgb4{0, 15, 15}}));
    EXPECT_EQ(m->pictureColour(30, 60), rgb(0, 255, 255));  // the tile, entry 3
    EXPECT_EQ(m->pictureColour(0, 0), rgb(255, 255, 0));    // the background, entry 2
    EXPECT_EQ(m->memoryAtPicture(30, 60), 3);               // memory keeps indices
    EXPECT_TRUE(m->hasDrawn && m->needsRedraw);             // so the display redraws
}

TEST_F(MachineTest, Argb32RenderHonoursTheRowStride) {
    run(memoryPreset(1));
    run(solidTile(14, 2, 3));
    const int stride = 310;  // words between rows
    std::vector<uint32_t> argb(std::size_t(stride) * 216, 0u);
    m->renderArgb32(argb.data(), stride);
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 310; ++x)
            ASSERT_EQ(argb[std::size_t(y * stride + x)],
                      x < 300 ? toArgb(m->pictureColour(x, y)) : 0u)
                << x << "," << y;
}

TEST(MachineRobustness, RandomPacketsKeepIndicesInRangeAndTheOriginOnTheTileGrid) {
    std::mt19937 random(20261206);
    const uint8_t drawing[] = {1, 2, 6, 20, 24, 28, 30, 31, 38};
    Machine m = std::make_unique<CdgMachine>();
    m->beginSession();
    for (int i = 0; i < 20000; ++i) {
        SubcodePacket p;
        auto* bytes = reinterpret_cast<uint8_t*>(&p);
        for (std::size_t b = 0; b < sizeof p; ++b) bytes[b] = static_cast<uint8_t>(random());
        if (i % 4 != 0)  // mostly drawing instructions, high bits kept
            p.InstructionByte = uint8_t((p.InstructionByte & 0xC0) | drawing[random() % 9]);
        m->interpret(p);
        ASSERT_TRUE(m->XOff % 6 == 0 && m->XOff >= 0 && m->XOff <= 294) << i;
        ASSERT_TRUE(m->YOff % 12 == 0 && m->YOff >= 0 && m->YOff <= 204) << i;
        ASSERT_TRUE(m->HOffset >= 0 && m->HOffset <= 7 && m->VOffset >= 0 && m->VOffset <= 15);
    }
    for (uint8_t cell : m->screenMemory) ASSERT_LT(cell, 16);
    for (uint8_t index : m->picture.index) ASSERT_LT(index, 16);
    EXPECT_TRUE(spareUntouched(*m));
}

// Scrolls on a picture where every tile, and every pixel within a tile, differs
// from its neighbours, so any misplaced strip shows.
class ScrollTest : public MachineTest {
  protected:
    void SetUp() override {
        m->beginSession();
        std::array<uint8_t, 12> rows;
        for (int i = 0; i < 12; ++i) rows[std::size_t(i)] = i % 2 ? 0x2A : 0x15;
        for (int r = 0; r < 18; ++r)
            for (int c = 0; c < 50; ++c)
                run(tileBlock((c + 2 * r) % 16, (c + 2 * r + 7) % 16, r, c, rows));
    }
};

TEST_F(ScrollTest, OffsetsOnlyMoveNothing) {
    const Machine before = std::make_unique<CdgMachine>(*m);
    m->hasDrawn = false;
    run(packet(20, {0, 0x05, 0x0B}));
    EXPECT_TRUE(m->HOffset == 5 && m->VOffset == 11 && m->hasDrawn);
    run(packet(24, {0, 0x37, 0x3F}));  // command 3 means none
    EXPECT_TRUE(m->HOffset == 7 && m->VOffset == 15);
    run(packet(20, {0, 0xC0, 0xC0}));  // high bits ignored
    EXPECT_EQ(m->HOffset + m->VOffset + m->XOff + m->YOff, 0);
    EXPECT_TRUE(sameDrawing(*m, *before));
}

TEST_F(ScrollTest, CoarseScrollsMoveThePictureByOneTile) {
    // Picture (x, y) afterwards shows (x - dx, y - dy) before; copy brings the strip
    // round, preset fills it. Preset left (up) fills up to x 300 (y 216), which
    // also writes the memory of picture column 0 (row 0).
    struct Step {
        bool copy;
        int fill, h, v, dx, dy, xOff, yOff;
    } const steps[] = {{true, 9, 1, 0, 6, 0, 294, 0},   {true, 9, 2, 0, -6, 0, 0, 0},
                       {true, 9, 0, 1, 0, 12, 0, 204},  {true, 9, 0, 2, 0, -12, 0, 0},
                       {false, 3, 1, 0, 6, 0, 294, 0},  {false, 0x4C, 0, 1, 0, 12, 294, 204},
                       {false, 5, 2, 0, -6, 0, 0, 204}, {false, 6, 0, 2, 0, -12, 0, 0}};
    bool edgeMemoryFilled = false;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "copy " << s.copy << " h " << s.h << " v " << s.v);
        const auto before = m->picture.index;
        run(scroll(s.copy, s.fill, s.h, 5, s.v, 0));
        EXPECT_TRUE(m->XOff == s.xOff && m->YOff == s.yOff && m->HOffset == 5);
        const auto fill = uint8_t(s.fill & 0x0F);
        edgeMemoryFilled = edgeMemoryFilled || (!s.copy && s.dx + s.dy < 0);
        for (int y = 0; y < 216; ++y)
            for (int x = 0; x < 300; ++x) {
                const int sx = x - s.dx, sy = y - s.dy;
                const bool vacated = sx < 0 || sx >= 300 || sy < 0 || sy >= 216;
                const uint8_t want =
                    vacated && !s.copy
                        ? fill
                        : before[std::size_t((sy + 216) % 216 * 300 + (sx + 300) % 300)];
                ASSERT_EQ(m->picture.at(x, y), want) << x << "," << y;
                if (!edgeMemoryFilled || (x > 0 && y > 0))
                    ASSERT_EQ(m->memoryAtPicture(x, y), want) << "memory " << x << "," << y;
            }
        if (!s.copy && s.dx < 0) EXPECT_EQ(m->memoryAtPicture(0, 100), fill);
        if (!s.copy && s.dy < 0) EXPECT_EQ(m->memoryAtPicture(100, 0), fill);
    }
}

TEST_F(ScrollTest, BothDirectionsInOnePacketScrollHorizontallyFirst) {
    for (bool copy : {false, true}) {
        Machine separate = std::make_unique<CdgMachine>(*m);
        separate->interpret(scroll(copy, 4, 2, 2, 0, 0));
        separate->interpret(scroll(copy, 4, 0, 2, 1, 3));
        run(scroll(copy, 4, 2, 2, 1, 3));
        EXPECT_TRUE(sameDrawing(*m, *separate)) << copy;
    }
    EXPECT_TRUE(m->XOff == 12 && m->YOff == 192 && m->VOffset == 3);
}

TEST_F(ScrollTest, DrawingAfterScrollsUsesTheMovedOrigin) {
    for (int i = 0; i < 3; ++i) run(scroll(true, 0, 1, 0, 1, 0));
    for (int i = 0; i < 5; ++i) run(scroll(true, 0, 0, 0, 1, 0));
    EXPECT_TRUE(m->XOff == 300 - 18 && m->YOff == 216 - 96);
    // An XOR tile combines with the index the picture shows at its place.
    std::array<uint8_t, 12> shown;
    for (int r = 0; r < 12; ++r) shown[std::size_t(r)] = m->picture.at(60, 48 + r);
    run(solidTile(0b1001, 4, 10, /*xorMode=*/true));
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(m->picture.at(60, 48 + r), shown[std::size_t(r)] ^ 0b1001);
        EXPECT_EQ(m->memoryAtPicture(60, 48 + r), m->picture.at(60, 48 + r));
    }
}

}  // namespace
}  // namespace lyrvox
