// The size command's zoom steps, the zoom label's text and the picture copy, without Qt.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "display/picture_copy.h"
#include "display/zoom.h"

namespace lyrvox {
namespace {

TEST(Zoom, FactorFollowsTheCurrentWidthAndTextRoundsHalvesAwayFromZero) {
    // The last threshold is 782, not 882: a dragged width of 782..881 steps back to 1.
    const std::pair<int, double> factors[] = {{0, 1},   {293, 1}, {294, 1.5}, {440, 1.5},
                                              {441, 2}, {587, 2}, {588, 3},   {781, 3},
                                              {782, 1}, {881, 1}, {32767, 1}};
    for (const auto& [width, factor] : factors) EXPECT_EQ(zoomFactorFor(width), factor) << width;
    // Width / 292 in tenths; 73 / 292 is exactly 0.25.
    const std::pair<int, const char*> texts[] = {
        {294, "1.0x"}, {441, "1.5x"}, {882, "3.0x"}, {1000, "3.4x"}, {2920, "10.0x"},
        {14, "0.0x"},  {15, "0.1x"},  {72, "0.2x"},  {73, "0.3x"},   {-73, "-0.3x"}};
    for (const auto& [width, text] : texts) EXPECT_EQ(zoomText(width), text) << width;
}

// A picture holding index (x + 3 y) % 16 at (x, y), every index its own colour.
CdgMachine patternMachine() {
    CdgMachine m;
    for (uint32_t k = 0; k < 16; ++k) m.colourTable[k] = k | (16 * k) << 8 | (255 - k) << 16;
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x)
            m.picture.row(y)[x] = static_cast<uint8_t>((x + 3 * y) % 16);
    m.picture.blank = false;
    return m;
}

uint32_t shown(const CdgMachine& m, int x, int y) {
    return toArgb(m.pictureColour(x, y));
}

// A destination pre-filled with a word no colour has, with a guard word after it.
struct Frame {
    static constexpr uint32_t kUntouched = 0x12345678;
    int w, h, stride;
    std::vector<uint32_t> words;
    Frame(int width, int height, int rowWords = 0)
        : w(width),
          h(height),
          stride(rowWords ? rowWords : width),
          words(static_cast<std::size_t>(stride * height + 1), kUntouched) {}
    Frame& fill(const CdgMachine& m) {
        stretchVisibleWindow(m, w, h, words.data(), stride);
        return *this;
    }
    uint32_t at(int x, int y) const { return words[static_cast<std::size_t>(y * stride + x)]; }
};

TEST(PictureCopy, EveryFramePixelShowsItsPicturePixel) {
    // Past the picture's edge (offsets 7 and 15) the last column and row repeat.
    const struct {
        int w, h, hOffset, vOffset;
        int (*sx)(int);
        int (*sy)(int);
    } cases[] = {
        {294, 204, 0, 0, [](int x) { return x + 6; }, [](int y) { return y + 12; }},
        {588, 408, 0, 0, [](int x) { return x / 2 + 6; }, [](int y) { return y / 2 + 12; }},
        {147, 102, 0, 0, [](int x) { return 7 + 2 * x; }, [](int y) { return 13 + 2 * y; }},
        {294, 204, 3, 5, [](int x) { return x + 9; }, [](int y) { return y + 17; }},
        {294, 204, 7, 15, [](int x) { return x + 13; }, [](int y) { return y + 27; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.w << "x" << c.h << " +" << c.hOffset << "+" << c.vOffset);
        CdgMachine m = patternMachine();
        m.HOffset = static_cast<int16_t>(c.hOffset);
        m.VOffset = static_cast<int16_t>(c.vOffset);
        const Frame f = Frame(c.w, c.h).fill(m);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                ASSERT_EQ(f.at(x, y), shown(m, std::min(c.sx(x), 299), std::min(c.sy(y), 215)))
                    << x << "," << y;
        EXPECT_EQ(f.words.back(), Frame::kUntouched);
    }
}

TEST(PictureCopy, OddSizesSpanTheWindowAndWildOffsetsStayInside) {
    CdgMachine m = patternMachine();
    for (const auto& [w, h] : {std::pair{441, 306}, {295, 205}, {883, 613}, {300, 1000}}) {
        const Frame f = Frame(w, h).fill(m);
        EXPECT_EQ(f.at(0, 0), shown(m, 6, 12)) << w << "x" << h;
        EXPECT_EQ(f.at(w - 1, h - 1), shown(m, 299, 215)) << w << "x" << h;
        EXPECT_EQ(f.words.back(), Frame::kUntouched);
    }
    EXPECT_EQ(Frame(1, 1).fill(m).at(0, 0), shown(m, 6 + 147, 12 + 102));  // the centre
    m.HOffset = -100;  // offsets no packet produces
    m.VOffset = 300;
    const Frame wild = Frame(50, 50).fill(m);
    EXPECT_EQ(wild.at(0, 0), shown(m, 0, 215));
    EXPECT_EQ(wild.words.back(), Frame::kUntouched);
}

TEST(PictureCopy, ColoursComeFromTheTableAndUndrawnOrNeverClearedShowWhite) {
    CdgMachine m = patternMachine();
    m.colourTable[m.picture.at(7, 12)] = 0x00332211;  // packed: B=33 G=22 R=11
    m.picture.row(12)[6] = kUndrawnIndex;
    const Frame f = Frame(294, 204).fill(m);
    EXPECT_EQ(f.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(f.at(1, 0), 0xFF112233u);
    const Frame fresh = Frame(300, 7).fill(CdgMachine{});  // black table, never cleared
    EXPECT_TRUE(std::all_of(fresh.words.begin(), fresh.words.end() - 1,
                            [](uint32_t w) { return w == 0xFFFFFFFFu; }));
}

TEST(PictureCopy, PaddingAndBadSizesLeaveMemoryAlone) {
    const CdgMachine m = patternMachine();
    const Frame padded = Frame(10, 4, 16).fill(m);
    for (int y = 0; y < 4; ++y)
        for (int x = 10; x < 16; ++x) EXPECT_EQ(padded.at(x, y), Frame::kUntouched);
    std::vector<uint32_t> words(4, Frame::kUntouched);
    stretchVisibleWindow(m, 0, 5, words.data(), 2);
    stretchVisibleWindow(m, 2, 0, words.data(), 2);
    stretchVisibleWindow(m, 2, 2, words.data(), 1);  // a row longer than the stride
    stretchVisibleWindow(m, 2, 2, nullptr, 2);
    for (uint32_t w : words) EXPECT_EQ(w, Frame::kUntouched);
}

}  // namespace
}  // namespace lyrvox
