// The zoom steps' edges, the zoom label's text and the picture copy, without Qt.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "display/picture_copy.h"
#include "display/picture_fit.h"
#include "display/zoom.h"

namespace lyrvox {
namespace {

// The size command's steps and texts show in the display window test; here the edges.
TEST(Zoom, FactorFollowsTheCurrentWidthAndTextRoundsHalvesAwayFromZero) {
    // The last threshold is 782, not 882: a dragged width of 782..881 steps back to 1.
    for (auto [width, factor] : {std::pair{293, 1.0}, {294, 1.5}, {781, 3.0}, {782, 1.0}})
        EXPECT_EQ(zoomFactorFor(width), factor) << width;
    // One step down from the width now: a step exactly at 1x, 1.5x, 2x, 3x goes one lower.
    for (auto [width, factor] : {std::pair{200, 1.0},
                                 {441, 1.0},
                                 {442, 1.5},
                                 {588, 1.5},
                                 {882, 2.0},
                                 {883, 3.0},
                                 {5000, 3.0}})
        EXPECT_EQ(zoomFactorBelow(width), factor) << width;
    // Width / 292 in tenths; 73 / 292 is exactly 0.25.
    const std::pair<int, const char*> texts[] = {{14, "0.0x"}, {15, "0.1x"},   {72, "0.2x"},
                                                 {73, "0.3x"}, {-73, "-0.3x"}, {2920, "10.0x"}};
    for (auto [width, text] : texts) EXPECT_EQ(zoomText(width), text) << width;
}

// The copy into a w x h frame of rows `stride` words apart (w when 0), then a guard
// word; every word not written keeps kUntouched, which no colour has.
constexpr uint32_t kUntouched = 0x12345678;
std::vector<uint32_t> copy(const CdgMachine& m, int w, int h, int stride = 0) {
    std::vector<uint32_t> frame(static_cast<std::size_t>((stride ? stride : w) * h + 1),
                                kUntouched);
    stretchVisibleWindow(m, w, h, frame.data(), stride ? stride : w);
    return frame;
}

TEST(PictureCopy, EveryFramePixelShowsItsPicturePixel) {
    CdgMachine m;  // index (x + 3 y) % 16 at (x, y), every index its own colour
    for (uint32_t k = 0; k < 16; ++k) m.colourTable[k] = k | (16 * k) << 8 | (255 - k) << 16;
    for (int i = 0; i < kScreenWidth * kScreenHeight; ++i)
        m.picture.index[i] = static_cast<uint8_t>((i % kScreenWidth + 3 * (i / kScreenWidth)) % 16);
    m.picture.blank = false;
    auto shown = [&](int x, int y) {
        return toArgb(m.pictureColour(std::min(x, 299), std::min(y, 215)));
    };
    // Size, offsets, and the picture pixel under each frame column and row. Past the
    // picture's edge (offsets 7 and 15) the last column and row repeat.
    const struct {
        int w, h, hOffset, vOffset;
        int (*sx)(int);
        int (*sy)(int);
    } cases[] = {
        {294, 204, 3, 5, [](int x) { return x + 9; }, [](int y) { return y + 17; }},
        {588, 408, 0, 0, [](int x) { return x / 2 + 6; }, [](int y) { return y / 2 + 12; }},
        {147, 102, 0, 0, [](int x) { return 7 + 2 * x; }, [](int y) { return 13 + 2 * y; }},
        {294, 204, 7, 15, [](int x) { return x + 13; }, [](int y) { return y + 27; }}};
    for (const auto& c : cases) {
        m.HOffset = static_cast<int16_t>(c.hOffset);
        m.VOffset = static_cast<int16_t>(c.vOffset);
        const auto f = copy(m, c.w, c.h);
        for (int i = 0; i < c.w * c.h; ++i)
            ASSERT_EQ(f[i], shown(c.sx(i % c.w), c.sy(i / c.w)))
                << c.w << "+" << c.hOffset << " " << i;
        EXPECT_EQ(f.back(), kUntouched);
    }
    m.HOffset = m.VOffset = 0;  // odd sizes span the whole window, corner to corner
    for (auto [w, h] : {std::pair{441, 306}, {295, 205}, {883, 613}, {300, 1000}}) {
        const auto f = copy(m, w, h);
        EXPECT_TRUE(f.front() == shown(6, 12) && f[f.size() - 2] == shown(299, 215))
            << w << "x" << h;
    }
    EXPECT_EQ(copy(m, 1, 1)[0], shown(6 + 147, 12 + 102));  // the window's centre
    m.VOffset = 300;
    m.HOffset = -100;  // offsets no packet produces
    EXPECT_EQ(copy(m, 50, 50)[0], shown(0, 215));
}

TEST(PictureCopy, UndrawnShowsWhiteAndMemoryPastTheFrameIsLeftAlone) {
    CdgMachine m;  // never cleared, black colour table: white all over
    const auto fresh = copy(m, 300, 7);
    EXPECT_EQ(std::count(fresh.begin(), fresh.end(), 0xFFFFFFFFu), 300 * 7);
    m.picture.clearTo(2);
    m.colourTable[2] = 0x00332211;  // packed: blue 33, green 22, red 11
    m.picture.index[12 * kScreenWidth + 6] = kUndrawnIndex;
    const auto f = copy(m, 294, 204);
    EXPECT_TRUE(f[0] == 0xFFFFFFFFu && f[1] == 0xFF112233u);
    const auto padded = copy(m, 10, 4, 16);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(padded[i] == kUntouched, i % 16 >= 10) << i;
    // Bad sizes, and a stride shorter than a row, write nothing.
    for (auto [w, h, stride] : {std::array{0, 5, 2}, {2, 0, 2}, {2, 2, 1}, {-3, 2, 2}}) {
        const auto none = copy(m, w, h, stride);
        EXPECT_EQ(std::count(none.begin(), none.end(), kUntouched), std::ssize(none)) << w << h;
    }
    stretchVisibleWindow(m, 2, 2, nullptr, 2);
}

TEST(PictureFit, EachScalingPlacesThePictureInsideTheClientArea) {
    using enum Scaling;
    const std::tuple<int, int, Scaling, FitRect> rows[] = {
        {1920, 1080, Stretch, {0, 0, 1920, 1080}},
        {1920, 1080, KeepAspect, {182, 0, 1556, 1080}},     // 1080 * 294 / 204 = 1556.5 -> 1556
        {1920, 1080, PixelPerfect, {225, 30, 1470, 1020}},  // 5x
        {1280, 1024, KeepAspect, {0, 68, 1280, 888}},
        {1280, 1024, PixelPerfect, {52, 104, 1176, 816}},  // 4x, limited by the width
        {293, 204, PixelPerfect, {0, 0, 293, 203}},        // no whole multiple fits: shape kept
        {100, 50, KeepAspect, {14, 0, 72, 50}},
        {3, 1, KeepAspect, {1, 0, 1, 1}},
        {1, 1, PixelPerfect, {0, 0, 1, 1}},
        {0, 0, KeepAspect, {}},
        {1000, 0, Stretch, {}},
    };
    for (const auto& [w, h, scaling, want] : rows)
        EXPECT_EQ(fitPicture(kViewWidth, kViewHeight, w, h, scaling), want) << w << "x" << h;
    // Every size: inside the area, never empty.
    for (Scaling s : {KeepAspect, PixelPerfect})
        for (int w = 1; w < 700; w += 7)
            for (int h = 1; h < 700; h += 11) {
                const FitRect f = fitPicture(kViewWidth, kViewHeight, w, h, s);
                ASSERT_TRUE(f.x >= 0 && f.y >= 0 && f.width >= 1 && f.height >= 1 &&
                            f.x + f.width <= w && f.y + f.height <= h)
                    << w << "x" << h;
            }
    // Full screen keeps the shape unless pixel-perfect is chosen; a window stretches.
    EXPECT_TRUE(scalingFor(false, false, false) == Stretch &&
                scalingFor(false, false, true) == KeepAspect &&
                scalingFor(true, false, false) == KeepAspect &&
                scalingFor(false, true, true) == PixelPerfect);
}

}  // namespace
}  // namespace lyrvox
