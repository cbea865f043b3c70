#include "display/picture_copy.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace lyrvox {

namespace {

// Source coordinate (0 .. base-1 inside the visible window) for destination
// coordinate d of `size`: the source pixel under the destination pixel's centre,
// floor((d + 1/2) * base / size). One-to-one when size == base.
int sourceFor(int d, int size, int base) {
    return static_cast<int>((2LL * d + 1) * base / (2LL * size));
}

// Every byte value gets a colour: 0-15 through the colour table with `opacity` in
// the top byte, anything else (a pixel never drawn since the picture left its
// all-white state) opaque white.
std::array<uint32_t, 256> paletteOf(const CdgMachine& machine,
                                    const std::array<uint8_t, 16>& opacity) {
    std::array<uint32_t, 256> palette;
    palette.fill(toArgb(kWhite));
    for (std::size_t k = 0; k < machine.colourTable.size(); ++k) {
        palette[k] = (toArgb(machine.colourTable[k]) & 0x00FFFFFFu) |
                     (static_cast<uint32_t>(opacity[k]) << 24);
    }
    return palette;
}

constexpr std::array<uint8_t, 16> kOpaque = {255, 255, 255, 255, 255, 255, 255, 255,
                                             255, 255, 255, 255, 255, 255, 255, 255};

void stretchWithPalette(const CdgMachine& machine, const std::array<uint32_t, 256>& palette,
                        int dWidth, int dHeight, uint32_t* out, int strideWords) {
    const auto stride = static_cast<std::size_t>(strideWords);
    const auto rowBytes = static_cast<std::size_t>(dWidth) * sizeof(uint32_t);

    if (machine.picture.blank) {
        const uint32_t white = toArgb(kWhite);
        std::fill_n(out, dWidth, white);
        for (int y = 1; y < dHeight; ++y) std::memcpy(out + stride * y, out, rowBytes);
        return;
    }

    // Column map, once per call: picture column for every destination column,
    // clamped to the picture so a window pushed past the edge repeats the edge.
    const int left = kViewLeft + machine.HOffset;
    const int top = kViewTop + machine.VOffset;
    std::vector<uint16_t> columns(static_cast<std::size_t>(dWidth));
    for (int x = 0; x < dWidth; ++x) {
        const int sx = std::clamp(left + sourceFor(x, dWidth, kViewWidth), 0, kScreenWidth - 1);
        columns[static_cast<std::size_t>(x)] = static_cast<uint16_t>(sx);
    }

    const int firstColumn = columns.front();
    const int lastColumn = columns.back();
    std::array<uint32_t, kScreenWidth> colours{};

    int previousSource = -1;
    for (int y = 0; y < dHeight; ++y) {
        uint32_t* row = out + stride * y;
        const int sy = std::clamp(top + sourceFor(y, dHeight, kViewHeight), 0, kScreenHeight - 1);
        if (sy == previousSource) {
            // Enlarging repeats source rows: copy the row just built.
            std::memcpy(row, row - stride, rowBytes);
            continue;
        }
        // Colour the source row once, then spread it over the destination columns.
        const uint8_t* indices =
            machine.picture.index.data() + static_cast<std::size_t>(sy) * kScreenWidth;
        for (int x = firstColumn; x <= lastColumn; ++x) colours[x] = palette[indices[x]];
        const uint16_t* map = columns.data();
        for (int x = 0; x < dWidth; ++x) row[x] = colours[map[x]];
        previousSource = sy;
    }
}

// One channel of `front` over `back` at opacity a (0-255), rounded to nearest.
inline uint32_t mixChannel(uint32_t front, uint32_t back, uint32_t a, int shift) {
    const uint32_t f = (front >> shift) & 0xFFu;
    const uint32_t b = (back >> shift) & 0xFFu;
    return ((f * a + b * (255 - a) + 127) / 255) << shift;
}

}  // namespace

void stretchVisibleWindow(const CdgMachine& machine, int dWidth, int dHeight, uint32_t* out,
                          int strideWords) {
    if (dWidth < 1 || dHeight < 1 || out == nullptr || strideWords < dWidth) return;
    stretchWithPalette(machine, paletteOf(machine, kOpaque), dWidth, dHeight, out, strideWords);
}

void compositeVisibleWindow(const CdgMachine& machine, const std::array<uint8_t, 16>& opacity,
                            int dWidth, int dHeight, uint32_t* out, int strideWords,
                            const uint32_t* behind, int behindStride) {
    if (dWidth < 1 || dHeight < 1 || out == nullptr || strideWords < dWidth) return;
    stretchWithPalette(machine, paletteOf(machine, opacity), dWidth, dHeight, out, strideWords);
    if (behind == nullptr || behindStride < dWidth || machine.picture.blank) return;
    // The opacity rode along in the top byte; every word leaves opaque.
    for (int y = 0; y < dHeight; ++y) {
        uint32_t* row = out + static_cast<std::size_t>(strideWords) * y;
        const uint32_t* back = behind + static_cast<std::size_t>(behindStride) * y;
        for (int x = 0; x < dWidth; ++x) {
            const uint32_t p = row[x];
            const uint32_t a = p >> 24;
            if (a == 255) continue;
            row[x] = a == 0 ? (back[x] | 0xFF000000u)
                            : 0xFF000000u | mixChannel(p, back[x], a, 16) |
                                  mixChannel(p, back[x], a, 8) | mixChannel(p, back[x], a, 0);
        }
    }
}

}  // namespace lyrvox
