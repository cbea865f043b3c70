// Scroll preset and scroll copy: fine offsets, coarse scrolls in all four
// directions, the ring origin, and drawing after scrolls.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "playback/cdg_machine.h"
#include "tests/support/packet_builder.h"

namespace lyrvox {
namespace {

using namespace lyrvox::testing;
using Picture = decltype(IndexPicture::index);

enum Direction { kNone = 0, kRight = 1, kLeft = 2 };
enum VDirection { kVNone = 0, kDown = 1, kUp = 2 };

class ScrollTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m = std::make_unique<CdgMachine>();
        m->beginSession();
        // Every tile of the screen different, and pixels inside a tile different,
        // so any misplaced strip shows.
        for (int r = 0; r < 18; ++r)
            for (int c = 0; c < 50; ++c) {
                std::array<uint8_t, 12> rows{};
                for (int i = 0; i < 12; ++i)
                    rows[static_cast<std::size_t>(i)] =
                        static_cast<uint8_t>((0x15 << (i % 2)) & 0x3F);
                m->InterpretPacket(tileBlock((c + 2 * r) % 16, (c + 2 * r + 7) % 16, r, c, rows));
            }
        before = m->CDG.index;
    }
    static uint8_t at(const Picture& p, int x, int y) {
        return p[static_cast<std::size_t>(y * 300 + x)];
    }
    // Picture equals expected(x, y) and the memory matches the picture, except
    // at pixels for which `memoryException` is true.
    void expectPicture(const std::function<uint8_t(int, int)>& expected,
                       const std::function<bool(int, int)>& memoryException = {}) {
        for (int y = 0; y < 216; ++y)
            for (int x = 0; x < 300; ++x) {
                ASSERT_EQ(m->CDG.at(x, y), expected(x, y)) << "picture at " << x << "," << y;
                if (memoryException && memoryException(x, y)) continue;
                ASSERT_EQ(m->memoryAtPicture(x, y), m->CDG.at(x, y))
                    << "memory at " << x << "," << y;
            }
    }
    std::unique_ptr<CdgMachine> m;
    Picture before{};
};

TEST_F(ScrollTest, OffsetsOnlyMoveNothing) {
    const auto memory = m->Pixels;
    m->BFlag = false;
    m->InterpretPacket(makePacket(20, {0, 0x05, 0x0B}));
    EXPECT_EQ(m->HOffset, 5);
    EXPECT_EQ(m->VOffset, 11);
    EXPECT_TRUE(m->BFlag);
    m->InterpretPacket(makePacket(24, {0, 0x37, 0x3F}));  // command 3 = none
    EXPECT_EQ(m->HOffset, 7);
    EXPECT_EQ(m->VOffset, 15);
    m->InterpretPacket(makePacket(20, {0, 0xC0, 0xC0}));  // high bits ignored
    EXPECT_EQ(m->HOffset, 0);
    EXPECT_EQ(m->VOffset, 0);
    EXPECT_EQ(m->XOff, 0);
    EXPECT_EQ(m->YOff, 0);
    EXPECT_EQ(m->Pixels, memory);
    EXPECT_EQ(m->CDG.index, before);
}

TEST_F(ScrollTest, ScrollCopyRotatesThePictureInAllFourDirections) {
    m->InterpretPacket(scroll(true, 9, kRight, 5, kVNone, 0));
    EXPECT_EQ(m->XOff, 294);
    EXPECT_EQ(m->HOffset, 5);
    expectPicture([&](int x, int y) { return at(before, (x + 294) % 300, y); });

    before = m->CDG.index;
    m->InterpretPacket(scroll(true, 9, kLeft, 0, kVNone, 0));
    EXPECT_EQ(m->XOff, 0);
    expectPicture([&](int x, int y) { return at(before, (x + 6) % 300, y); });

    before = m->CDG.index;
    m->InterpretPacket(scroll(true, 9, kNone, 0, kDown, 0));
    EXPECT_EQ(m->YOff, 204);
    expectPicture([&](int x, int y) { return at(before, x, (y + 204) % 216); });

    before = m->CDG.index;
    m->InterpretPacket(scroll(true, 9, kNone, 0, kUp, 0));
    EXPECT_EQ(m->YOff, 0);
    expectPicture([&](int x, int y) { return at(before, x, (y + 12) % 216); });
}

TEST_F(ScrollTest, FullTurnsOfScrollCopiesReturnToTheStart) {
    for (int i = 0; i < 50; ++i) m->InterpretPacket(scroll(true, 0, kRight, 0, kVNone, 0));
    EXPECT_EQ(m->XOff, 0);
    EXPECT_EQ(m->CDG.index, before);
    for (int i = 0; i < 18; ++i) m->InterpretPacket(scroll(true, 0, kNone, 0, kDown, 0));
    EXPECT_EQ(m->YOff, 0);
    EXPECT_EQ(m->CDG.index, before);
    for (int i = 0; i < 7; ++i) m->InterpretPacket(scroll(true, 0, kLeft, 0, kUp, 0));
    EXPECT_EQ(m->XOff, 42);
    EXPECT_EQ(m->YOff, 84);
    expectPicture([&](int x, int y) { return at(before, (x + 42) % 300, (y + 84) % 216); });
}

TEST_F(ScrollTest, ScrollPresetFillsTheVacatedBand) {
    m->InterpretPacket(scroll(false, 3, kRight, 0, kVNone, 0));
    expectPicture([&](int x, int y) { return x < 6 ? uint8_t{3} : at(before, x - 6, y); });

    before = m->CDG.index;
    m->InterpretPacket(scroll(false, 0x4C, kNone, 0, kDown, 0));  // fill 12, high bits ignored
    expectPicture([&](int x, int y) { return y < 12 ? uint8_t{12} : at(before, x, y - 12); });

    // Left and up fill to 300 and 216, which also writes the memory of picture
    // column 0 (row 0) while the picture there keeps its old colour.
    before = m->CDG.index;
    m->InterpretPacket(scroll(false, 5, kLeft, 0, kVNone, 0));
    expectPicture([&](int x, int y) { return x >= 294 ? uint8_t{5} : at(before, x + 6, y); },
                  [](int x, int) { return x == 0; });
    EXPECT_EQ(m->memoryAtPicture(0, 100), 5);

    before = m->CDG.index;
    m->InterpretPacket(scroll(false, 6, kNone, 0, kUp, 0));
    expectPicture([&](int x, int y) { return y >= 204 ? uint8_t{6} : at(before, x, y + 12); },
                  [](int x, int y) { return x == 0 || y == 0; });
    EXPECT_EQ(m->memoryAtPicture(100, 0), 6);
}

TEST_F(ScrollTest, BothDirectionsInOnePacketScrollHorizontallyFirst) {
    auto separate = std::make_unique<CdgMachine>(*m);
    separate->InterpretPacket(scroll(false, 4, kLeft, 2, kVNone, 0));
    separate->InterpretPacket(scroll(false, 4, kNone, 2, kDown, 3));
    m->InterpretPacket(scroll(false, 4, kLeft, 2, kDown, 3));
    EXPECT_EQ(m->CDG.index, separate->CDG.index);
    EXPECT_EQ(m->Pixels, separate->Pixels);
    EXPECT_EQ(m->XOff, 6);
    EXPECT_EQ(m->YOff, 204);
    EXPECT_EQ(m->HOffset, 2);
    EXPECT_EQ(m->VOffset, 3);
}

TEST_F(ScrollTest, DrawingAfterScrollsUsesTheMovedOrigin) {
    for (int i = 0; i < 3; ++i) m->InterpretPacket(scroll(true, 0, kRight, 0, kDown, 0));
    for (int i = 0; i < 5; ++i) m->InterpretPacket(scroll(true, 0, kNone, 0, kDown, 0));
    EXPECT_EQ(m->XOff, 300 - 18);
    EXPECT_EQ(m->YOff, 216 - 96);

    // An XOR tile combines with the index the picture shows at its place.
    const int x0 = 60, y0 = 48;
    std::array<uint8_t, 12> shown{};
    for (int r = 0; r < 12; ++r) shown[static_cast<std::size_t>(r)] = m->CDG.at(x0, y0 + r);
    m->InterpretPacket(solidTile(0b1001, 4, 10, /*xorMode=*/true));
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(m->CDG.at(x0, y0 + r), shown[static_cast<std::size_t>(r)] ^ 0b1001);
        EXPECT_EQ(m->memoryAtPicture(x0, y0 + r), m->CDG.at(x0, y0 + r));
    }
    EXPECT_EQ(m->memoryCell((x0 + m->XOff) % 300, (y0 + m->YOff) % 216), m->CDG.at(x0, y0));
}

}  // namespace
}  // namespace lyrvox
