// The video frame painter: where the picture lies in the frame, its colours in
// BT.709 limited-range YUV, and repeats of an unchanged picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <tuple>

#include "display/picture_copy.h"
#include "playback/cdg/cdg_machine.h"
#include "video/frame_painter.h"

namespace lyrvox {
namespace {

constexpr PackedColour kRed = 0x000000FF;   // red in bits 0-7
constexpr PackedColour kBlue = 0x00FF0000;  // blue in bits 16-23
constexpr PackedColour kGreen = 0x0000FF00;

// A picture whose visible window is red on its left half and blue on its right.
std::unique_ptr<CdgMachine> halvedPicture() {
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    machine->colourTable[1] = kRed;
    machine->colourTable[2] = kBlue;
    machine->fillArea(0, 0, kScreenWidth - 1, kScreenHeight - 1, 1);
    machine->fillArea(kViewLeft + kViewWidth / 2, 0, kScreenWidth - 1, kScreenHeight - 1, 2);
    return machine;
}

struct Yuv {
    int y, cb, cr;
};
constexpr Yuv kBlackYuv{16, 128, 128};
// BT.709 limited range, rounded: pure red and pure blue.
constexpr Yuv kRedYuv{63, 102, 240};
constexpr Yuv kBlueYuv{32, 240, 118};

Yuv pixel(const FramePainter& painter, int width, int height, bool full, int x, int y) {
    const auto& p = painter.yuv();
    const std::size_t plane = static_cast<std::size_t>(width) * height;
    const std::size_t chroma =
        full ? static_cast<std::size_t>(y) * width + x
             : static_cast<std::size_t>(y / 2) * (width / 2) + static_cast<std::size_t>(x / 2);
    const std::size_t chromaPlane = full ? plane : plane / 4;
    return {p[static_cast<std::size_t>(y) * width + x], p[plane + chroma],
            p[plane + chromaPlane + chroma]};
}

struct PaintCase {
    const char* name;
    int width, height;
    bool stretch, full;
    FitRect rect;  // where the picture lands
};

class FramePainterTest : public ::testing::TestWithParam<PaintCase> {};

TEST_P(FramePainterTest, PlacesThePictureBetweenBlackBarsInVideoColours) {
    const PaintCase& c = GetParam();
    FramePainter painter(c.width, c.height, c.stretch, c.full);
    EXPECT_EQ(painter.pictureRect(), c.rect);
    ASSERT_TRUE(painter.paint(*halvedPicture()));
    EXPECT_EQ(painter.yuv().size(),
              static_cast<std::size_t>(c.width) * c.height * 3 / (c.full ? 1 : 2));
    auto expect = [&](int x, int y, Yuv want) {
        const Yuv got = pixel(painter, c.width, c.height, c.full, x, y);
        EXPECT_NEAR(got.y, want.y, 1) << c.name << " at " << x << "," << y;
        EXPECT_NEAR(got.cb, want.cb, 1) << c.name << " at " << x << "," << y;
        EXPECT_NEAR(got.cr, want.cr, 1) << c.name << " at " << x << "," << y;
    };
    const FitRect& r = c.rect;
    expect(r.x + 2, r.y + 2, kRedYuv);
    expect(r.x + r.width - 3, r.y + r.height - 3, kBlueYuv);
    if (r.x > 0) expect(r.x - 2, c.height / 2, kBlackYuv);
    if (r.y > 0) expect(c.width / 2, r.y - 2, kBlackYuv);
    if (r.x + r.width < c.width) expect(c.width - 2, c.height / 2, kBlackYuv);
    if (r.y + r.height < c.height) expect(c.width / 2, c.height - 2, kBlackYuv);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FramePainterTest,
                         ::testing::Values(
                             // 294x204 at 720 rows is 1038 wide: bars left and right.
                             PaintCase{"720p", 1280, 720, false, false, {121, 0, 1038, 720}},
                             PaintCase{"1080p", 1920, 1080, false, false, {182, 0, 1556, 1080}},
                             // Narrower than the picture's shape: bars above and below.
                             PaintCase{"4:3 narrow", 320, 240, false, false, {0, 9, 320, 222}},
                             PaintCase{"stretched", 1280, 720, true, false, {0, 0, 1280, 720}},
                             PaintCase{"full chroma", 640, 360, false, true, {60, 0, 519, 360}}),
                         [](const auto& param) {
                             std::string name = param.param.name;
                             for (char& ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

TEST(FramePainter, RepaintsOnlyWhenThePictureChanges) {
    FramePainter painter(640, 360, false);
    auto machine = halvedPicture();
    EXPECT_TRUE(painter.paint(*machine));
    EXPECT_FALSE(painter.paint(*machine));
    // A colour reload recolours without drawing a pixel.
    machine->colourTable[1] = kGreen;
    EXPECT_TRUE(painter.paint(*machine));
    EXPECT_NEAR(pixel(painter, 640, 360, false, 100, 100).y, 173, 1);
    EXPECT_FALSE(painter.paint(*machine));
    // A fine scroll moves the window over the same picture.
    machine->VOffset = 3;
    EXPECT_TRUE(painter.paint(*machine));
}

// Repainting converts only the frame rows whose picture rows changed; the frame must
// still be the one a fresh painter makes of the same picture.
TEST(FramePainter, ARepaintedFrameEqualsAFreshOne) {
    struct Change {
        const char* what;
        void (*apply)(CdgMachine&);
    };
    const Change changes[] = {
        {"one tile row", [](CdgMachine& m) { m.fillArea(60, 100, 65, 111, 2); }},
        {"one pixel", [](CdgMachine& m) { m.plotPixel(20, 13, 2); }},
        {"top and bottom edge",
         [](CdgMachine& m) {
             m.fillArea(0, 0, 299, 12, 2);
             m.fillArea(0, 215, 299, 215, 2);
         }},
        {"fine scroll", [](CdgMachine& m) { m.VOffset = 7; }},
        {"colour reload", [](CdgMachine& m) { m.colourTable[2] = kGreen; }},
    };
    for (const auto& [width, height, stretch, full] :
         {std::tuple{1280, 720, false, false}, std::tuple{320, 240, false, true},
          std::tuple{642, 206, true, false}}) {
        for (const Change& change : changes) {
            auto machine = halvedPicture();
            FramePainter painter(width, height, stretch, full);
            ASSERT_TRUE(painter.paint(*machine));
            change.apply(*machine);
            ASSERT_TRUE(painter.paint(*machine)) << change.what;
            FramePainter fresh(width, height, stretch, full);
            ASSERT_TRUE(fresh.paint(*machine));
            EXPECT_TRUE(painter.yuv() == fresh.yuv())
                << change.what << " at " << width << "x" << height;
        }
    }
}

// With full chroma every frame pixel is its own colour: the frame must be the
// display's own picture copy (stretchVisibleWindow) in video colours, pixel for
// pixel, at any size and fine scroll, after a change too.
TEST(FramePainter, FullChromaFramesAreTheDisplaysPictureCopy) {
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    std::mt19937 random(5);
    for (uint32_t k = 0; k < 16; ++k) machine->colourTable[k] = random() & 0xFFFFFFu;
    for (int tile = 0; tile < 400; ++tile) {
        const int x = static_cast<int>(random() % 50) * 6, y = static_cast<int>(random() % 18) * 12;
        machine->fillArea(x, y, x + 5, y + 11, static_cast<int>(random() % 16));
    }
    for (const auto& [width, height, hOffset, vOffset] :
         {std::tuple{1280, 720, 0, 0}, std::tuple{320, 240, 3, 7}, std::tuple{1920, 1080, 5, 15},
          std::tuple{300, 218, 1, 1}}) {
        FramePainter painter(width, height, false, true);
        ASSERT_TRUE(painter.paint(*machine));
        machine->HOffset = static_cast<int16_t>(hOffset);
        machine->VOffset = static_cast<int16_t>(vOffset);
        machine->fillArea(60, 24, 65, 35, 3);
        ASSERT_TRUE(painter.paint(*machine));
        std::vector<uint32_t> argb(static_cast<std::size_t>(width) * height, 0xFF000000u);
        const FitRect& r = painter.pictureRect();
        stretchVisibleWindow(*machine, r.width, r.height,
                             argb.data() + static_cast<std::size_t>(r.y) * width + r.x, width);
        const std::size_t plane = argb.size();
        int worst = 0;
        for (std::size_t i = 0; i < plane; ++i) {
            const double red = (argb[i] >> 16) & 0xFF, green = (argb[i] >> 8) & 0xFF,
                         blue = argb[i] & 0xFF;
            const double y = 16 + (0.2126 * red + 0.7152 * green + 0.0722 * blue) * 219 / 255;
            const double cb = 128 + (-0.1146 * red - 0.3854 * green + 0.5 * blue) * 224 / 255;
            const double cr = 128 + (0.5 * red - 0.4542 * green - 0.0458 * blue) * 224 / 255;
            const auto& yuv = painter.yuv();
            worst = std::max({worst, static_cast<int>(std::abs(yuv[i] - y) + 0.5),
                              static_cast<int>(std::abs(yuv[plane + i] - cb) + 0.5),
                              static_cast<int>(std::abs(yuv[2 * plane + i] - cr) + 0.5)});
        }
        EXPECT_LE(worst, 1) << width << "x" << height;
        machine->HOffset = 0;
        machine->VOffset = 0;
    }
}

TEST(FramePainter, AColourEdgeShareOfTheChromaIsTheBlocksAverage) {
    // 4:2:0: a 2x2 block across the red/blue edge carries the average colour; 4:4:4
    // keeps each side's own.
    for (bool full : {false, true}) {
        FramePainter painter(294, 204, true, full);  // one frame pixel per picture pixel
        ASSERT_TRUE(painter.paint(*halvedPicture()));
        const Yuv left = pixel(painter, 294, 204, full, 146, 10);
        const Yuv right = pixel(painter, 294, 204, full, 147, 10);
        if (full) {
            EXPECT_NEAR(left.cr, kRedYuv.cr, 1);
            EXPECT_NEAR(right.cr, kBlueYuv.cr, 1);
        } else {
            EXPECT_NEAR(left.cr, (kRedYuv.cr + kBlueYuv.cr) / 2, 1);
            EXPECT_EQ(left.cr, right.cr);
        }
        EXPECT_NEAR(left.y, kRedYuv.y, 1);
        EXPECT_NEAR(right.y, kBlueYuv.y, 1);
    }
}

}  // namespace
}  // namespace lyrvox
