// The CD+G machine packet by packet. Packed colours read 0xBBGGRR.
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>

#include "playback/cdg/cdg_machine.h"
#include "playback/cdg/packet_encoder.h"

namespace lyrvox {
namespace {

using namespace lyrvox::encode;
using Machine = std::unique_ptr<CdgMachine>;  // too big for the stack

class MachineTest : public ::testing::Test {
  protected:
    void run(const SubcodePacket& p) { m->interpret(p); }
    bool sameAs(const Machine& o) const {
        return m->screenMemory == o->screenMemory && m->picture.index == o->picture.index;
    }
    // Picture and memory hold `index` all over the box; the spare memory stays unwritten.
    bool box(int x1, int y1, int x2, int y2, int index) const {
        for (int i = 0; i < 301; ++i)
            if (m->memoryCell(i, 216) != 0 || m->memoryCell(300, i % 217) != 0) return false;
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x)
                if (m->picture.at(x, y) != index || m->memoryAtPicture(x, y) != index) return false;
        return true;
    }
    Machine m = std::make_unique<CdgMachine>();
};

TEST_F(MachineTest, SessionStartPacketCountingAndColourLoads) {
    EXPECT_EQ(m->pictureColour(150, 100), kWhite);  // a fresh machine shows white
    run(loadColours(0, {Rgb4{1, 2, 3}}));
    run(scroll(true, 0, 1, 4, 2, 9));
    m->beginSession();  // clears to entry 0 as the table stands; the table survives
    EXPECT_EQ(m->XOff | m->YOff | m->HOffset | m->VOffset | m->PacketCount, 0);
    std::vector<uint32_t> argb(310 * 216, 0u);  // 310 words a row; the padding stays unwritten
    m->renderArgb32(argb.data(), 310);
    for (int i = 0; i < 310 * 216; ++i)
        ASSERT_EQ(argb[std::size_t(i)], i % 310 < 300 ? 0xFF112233 : 0u) << i;
    // Every packet counts and copies hasDrawn into needsRedraw, whatever it does.
    const Machine before = std::make_unique<CdgMachine>(*m);
    m->hasDrawn = false;                        // needsRedraw is still set
    for (int instruction : {0, 3, 29, 39, 63})  // no effect on this screen
        run(packet(uint8_t(instruction), {5, 0, 1, 1, 0x3F}));
    EXPECT_TRUE(m->PacketCount == 5 && !m->needsRedraw && !m->hasDrawn && sameAs(before));
    m->hasDrawn = true;
    m->PacketCount = INT32_MAX;  // an endless stream saturates the count
    run(emptyPacket());
    EXPECT_TRUE(m->needsRedraw && m->PacketCount == INT32_MAX);
    run(memoryPreset(10));
    run(solidTile(11, 5, 5));
    m->hasDrawn = false;
    run(packet(31, {0x3F, 0x3F, 0x30, 0, 0x03, 0x30, 0, 0x10, 0, 0x0F, 0x7F, 0xFF, 0xC0, 0xC0}));
    // Six-bit pairs: entries 7 (the lower half stays untouched) to 14.
    const PackedColour want[] = {0, 0xFFFFFF, 0x0000CC, 0x00FF00, 0x001100, 0xFF0000, 0xFFFFFF, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(m->colourTable[std::size_t(7 + i)], want[i]) << 7 + i;
    // A look-up table: what was drawn with an entry shows its new colour.
    EXPECT_TRUE(m->pictureColour(0, 0) == want[3] && m->pictureColour(30, 60) == want[4]);
    EXPECT_TRUE(m->hasDrawn && m->needsRedraw && box(30, 60, 35, 71, 11));
}

TEST_F(MachineTest, PresetsAndTilesIgnoreHighBitsAndWrapOffScreenInMemoryOnly) {
    run(packet(0xC1, {0xC7, 0xC0}));  // a rip's first clear, bits 6-7 set, must still act
    for (int repeat : {1, 15, 0x41, 0x7F, 0xFF}) run(memoryPreset(9, repeat));  // ignored
    EXPECT_TRUE(box(0, 0, 299, 215, 7));
    run(borderPreset(10));
    EXPECT_TRUE(m->currentColour == 10 && box(6, 12, 293, 203, 7) && box(0, 0, 299, 11, 10));
    EXPECT_TRUE(box(0, 204, 299, 215, 10) && box(0, 12, 5, 203, 10) && box(294, 12, 299, 203, 10));
    run(memoryPreset(0));
    // Colours 2 and 9 at tile row 1, column 1, rows: the leftmost pixel, the rightmost, none;
    // bits 6-7, which disc rips set, are ignored in every byte.
    run(packet(0xC6, {0xC2, 0x49, 0x81, 0xC1, 0x20, 0xC1, 0x80}));
    EXPECT_TRUE(box(6, 12, 6, 12, 9) && box(7, 12, 11, 12, 2) && box(6, 13, 10, 13, 2));
    EXPECT_TRUE(box(11, 13, 11, 13, 9) && box(6, 14, 11, 23, 2) && m->currentColour == 2);
    EXPECT_TRUE(box(0, 0, 299, 11, 0) && box(0, 24, 299, 215, 0) && box(0, 12, 5, 23, 0) &&
                box(12, 12, 299, 23, 0));           // neighbours untouched
    run(packet(6, {4, 4, 17, 49}, /*command=*/0));  // the command byte is not looked at
    EXPECT_TRUE(box(294, 204, 299, 215, 4));
    const auto picture = m->picture.index;  // beyond the screen: memory through the ring only
    run(solidTile(5, 0, 50));               // x 300: memory of column 0
    run(solidTile(6, 31, 1));               // y 372: memory of rows 156-167
    EXPECT_TRUE(m->memoryCell(0, 0) == 5 && m->memoryCell(5, 11) == 5 && box(0, 0, -1, -1, 0));
    EXPECT_TRUE(m->memoryCell(6, 156) == 6 && m->picture.index == picture);
}

TEST_F(MachineTest, ScrollsMoveThePictureByOneTileAndDrawingFollowsTheOrigin) {
    for (int t = 0; t < 900; ++t)  // every tile unlike its neighbours, and striped inside
        run(tileBlock((t + t / 50) % 16, (t + t / 50 + 7) % 16, t / 50, t % 50, {0x15, 0x2A}));
    // (x, y) then shows (x - dx, y - dy): copy brings the strip round, preset fills it and, left
    // (up), the memory of column 0 (row 0). h, v: bits 4-5 = 1 right/down, 2 left/up, 0/3 none.
    struct Step {
        int copy, fill, h, v, dx, dy, xOff, yOff;
    } const steps[] = {{0, 9, 0xC5, 0xFB, 0, 0, 0, 0},     {1, 9, 0x37, 0x0F, 0, 0, 0, 0},
                       {1, 9, 0xD3, 0, 6, 0, 294, 0},      {1, 9, 0x23, 0, -6, 0, 0, 0},
                       {1, 9, 0, 0x55, 0, 12, 0, 204},     {1, 9, 0, 0x25, 0, -12, 0, 0},
                       {1, 4, 0x22, 0x13, -6, 12, 6, 204}, {0, 3, 0x10, 0, 6, 0, 0, 204},
                       {0, 0x4C, 0, 0x10, 0, 12, 0, 192},  {0, 4, 0x22, 0x13, -6, 12, 6, 180},
                       {0, 5, 0x20, 0, -6, 0, 12, 180},    {0, 6, 0, 0x20, 0, -12, 12, 192}};
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "copy " << s.copy << " h " << s.h << " v " << s.v);
        const Machine before = std::make_unique<CdgMachine>(*m);
        run(packet(s.copy ? 24 : 20, {uint8_t(s.fill), uint8_t(s.h), uint8_t(s.v)}));
        EXPECT_TRUE(m->XOff == s.xOff && m->YOff == s.yOff && m->HOffset == (s.h & 7) &&
                    m->VOffset == (s.v & 15));
        for (int i = 0; i < 300 * 216; ++i) {
            const int x = i % 300, y = i / 300, sx = (x - s.dx + 300) % 300,
                      sy = (y - s.dy + 216) % 216;
            const bool vacated = !s.copy && (sx != x - s.dx || sy != y - s.dy);
            const bool edge = !s.copy && ((s.dx < 0 && x == 0) || (s.dy < 0 && y == 0));
            const int picture = vacated ? s.fill & 15 : before->picture.at(sx, sy);
            const int memory = vacated || edge ? s.fill & 15 : before->memoryAtPicture(sx, sy);
            ASSERT_TRUE(m->picture.at(x, y) == picture && m->memoryAtPicture(x, y) == memory) << i;
        }
    }
    const Machine old = std::make_unique<CdgMachine>(*m);
    const SubcodePacket x = solidTile(9, 1, 1, /*xorMode=*/true);  // combines with what shows
    run(x);
    for (int i = 0; i < 72; ++i)
        ASSERT_EQ(m->picture.at(6 + i % 6, 12 + i / 6), old->picture.at(6 + i % 6, 12 + i / 6) ^ 9);
    run(x);  // and twice restores it
    EXPECT_TRUE(sameAs(old));
}

// The transparent-colour instruction fills the opacity table beside the colour table and never
// the picture; the background option stands in only for songs that mark nothing.
struct TransparencyCase {
    const char* name;
    std::vector<SubcodePacket> packets;  // after a session start
    bool backgroundTransparent;
    std::vector<std::pair<int, int>> opacity;  // (index, opacity); every other index 255
};

class Transparency : public ::testing::TestWithParam<TransparencyCase> {};

TEST_P(Transparency, OpacityPerColourIndex) {
    const TransparencyCase& c = GetParam();
    const Machine m = std::make_unique<CdgMachine>();
    m->beginSession();
    for (const SubcodePacket& p : c.packets) {
        const Machine before = std::make_unique<CdgMachine>(*m);
        m->hasDrawn = false;
        m->interpret(p);
        if (instructionOf(p) == Instruction::DefineTransparentColour) {
            EXPECT_TRUE(m->hasDrawn && m->picture.index == before->picture.index &&
                        m->picture.blank == before->picture.blank &&
                        m->screenMemory == before->screenMemory &&
                        m->colourTable == before->colourTable);
        }
    }
    std::array<uint8_t, 16> want;
    want.fill(255);
    for (const auto& [index, opacity] : c.opacity) want[std::size_t(index)] = uint8_t(opacity);
    const std::array<uint8_t, 16> got = m->opacityTable(c.backgroundTransparent);
    EXPECT_EQ(std::vector<int>(got.begin(), got.end()), std::vector<int>(want.begin(), want.end()));
    EXPECT_EQ(CdgMachine::anyTransparent(got), !c.opacity.empty());
}

SubcodePacket transparent(std::initializer_list<uint8_t> levels) {
    return packet(28, levels);
}

const TransparencyCase kTransparency[] = {
    {"OpaqueFromTheSessionStart", {}, false, {}},
    {"SessionClearIsTheBackground", {}, true, {{0, 0}}},
    {"LastMemoryPresetIsTheBackground", {memoryPreset(5), memoryPreset(9, 1)}, true, {{5, 0}}},
    {"PresetWithoutTheOptionStaysOpaque", {memoryPreset(5)}, false, {}},
    // Levels 0-63 to opacity 255-0, rounded; bits 6-7 of a rip are left out.
    {"LevelsPerColour",
     {transparent({0, 0, 0, 0x3F, 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0xC1})},
     false,
     {{3, 0}, {7, 125}, {15, 251}}},
    {"SongMarksWinOverTheOption",
     {memoryPreset(2), transparent({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3F})},
     true,
     {{15, 0}}},
    {"AllZeroMarksNothing", {memoryPreset(4), transparent({0xC0, 0x80})}, true, {{4, 0}}},
    {"LaterDefineReplacesEveryLevel",
     {transparent({0x3F, 0x3F}), transparent({0, 0x3F, 0x3F})},
     false,
     {{1, 0}, {2, 0}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, Transparency, ::testing::ValuesIn(kTransparency),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(TransparencySession, ANewSessionStartsOpaque) {
    const Machine m = std::make_unique<CdgMachine>();
    m->beginSession();
    m->interpret(transparent({0x3F, 0x3F, 0x3F}));
    m->interpret(memoryPreset(6));
    m->beginSession();
    const std::array<uint8_t, 16> opacity = m->opacityTable(true);
    EXPECT_TRUE(opacity[0] == 0 && std::count(opacity.begin(), opacity.end(), 255) == 15);
}

}  // namespace
}  // namespace lyrvox
