#include "display/picture_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace lyrvox {
namespace {

// A picture holding index (x + 3 y) % 16 at (x, y), with a colour table that tells
// every index apart.
CdgMachine patternMachine() {
    CdgMachine m;
    for (int k = 0; k < 16; ++k)
        m.ColourTable[static_cast<std::size_t>(k)] =
            static_cast<PackedColour>(k | ((16 * k) << 8) | ((255 - k) << 16));
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x)
            m.CDG.index[static_cast<std::size_t>(y * kScreenWidth + x)] =
                static_cast<uint8_t>((x + 3 * y) % 16);
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

TEST(PictureCopy, EveryFramePixelShowsItsPicturePixel) {
    // Size and offsets, and the picture pixel each frame column and row shows.
    // Past the picture's edge (at offsets) the last column and row repeat.
    const struct {
        int w, h, hOffset, vOffset;
        std::function<int(int)> sx, sy;
    } cases[] = {
        {294, 204, 0, 0, [](int x) { return x + 6; }, [](int y) { return y + 12; }},
        {588, 408, 0, 0, [](int x) { return x / 2 + 6; }, [](int y) { return y / 2 + 12; }},
        {147, 102, 0, 0, [](int x) { return 7 + 2 * x; }, [](int y) { return 13 + 2 * y; }},
        {294, 204, 3, 5, [](int x) { return x + 9; }, [](int y) { return y + 17; }},
        {294, 204, 7, 15, [](int x) { return x + 13; }, [](int y) { return y + 27; }},
    };
    for (const auto& c : cases) {
        CdgMachine m = patternMachine();
        m.HOffset = static_cast<int16_t>(c.hOffset);
        m.VOffset = static_cast<int16_t>(c.vOffset);
        Frame f(c.w, c.h);
        f.fill(m);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                ASSERT_EQ(f.at(x, y), shown(m, std::min(c.sx(x), 299), std::min(c.sy(y), 215)))
                    << c.w << "x" << c.h << " at " << x << "," << y;
        EXPECT_EQ(f.guard(), Frame::kUntouched);
    }
}

TEST(PictureCopy, OddSizesSpanTheWholeWindow) {
    // The corners show the window's corners, each direction scaled on its own.
    const CdgMachine m = patternMachine();
    for (const auto& [w, h] : {std::pair{441, 306}, {295, 205}, {883, 613}, {300, 1000}}) {
        Frame f(w, h);
        f.fill(m);
        EXPECT_EQ(f.at(0, 0), shown(m, 6, 12)) << w << "x" << h;
        EXPECT_EQ(f.at(w - 1, h - 1), shown(m, 299, 215)) << w << "x" << h;
        EXPECT_EQ(f.guard(), Frame::kUntouched);
    }
    Frame one(1, 1);  // the smallest window still shows a pixel of the picture
    one.fill(m);
    EXPECT_EQ(one.at(0, 0), shown(m, 6 + 147, 12 + 102));
}

TEST(PictureCopy, WildOffsetsStayInsideThePicture) {
    CdgMachine m = patternMachine();  // offsets no packet produces
    m.HOffset = -100;
    m.VOffset = 300;
    Frame g(50, 50);
    g.fill(m);
    EXPECT_EQ(g.at(0, 0), shown(m, 0, 215));
    EXPECT_EQ(g.guard(), Frame::kUntouched);
}

TEST(PictureCopy, ColoursComeFromTheTableAndUndrawnPixelsShowWhite) {
    CdgMachine m = patternMachine();
    m.ColourTable[static_cast<std::size_t>(m.CDG.at(7, 12))] = 0x00332211;  // B=33 G=22 R=11
    // A picture drawn before it was ever cleared marks undrawn pixels with an
    // index past the colour table.
    m.CDG.index[static_cast<std::size_t>(12 * kScreenWidth + 6)] = 16;
    Frame f(294, 204);
    f.fill(m);
    EXPECT_EQ(f.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(f.at(1, 0), 0xFF112233u);

    CdgMachine fresh;  // blank picture, black colour table
    Frame blank(300, 7);
    blank.fill(fresh);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 300; ++x) ASSERT_EQ(blank.at(x, y), 0xFFFFFFFFu);
}

TEST(PictureCopy, KeepsToItsRowsAndIgnoresBadSizes) {
    const CdgMachine m = patternMachine();
    Frame f(10, 4, 16);  // padded rows: the padding is left alone
    f.fill(m);
    for (int y = 0; y < 4; ++y)
        for (int x = 10; x < 16; ++x) EXPECT_EQ(f.at(x, y), Frame::kUntouched);
    std::vector<uint32_t> words(4, Frame::kUntouched);
    StretchVisibleWindow(m, 0, 5, words.data(), 2);
    StretchVisibleWindow(m, 2, 0, words.data(), 2);
    StretchVisibleWindow(m, 2, 2, words.data(), 1);  // stride shorter than a row
    StretchVisibleWindow(m, 2, 2, nullptr, 2);
    for (uint32_t w : words) EXPECT_EQ(w, Frame::kUntouched);
}

}  // namespace
}  // namespace lyrvox
