#include "tools/demo_song/tile_canvas.h"

#include <gtest/gtest.h>

#include "tools/demo_song/bitmap_font.h"

namespace lyrvox {
namespace {

TEST(BitmapFont, GlyphRowsPutTheLeftmostPixelInBitFour) {
    const auto a = BitmapFont::glyph('A');
    EXPECT_EQ(a[0], 0b01110);
    EXPECT_EQ(a[3], 0b11111);
    EXPECT_EQ(a[7], 0);                                         // nothing below the baseline...
    EXPECT_EQ(BitmapFont::glyph('g')[8], 0b01110);              // ...but a descender
    EXPECT_EQ(BitmapFont::glyph('~'), BitmapFont::glyph('?'));  // unknown shows '?'
    for (uint8_t row : BitmapFont::glyph(' ')) EXPECT_EQ(row, 0);
}

TEST(TileCanvas, TextLandsInTheTilesItCovers) {
    TileCanvas canvas;
    canvas.drawText(6, 0, "I", 1);  // ".###." at x 6..10 of tile column 1
    const auto tile = canvas.tile(0, 1);
    EXPECT_EQ(tile[0], 0x1C);
    EXPECT_EQ(tile[1], 0x08);  // "..#.."
    EXPECT_EQ(tile[7], 0x00);
    EXPECT_TRUE(canvas.tileEmpty(0, 0));
    EXPECT_TRUE(canvas.tileEmpty(1, 1));
}

TEST(TileCanvas, ScaledGlyphsFillBlocksAndClipAtTheEdge) {
    TileCanvas canvas;
    canvas.drawText(0, 0, "I", 2);  // each font pixel a 2x2 block
    EXPECT_TRUE(!canvas.at(0, 0) && canvas.at(2, 0) && canvas.at(3, 1));
    EXPECT_EQ(TileCanvas::textWidth("II", 2), 22);
    canvas.drawText(296, 210, "WW", 3);  // mostly outside: no harm
    EXPECT_TRUE(canvas.at(296, 210));
    EXPECT_FALSE(canvas.at(-1, 0));
}

}  // namespace
}  // namespace lyrvox
