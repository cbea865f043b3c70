#pragma once
// A one-bit drawing of the 300x216 CD+G screen, cut into the 6x12 tiles that
// TileBlock packets carry.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "playback/cdg/cdg_geometry.h"

namespace lyrvox {

class TileCanvas {
  public:
    TileCanvas();

    void clear();
    void set(int x, int y);  // outside the canvas: ignored
    bool at(int x, int y) const;
    // Text in the built-in font, each font pixel a scale x scale block, glyphs
    // (5 + 1) * scale pixels apart; (x, y) is the top left of the first glyph.
    void drawText(int x, int y, std::string_view text, int scale);
    // Advance from one glyph to the next, in pixels.
    static int advance(int scale) { return 6 * scale; }

    // The twelve rows of tile (row 0-17, column 0-49); bit 5 is the leftmost pixel.
    std::array<uint8_t, 12> tile(int row, int column) const;
    bool tileEmpty(int row, int column) const;

  private:
    std::vector<uint8_t> bits_;  // one byte per pixel, row after row
};

}  // namespace lyrvox
