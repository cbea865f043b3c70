#include "tools/demo_song/demo_song.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

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
}

TEST(DemoSong, GraphicsPacketsAreWellFormed) {
    std::map<int, int> counts;
    for (const SubcodePacket& p : song().packets()) {
        const int instruction = instructionOf(p);
        ++counts[instruction];
        if (instruction == 0) {
            EXPECT_EQ(p.CommandByte, 0);  // padding is empty packets
            continue;
        }
        EXPECT_EQ(p.CommandByte, 9);
        if (instruction == 6 || instruction == 38) {
            EXPECT_LT(p.Data[2], 18);  // on screen
            EXPECT_LT(p.Data[3], 50);
            EXPECT_LT(p.Data[0], 16);
            EXPECT_LT(p.Data[1], 16);
        }
    }
    // Only the instructions the song means to use.
    for (const auto& [instruction, n] : counts) {
        EXPECT_TRUE(instruction == 0 || instruction == 1 || instruction == 2 || instruction == 6 ||
                    instruction == 20 || instruction == 24 || instruction == 30 ||
                    instruction == 31 || instruction == 38)
            << "instruction " << instruction;
    }
    EXPECT_GT(counts[6], 200);
    EXPECT_GT(counts[38], 20);  // XOR-lit words
    EXPECT_GE(counts[1], 16 * 4);
    // Most of the time nothing happens: padding keeps the pace of a real disc.
    EXPECT_GT(counts[0], 6000);
}

TEST(DemoSong, ScrollsInEveryDirectionOfBothKinds) {
    // key: instruction, horizontal command, vertical command
    std::map<std::tuple<int, int, int>, int> scrolls;
    int xSteps = 0;
    int ySteps = 0;
    const SubcodePacket* last = nullptr;
    for (const SubcodePacket& p : song().packets()) {
        const int instruction = instructionOf(p);
        if (instruction != 20 && instruction != 24) continue;
        const int h = (p.Data[1] & 0x30) >> 4;
        const int v = (p.Data[2] & 0x30) >> 4;
        ++scrolls[{instruction, h, v}];
        xSteps += h == 2 ? 1 : (h == 1 ? -1 : 0);
        ySteps += v == 2 ? 1 : (v == 1 ? -1 : 0);
        EXPECT_LE(p.Data[1] & 0x07, 5);
        EXPECT_LE(p.Data[2] & 0x0F, 11);
        last = &p;
    }
    EXPECT_EQ((scrolls[{20, 2, 0}]), 4);   // preset left
    EXPECT_EQ((scrolls[{20, 1, 0}]), 4);   // preset right
    EXPECT_EQ((scrolls[{24, 2, 0}]), 6);   // copy left
    EXPECT_EQ((scrolls[{24, 1, 0}]), 6);   // copy right
    EXPECT_EQ((scrolls[{24, 0, 2}]), 21);  // copy up: one whole loop of 18, then 3
    EXPECT_EQ((scrolls[{20, 0, 1}]), 3);   // preset down
    EXPECT_EQ((scrolls[{20, 0, 2}]), 3);   // preset up
    EXPECT_EQ((scrolls[{24, 0, 1}]), 3);   // copy down
    EXPECT_GT((scrolls[{20, 0, 0}]), 20);  // fine offsets alone
    EXPECT_GT((scrolls[{24, 0, 0}]), 20);
    // The song leaves the screen origin where it found it (50 tile columns and
    // 18 tile rows make one turn of the ring), and the last scroll puts both fine
    // offsets back to 0.
    EXPECT_EQ(xSteps % 50, 0);
    EXPECT_EQ(ySteps % 18, 0);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Data[1] & 0x07, 0);
    EXPECT_EQ(last->Data[2] & 0x0F, 0);
}

TEST(DemoSong, LoadsColoursAndFadesToBlack) {
    int loads = 0;
    const SubcodePacket* lastLow = nullptr;
    const SubcodePacket* lastHigh = nullptr;
    const SubcodePacket* first = nullptr;
    for (const SubcodePacket& p : song().packets()) {
        const int instruction = instructionOf(p);
        if (instruction != 30 && instruction != 31) continue;
        ++loads;
        if (first == nullptr) first = &p;
        (instruction == 30 ? lastLow : lastHigh) = &p;
    }
    EXPECT_GT(loads, 30);  // the title's pulse and the fade
    ASSERT_TRUE(first && lastLow && lastHigh);
    // The first load comes before any drawing.
    EXPECT_EQ(first, &song().packets().front());
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(lastLow->Data[i] & 0x3F, 0) << i;
        EXPECT_EQ(lastHigh->Data[i] & 0x3F, 0) << i;
    }
}

TEST(DemoSong, AudioIsAWavFileAsLongAsTheGraphics) {
    const auto wav = song().wavFile();
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(le16(wav, 20), 1);       // PCM
    EXPECT_EQ(le16(wav, 22), 1);       // mono
    EXPECT_EQ(le32(wav, 24), 22050u);  // rate
    EXPECT_EQ(le16(wav, 34), 16);      // bits
    EXPECT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    EXPECT_EQ(le32(wav, 40), 30u * 22050 * 2);
    ASSERT_EQ(wav.size(), 44u + 30 * 22050 * 2);

    int peak = 0;
    long silentRun = 0;
    long longestSilence = 0;
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

TEST(DemoSong, NotesStayInsideTheSong) {
    ASSERT_FALSE(song().notes().empty());
    for (const Note& n : song().notes()) {
        EXPECT_GE(n.startPacket, 0);
        EXPECT_LE(n.startPacket + n.lengthPackets, DemoSong::kPackets);
        EXPECT_GT(n.level, 0);
    }
}

}  // namespace
}  // namespace lyrvox
