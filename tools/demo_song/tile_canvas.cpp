#include "tools/demo_song/tile_canvas.h"

#include <algorithm>

#include "tools/demo_song/bitmap_font.h"

namespace lyrvox {

TileCanvas::TileCanvas() : bits_(static_cast<std::size_t>(kScreenWidth * kScreenHeight), 0) {}

void TileCanvas::clear() {
    std::fill(bits_.begin(), bits_.end(), uint8_t{0});
}

void TileCanvas::set(int x, int y) {
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return;
    bits_[static_cast<std::size_t>(y * kScreenWidth + x)] = 1;
}

bool TileCanvas::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return false;
    return bits_[static_cast<std::size_t>(y * kScreenWidth + x)] != 0;
}

void TileCanvas::drawText(int x, int y, std::string_view text, int scale) {
    for (char c : text) {
        const auto rows = BitmapFont::glyph(c);
        for (int gy = 0; gy < BitmapFont::kHeight; ++gy) {
            for (int gx = 0; gx < BitmapFont::kWidth; ++gx) {
                if ((rows[static_cast<std::size_t>(gy)] & (0x10 >> gx)) == 0) continue;
                for (int dy = 0; dy < scale; ++dy) {
                    for (int dx = 0; dx < scale; ++dx)
                        set(x + gx * scale + dx, y + gy * scale + dy);
                }
            }
        }
        x += advance(scale);
    }
}

std::array<uint8_t, 12> TileCanvas::tile(int row, int column) const {
    std::array<uint8_t, 12> rows{};
    for (int r = 0; r < kTileHeight; ++r) {
        uint8_t bits = 0;
        for (int c = 0; c < kTileWidth; ++c) {
            if (at(column * kTileWidth + c, row * kTileHeight + r))
                bits |= static_cast<uint8_t>(0x20 >> c);
        }
        rows[static_cast<std::size_t>(r)] = bits;
    }
    return rows;
}

bool TileCanvas::tileEmpty(int row, int column) const {
    const auto rows = tile(row, column);
    return std::all_of(rows.begin(), rows.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace lyrvox
