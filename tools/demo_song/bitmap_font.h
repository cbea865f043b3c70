#pragma once
// A small built-in 5x7 bitmap font (with two rows below the baseline for the
// descenders of g j p q y), so that the demo song's pictures never depend
// on the fonts installed on the building machine.
#include <array>
#include <cstdint>

namespace lyrvox {

class BitmapFont {
  public:
    static constexpr int kWidth = 5;   // glyph width in pixels
    static constexpr int kHeight = 9;  // glyph height in pixels, descenders included

    // Rows of glyph `c`, top first; bit 4 is the leftmost pixel. Letters, digits,
    // space and . , ! ? ' - < > + are drawn; anything else shows as '?'.
    static std::array<uint8_t, kHeight> glyph(char c);
};

}  // namespace lyrvox
