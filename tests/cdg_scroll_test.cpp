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

// One coarse scroll and the picture shift it makes: picture (x, y) afterwards
// shows (x - dx, y - dy) before.
struct Step {
    int fill, h, v, dx, dy, xOff, yOff;
};

class ScrollTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m->beginSession();
        // Every tile different, and pixels inside a tile different, so any
        // misplaced strip shows.
        std::array<uint8_t, 12> rows{};
        for (int i = 0; i < 12; ++i) rows[static_cast<std::size_t>(i)] = i % 2 ? 0x2A : 0x15;
        for (int r = 0; r < 18; ++r)
            for (int c = 0; c < 50; ++c)
                run(tileBlock((c + 2 * r) % 16, (c + 2 * r + 7) % 16, r, c, rows));
        before = m->CDG.index;
    }
    void run(const SubcodePacket& p) { m->InterpretPacket(p); }
    static uint8_t at(const Picture& p, int x, int y) {
        return p[static_cast<std::size_t>(y * 300 + x)];
    }
    // Picture equals expected(x, y) and the memory matches the picture, except
    // where `memoryException` is true.
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
    std::unique_ptr<CdgMachine> m = std::make_unique<CdgMachine>();
    Picture before{};
};

TEST_F(ScrollTest, OffsetsOnlyMoveNothing) {
    const auto memory = m->Pixels;
    m->BFlag = false;
    run(makePacket(20, {0, 0x05, 0x0B}));
    EXPECT_EQ(m->HOffset, 5);
    EXPECT_EQ(m->VOffset, 11);
    EXPECT_TRUE(m->BFlag);
    run(makePacket(24, {0, 0x37, 0x3F}));  // command 3 = none
    EXPECT_EQ(m->HOffset, 7);
    EXPECT_EQ(m->VOffset, 15);
    run(makePacket(20, {0, 0xC0, 0xC0}));  // high bits ignored
    EXPECT_EQ(m->HOffset + m->VOffset + m->XOff + m->YOff, 0);
    EXPECT_EQ(m->Pixels, memory);
    EXPECT_EQ(m->CDG.index, before);
}

TEST_F(ScrollTest, ScrollCopyRotatesThePictureInAllFourDirections) {
    const Step steps[] = {{9, kRight, kVNone, 6, 0, 294, 0},
                          {9, kLeft, kVNone, -6, 0, 0, 0},
                          {9, kNone, kDown, 0, 12, 0, 204},
                          {9, kNone, kUp, 0, -12, 0, 0}};
    for (const Step& s : steps) {
        before = m->CDG.index;
        run(scroll(true, s.fill, s.h, 5, s.v, 0));
        EXPECT_EQ(m->XOff, s.xOff);
        EXPECT_EQ(m->YOff, s.yOff);
        expectPicture([&](int x, int y) {
            return at(before, (x - s.dx + 300) % 300, (y - s.dy + 216) % 216);
        });
    }
    EXPECT_EQ(m->HOffset, 5);
}

TEST_F(ScrollTest, ScrollPresetFillsTheVacatedBand) {
    // Left and up fill to 300 and 216, which also writes the memory of picture
    // column 0 (row 0) while the picture there keeps its old colour.
    const Step steps[] = {{3, kRight, kVNone, 6, 0, 0, 0},
                          {0x4C, kNone, kDown, 0, 12, 0, 0},  // fill 12, high bits ignored
                          {5, kLeft, kVNone, -6, 0, 0, 0},
                          {6, kNone, kUp, 0, -12, 0, 0}};
    bool column0 = false;
    for (const Step& s : steps) {
        before = m->CDG.index;
        run(scroll(false, s.fill, s.h, 0, s.v, 0));
        const uint8_t fill = static_cast<uint8_t>(s.fill & 0x0F);
        column0 = column0 || s.dx < 0;
        expectPicture(
            [&](int x, int y) {
                const int sx = x - s.dx, sy = y - s.dy;
                return sx < 0 || sx >= 300 || sy < 0 || sy >= 216 ? fill : at(before, sx, sy);
            },
            [&](int x, int y) { return (column0 && x == 0) || (s.dy < 0 && y == 0); });
        // The band's memory reaches picture column 0 (row 0) too.
        EXPECT_TRUE(s.dx >= 0 || m->memoryAtPicture(0, 100) == fill);
        EXPECT_TRUE(s.dy >= 0 || m->memoryAtPicture(100, 0) == fill);
    }
}

TEST_F(ScrollTest, BothDirectionsInOnePacketScrollHorizontallyFirst) {
    for (bool copy : {false, true}) {
        auto separate = std::make_unique<CdgMachine>(*m);
        separate->InterpretPacket(scroll(copy, 4, kLeft, 2, kVNone, 0));
        separate->InterpretPacket(scroll(copy, 4, kNone, 2, kDown, 3));
        run(scroll(copy, 4, kLeft, 2, kDown, 3));
        EXPECT_EQ(m->CDG.index, separate->CDG.index) << copy;
        EXPECT_EQ(m->Pixels, separate->Pixels) << copy;
        EXPECT_EQ(m->VOffset, 3);
    }
    EXPECT_EQ(m->XOff, 12);
    EXPECT_EQ(m->YOff, 192);
}

TEST_F(ScrollTest, DrawingAfterScrollsUsesTheMovedOrigin) {
    for (int i = 0; i < 3; ++i) run(scroll(true, 0, kRight, 0, kDown, 0));
    for (int i = 0; i < 5; ++i) run(scroll(true, 0, kNone, 0, kDown, 0));
    EXPECT_EQ(m->XOff, 300 - 18);
    EXPECT_EQ(m->YOff, 216 - 96);
    // An XOR tile combines with the index the picture shows at its place.
    const int x0 = 60, y0 = 48;
    std::array<uint8_t, 12> shown{};
    for (int r = 0; r < 12; ++r) shown[static_cast<std::size_t>(r)] = m->CDG.at(x0, y0 + r);
    run(solidTile(0b1001, 4, 10, /*xorMode=*/true));
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(m->CDG.at(x0, y0 + r), shown[static_cast<std::size_t>(r)] ^ 0b1001);
        EXPECT_EQ(m->memoryAtPicture(x0, y0 + r), m->CDG.at(x0, y0 + r));
    }
}

}  // namespace
}  // namespace lyrvox
