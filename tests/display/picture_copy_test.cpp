#include "display/picture_copy.h"

#include <gtest/gtest.h>

#include <vector>

namespace lyrvox {
namespace {

// A machine whose picture holds, at (x, y), index (x + 3 y) % 16 -- except for a
// marker index 15 -> colour table entry 15 kept for chosen pixels -- and whose
// colour table tells every index apart.
CdgMachine patternMachine() {
    CdgMachine m;
    for (int k = 0; k < 16; ++k) {
        m.ColourTable[static_cast<std::size_t>(k)] =
            static_cast<PackedColour>(k | ((16 * k) << 8) | ((255 - k) << 16));
    }
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            m.CDG.index[static_cast<std::size_t>(y * kScreenWidth + x)] =
                static_cast<uint8_t>((x + 3 * y) % 16);
        }
    }
    m.CDG.blank = false;
    return m;
}

// What the picture shows at (x, y), as a frame word.
uint32_t shown(const CdgMachine& m, int x, int y) {
    const uint8_t index = m.CDG.at(x, y);
    return toArgb(index < 16 ? m.ColourTable[index] : kWhite);
}

// A destination buffer with a guard word after the last row, pre-filled with a
// value no picture colour has.
class Frame {
  public:
    static constexpr uint32_t kUntouched = 0x12345678;

    Frame(int w, int h, int stride = 0) : w_(w), h_(h), stride_(stride ? stride : w) {
        words_.assign(static_cast<std::size_t>(stride_ * h + 1), kUntouched);
    }
    void fill(const CdgMachine& m) { StretchVisibleWindow(m, w_, h_, words_.data(), stride_); }
    uint32_t at(int x, int y) const { return words_[static_cast<std::size_t>(y * stride_ + x)]; }
    uint32_t guard() const { return words_.back(); }

  private:
    int w_, h_, stride_;
    std::vector<uint32_t> words_;
};

TEST(PictureCopy, OneToOneShowsTheVisibleWindow) {
    const CdgMachine m = patternMachine();
    Frame f(294, 204);
    f.fill(m);
    for (int y = 0; y < 204; ++y) {
        for (int x = 0; x < 294; ++x) {
            ASSERT_EQ(f.at(x, y), shown(m, x + 6, y + 12)) << x << "," << y;
        }
    }
    EXPECT_EQ(f.guard(), Frame::kUntouched);
}

TEST(PictureCopy, DoubleSizeMakesTwoByTwoBlocks) {
    const CdgMachine m = patternMachine();
    Frame f(588, 408);
    f.fill(m);
    for (int y = 0; y < 408; ++y) {
        for (int x = 0; x < 588; ++x) {
            ASSERT_EQ(f.at(x, y), shown(m, x / 2 + 6, y / 2 + 12)) << x << "," << y;
        }
    }
}

TEST(PictureCopy, OddEnlargementsSpanTheWholeWindow) {
    // The corners always show the window's corners, each direction scaled on its
    // own, and nothing is written past the last row.
    const CdgMachine m = patternMachine();
    for (const auto& [w, h] : {std::pair{441, 306}, {295, 205}, {883, 613}, {300, 1000}}) {
        Frame f(w, h);
        f.fill(m);
        EXPECT_EQ(f.at(0, 0), shown(m, 6, 12)) << w << "x" << h;
        EXPECT_EQ(f.at(w - 1, h - 1), shown(m, 299, 215)) << w << "x" << h;
        EXPECT_EQ(f.guard(), Frame::kUntouched);
    }
}

TEST(PictureCopy, HalfSizeTakesEverySecondPixel) {
    const CdgMachine m = patternMachine();
    Frame f(147, 102);
    f.fill(m);
    for (int y = 0; y < 102; ++y) {
        for (int x = 0; x < 147; ++x) ASSERT_EQ(f.at(x, y), shown(m, 7 + 2 * x, 13 + 2 * y));
    }
    Frame one(1, 1);  // the smallest window still shows a pixel of the picture
    one.fill(m);
    EXPECT_EQ(one.at(0, 0), shown(m, 6 + 147, 12 + 102));
}

TEST(PictureCopy, OffsetsShiftTheWindow) {
    CdgMachine m = patternMachine();
    m.HOffset = 3;
    m.VOffset = 5;
    Frame f(294, 204);
    f.fill(m);
    EXPECT_EQ(f.at(0, 0), shown(m, 9, 17));
    EXPECT_EQ(f.at(100, 50), shown(m, 109, 67));
    EXPECT_EQ(f.at(290, 198), shown(m, 299, 215));  // the picture's last pixel
}

TEST(PictureCopy, BeyondThePictureEdgeRepeatsTheEdge) {
    CdgMachine m = patternMachine();
    m.HOffset = 7;
    m.VOffset = 15;
    Frame f(294, 204);
    f.fill(m);
    // Window columns 13..306 and rows 27..230: columns past 299 and rows past
    // 215 show the last column and row.
    for (int y = 0; y < 204; ++y) {
        const int sy = std::min(y + 27, 215);
        for (int x = 0; x < 294; ++x) {
            const int sx = std::min(x + 13, 299);
            ASSERT_EQ(f.at(x, y), shown(m, sx, sy)) << x << "," << y;
        }
    }
    // Wild offsets, never produced by a packet, stay inside the picture too.
    m.HOffset = -100;
    m.VOffset = 300;
    Frame g(50, 50);
    g.fill(m);
    EXPECT_EQ(g.at(0, 0), shown(m, 0, 215));
    EXPECT_EQ(g.guard(), Frame::kUntouched);
}

TEST(PictureCopy, UsesTheColourTableAsItStands) {
    CdgMachine m = patternMachine();
    m.ColourTable[static_cast<std::size_t>(m.CDG.at(6, 12))] = 0x00332211;  // B=33 G=22 R=11
    Frame f(294, 204);
    f.fill(m);
    EXPECT_EQ(f.at(0, 0), 0xFF112233u);
}

TEST(PictureCopy, PixelsWithoutAColourIndexShowWhite) {
    // A picture drawn before it was ever cleared keeps undrawn pixels, marked
    // with an index past the colour table.
    CdgMachine m = patternMachine();
    m.CDG.index[static_cast<std::size_t>(12 * kScreenWidth + 6)] = 16;
    Frame f(294, 204);
    f.fill(m);
    EXPECT_EQ(f.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(f.at(1, 0), shown(m, 7, 12));
}

TEST(PictureCopy, PictureNeverClearedShowsWhite) {
    CdgMachine m;  // fresh: blank picture, black colour table
    Frame f(300, 7);
    f.fill(m);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 300; ++x) ASSERT_EQ(f.at(x, y), 0xFFFFFFFFu);
    }
}

TEST(PictureCopy, KeepsToItsRowsAndIgnoresBadSizes) {
    const CdgMachine m = patternMachine();
    Frame f(10, 4, 16);  // padded rows: the padding is left alone
    f.fill(m);
    for (int y = 0; y < 4; ++y) {
        for (int x = 10; x < 16; ++x) EXPECT_EQ(f.at(x, y), Frame::kUntouched);
    }
    std::vector<uint32_t> words(4, Frame::kUntouched);
    StretchVisibleWindow(m, 0, 5, words.data(), 2);
    StretchVisibleWindow(m, 2, 0, words.data(), 2);
    StretchVisibleWindow(m, 2, 2, words.data(), 1);  // stride shorter than a row
    StretchVisibleWindow(m, 2, 2, nullptr, 2);
    for (uint32_t w : words) EXPECT_EQ(w, Frame::kUntouched);
}

}  // namespace
}  // namespace lyrvox
