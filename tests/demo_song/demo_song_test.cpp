#include "tools/demo_song/demo_song.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace lyrvox {
namespace {

int instructionOf(const SubcodePacket& p) {
    return p.InstructionByte & 0x3F;
}

const DemoSong& song() {
    static const DemoSong s;  // built once for the whole suite
    return s;
}

uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(DemoSong, IsThirtySecondsOfPacketsAndTheSameEveryTime) {
    const auto& packets = song().packets();
    ASSERT_EQ(packets.size(), 9000u);
    const auto file = song().cdgFile();
    ASSERT_EQ(file.size(), 9000u * 24);
    EXPECT_EQ(std::memcmp(file.data() + 24 * 100, &packets[100], 24), 0);
    EXPECT_EQ(DemoSong().cdgFile(), file);
    ASSERT_FALSE(song().notes().empty());
    for (const Note& n : song().notes()) {  // notes stay inside the song
        EXPECT_GE(n.startPacket, 0);
        EXPECT_LE(n.startPacket + n.lengthPackets, DemoSong::kPackets);
        EXPECT_GT(n.level, 0);
    }
}

TEST(DemoSong, GraphicsPacketsAreWellFormed) {
    const std::set<int> used = {0, 1, 2, 6, 20, 24, 30, 31, 38};  // only what the song means to use
    std::map<int, int> counts;
    for (const SubcodePacket& p : song().packets()) {
        const int instruction = instructionOf(p);
        ++counts[instruction];
        EXPECT_TRUE(used.count(instruction)) << "instruction " << instruction;
        EXPECT_EQ(p.CommandByte, instruction == 0 ? 0 : 9);  // padding is empty packets
        if (instruction == 6 || instruction == 38) {
            EXPECT_TRUE(p.Data[2] < 18 && p.Data[3] < 50);  // on screen
            EXPECT_TRUE(p.Data[0] < 16 && p.Data[1] < 16);
        }
    }
    EXPECT_GT(counts[6], 200);
    EXPECT_GT(counts[38], 20);  // XOR-lit words
    EXPECT_GE(counts[1], 16 * 4);
    EXPECT_GT(counts[0], 6000);  // padding keeps the pace of a real disc
}

TEST(DemoSong, ScrollsInEveryDirectionOfBothKindsAndEndsWhereItStarted) {
    std::map<std::tuple<int, int, int>, int> scrolls;  // instruction, horizontal, vertical
    int xSteps = 0, ySteps = 0;
    const SubcodePacket* last = nullptr;
    for (const SubcodePacket& p : song().packets()) {
        const int instruction = instructionOf(p);
        if (instruction != 20 && instruction != 24) continue;
        const int h = (p.Data[1] & 0x30) >> 4, v = (p.Data[2] & 0x30) >> 4;
        ++scrolls[{instruction, h, v}];
        xSteps += h == 2 ? 1 : (h == 1 ? -1 : 0);
        ySteps += v == 2 ? 1 : (v == 1 ? -1 : 0);
        EXPECT_LE(p.Data[1] & 0x07, 5);
        EXPECT_LE(p.Data[2] & 0x0F, 11);
        last = &p;
    }
    // Copy up makes one whole loop of 18, then 3.
    const std::tuple<int, int, int, int> expected[] = {{20, 2, 0, 4}, {20, 1, 0, 4},  {24, 2, 0, 6},
                                                       {24, 1, 0, 6}, {24, 0, 2, 21}, {20, 0, 1, 3},
                                                       {20, 0, 2, 3}, {24, 0, 1, 3}};
    for (const auto& [instruction, h, v, n] : expected)
        EXPECT_EQ((scrolls[{instruction, h, v}]), n) << instruction << " " << h << " " << v;
    EXPECT_GT((scrolls[{20, 0, 0}]), 20);  // fine offsets alone
    EXPECT_GT((scrolls[{24, 0, 0}]), 20);
    // Whole turns of the ring (50 columns, 18 rows), and fine offsets back at 0.
    EXPECT_EQ(xSteps % 50, 0);
    EXPECT_EQ(ySteps % 18, 0);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Data[1] & 0x07, 0);
    EXPECT_EQ(last->Data[2] & 0x0F, 0);
}

TEST(DemoSong, LoadsColoursFirstAndFadesToBlack) {
    int loads = 0;
    const SubcodePacket* first = nullptr;
    const SubcodePacket* lastOf[2] = {nullptr, nullptr};
    for (const SubcodePacket& p : song().packets()) {
        const int instruction = instructionOf(p);
        if (instruction != 30 && instruction != 31) continue;
        if (loads++ == 0) first = &p;
        lastOf[instruction - 30] = &p;
    }
    EXPECT_GT(loads, 30);                         // the title's pulse and the fade
    EXPECT_EQ(first, &song().packets().front());  // before any drawing
    ASSERT_TRUE(lastOf[0] && lastOf[1]);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(lastOf[0]->Data[i] & 0x3F, 0) << i;
        EXPECT_EQ(lastOf[1]->Data[i] & 0x3F, 0) << i;
    }
}

TEST(DemoSong, AudioIsAWavFileAsLongAsTheGraphics) {
    const auto wav = song().wavFile();
    ASSERT_EQ(wav.size(), 44u + 30 * 22050 * 2);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(le16(wav, 20), 1);       // PCM
    EXPECT_EQ(le16(wav, 22), 1);       // mono
    EXPECT_EQ(le32(wav, 24), 22050u);  // rate
    EXPECT_EQ(le16(wav, 34), 16);      // bits
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    EXPECT_EQ(le32(wav, 40), 30u * 22050 * 2);

    int peak = 0;
    long silentRun = 0, longestSilence = 0;
    for (std::size_t i = 44; i < wav.size(); i += 2) {
        const int s = static_cast<int16_t>(le16(wav, i));
        peak = std::max(peak, std::abs(s));
        silentRun = std::abs(s) < 30 ? silentRun + 1 : 0;
        longestSilence = std::max(longestSilence, silentRun);
    }
    EXPECT_GT(peak, 8000);                 // audible
    EXPECT_LT(peak, 32767);                // never clipped
    EXPECT_LT(longestSilence, 22050 * 2);  // music all through
}

}  // namespace
}  // namespace lyrvox
