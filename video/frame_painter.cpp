#include "video/frame_painter.h"

#include <algorithm>
#include <array>

#include "display/picture_copy.h"

namespace lyrvox {
namespace {

// BT.709 in the limited range (Y 16-235, Cb and Cr 16-240), in units of 1/65536.
// Each chroma row sums to 0, so that greys have no colour.
constexpr int32_t kYr = 11966, kYg = 40254, kYb = 4064;
constexpr int32_t kBr = -6597, kBg = -22187, kBb = 28784;
constexpr int32_t kRr = 28784, kRg = -26148, kRb = -2636;

inline int32_t red(uint32_t argb) {
    return static_cast<int32_t>((argb >> 16) & 0xFFu);
}
inline int32_t green(uint32_t argb) {
    return static_cast<int32_t>((argb >> 8) & 0xFFu);
}
inline int32_t blue(uint32_t argb) {
    return static_cast<int32_t>(argb & 0xFFu);
}

inline uint8_t luma(uint32_t argb) {
    return static_cast<uint8_t>(
        16 + ((kYr * red(argb) + kYg * green(argb) + kYb * blue(argb) + 32768) >> 16));
}

}  // namespace

FramePainter::FramePainter(int width, int height, bool stretch, bool fullChroma)
    : width_(width),
      fullChroma_(fullChroma),
      height_(height),
      rect_(fitPicture(kViewWidth, kViewHeight, width, height,
                       stretch ? Scaling::Stretch : Scaling::KeepAspect)),
      argb_(static_cast<std::size_t>(width) * height, 0xFF000000u),
      rowChanged_(static_cast<std::size_t>(height), 1),
      rowGeneration_(static_cast<std::size_t>(height), 0),
      shown_(static_cast<std::size_t>(kScreenWidth) * kScreenHeight),
      now_(shown_.size()),
      yuv_(static_cast<std::size_t>(width) * height * 3 / (fullChroma ? 1 : 2)) {}

bool FramePainter::paint(const CdgMachine& machine, const FrameBackdrop& behind) {
    machine.renderArgb32(now_.data(), kScreenWidth);
    // Over a backdrop only while some colour is transparent; a change of opacities or
    // of the backdrop repaints the whole picture.
    std::array<uint8_t, 16> opacity{};
    bool mixed = false;
    if (behind.pixels != nullptr) {
        opacity = machine.opacityTable(behind.clearTransparent);
        mixed = CdgMachine::anyTransparent(opacity);
    }
    const bool restyled =
        mixed != mixed_ || (mixed && (opacity != opacity_ || behind.serial != behindSerial_));
    // Which picture rows changed: a karaoke wipe touches a few at a time, and only
    // the frame rows taken from them are converted again.
    const bool moved =
        first_ || restyled || machine.HOffset != hOffset_ || machine.VOffset != vOffset_;
    std::array<bool, kScreenHeight> changed{};
    bool any = moved;
    for (int y = 0; y < kScreenHeight; ++y) {
        const auto row = static_cast<std::size_t>(y) * kScreenWidth;
        changed[static_cast<std::size_t>(y)] =
            moved || !std::equal(now_.begin() + static_cast<std::ptrdiff_t>(row),
                                 now_.begin() + static_cast<std::ptrdiff_t>(row + kScreenWidth),
                                 shown_.begin() + static_cast<std::ptrdiff_t>(row));
        any = any || changed[static_cast<std::size_t>(y)];
    }
    if (!any) return false;
    shown_.swap(now_);
    hOffset_ = machine.HOffset;
    vOffset_ = machine.VOffset;
    mixed_ = mixed;
    opacity_ = opacity;
    behindSerial_ = behind.serial;
    // Frame row to picture row as stretchVisibleWindow maps them: the picture row
    // under the frame row's centre, clamped to the picture.
    const int top = kViewTop + machine.VOffset;
    for (int y = 0; y < height_; ++y) {
        const int inside = y - rect_.y;
        bool redo = false;
        if (inside >= 0 && inside < rect_.height) {
            const int source =
                top + static_cast<int>((2LL * inside + 1) * kViewHeight / (2LL * rect_.height));
            redo = changed[static_cast<std::size_t>(std::clamp(source, 0, kScreenHeight - 1))];
        }
        rowChanged_[static_cast<std::size_t>(y)] = first_ || redo;
    }
    ++generation_;
    for (std::size_t y = 0; y < rowChanged_.size(); ++y) {
        // 4:2:0 converts rows in pairs: both change with their chroma row.
        if (!fullChroma_ && y % 2 == 0) rowChanged_[y] = rowChanged_[y] || rowChanged_[y + 1];
        if (!fullChroma_ && y % 2 == 1) rowChanged_[y] = rowChanged_[y - 1];
        if (rowChanged_[y]) rowGeneration_[y] = generation_;
    }
    if (mixed) {
        drawMixed(machine, behind.pixels);
    } else {
        drawChangedRows(machine.HOffset, top);
    }
    if (fullChroma_) {
        convertFull();
    } else {
        convert();
    }
    first_ = false;
    return true;
}

void FramePainter::drawChangedRows(int hOffset, int top) {
    // The picture's column under each frame column's centre, clamped to the picture:
    // the nearest-neighbour map of stretchVisibleWindow, whose colours renderArgb32
    // gave (so the picture need not be drawn whole for a few changed rows).
    const int left = kViewLeft + hOffset;
    columns_.resize(static_cast<std::size_t>(rect_.width));
    for (int x = 0; x < rect_.width; ++x) {
        const int source =
            left + static_cast<int>((2LL * x + 1) * kViewWidth / (2LL * rect_.width));
        columns_[static_cast<std::size_t>(x)] =
            static_cast<uint16_t>(std::clamp(source, 0, kScreenWidth - 1));
    }
    const auto w = static_cast<std::size_t>(width_);
    int previousSource = -1;
    for (int y = rect_.y; y < rect_.y + rect_.height; ++y) {
        if (!rowChanged_[static_cast<std::size_t>(y)]) {
            previousSource = -1;
            continue;
        }
        const int inside = y - rect_.y;
        const int source = std::clamp(
            top + static_cast<int>((2LL * inside + 1) * kViewHeight / (2LL * rect_.height)), 0,
            kScreenHeight - 1);
        uint32_t* row = argb_.data() + w * static_cast<std::size_t>(y) + rect_.x;
        if (source == previousSource) {
            std::copy_n(row - w, rect_.width, row);
            continue;
        }
        const uint32_t* picture = shown_.data() + static_cast<std::size_t>(source) * kScreenWidth;
        for (std::size_t x = 0; x < columns_.size(); ++x) row[x] = picture[columns_[x]];
        previousSource = source;
    }
}

void FramePainter::drawMixed(const CdgMachine& machine, const uint32_t* behind) {
    // The whole picture over its backdrop, as the player's display lays it; only the
    // changed rows are converted, and the others come out as they were.
    compositeVisibleWindow(machine, opacity_, rect_.width, rect_.height,
                           argb_.data() + static_cast<std::size_t>(width_) * rect_.y + rect_.x,
                           width_, behind, rect_.width);
}

void FramePainter::convert() {
    const auto w = static_cast<std::size_t>(width_);
    uint8_t* yPlane = yuv_.data();
    uint8_t* cbPlane = yPlane + w * height_;
    uint8_t* crPlane = cbPlane + (w / 2) * (height_ / 2);
    for (int y = 0; y < height_; y += 2) {
        const uint32_t* top = argb_.data() + w * y;
        const uint32_t* bottom = top + w;
        if (!rowChanged_[static_cast<std::size_t>(y)] &&
            !rowChanged_[static_cast<std::size_t>(y) + 1])
            continue;
        uint8_t* yTop = yPlane + w * y;
        uint8_t* yBottom = yTop + w;
        uint8_t* cb = cbPlane + (w / 2) * (y / 2);
        uint8_t* cr = crPlane + (w / 2) * (y / 2);
        for (std::size_t x = 0; x < w; x += 2) {
            const uint32_t a = top[x], b = top[x + 1], c = bottom[x], d = bottom[x + 1];
            yTop[x] = luma(a);
            yTop[x + 1] = luma(b);
            yBottom[x] = luma(c);
            yBottom[x + 1] = luma(d);
            // The 2x2 block's average colour: sums of four, rounded once.
            const int32_t r = red(a) + red(b) + red(c) + red(d);
            const int32_t g = green(a) + green(b) + green(c) + green(d);
            const int32_t bl = blue(a) + blue(b) + blue(c) + blue(d);
            cb[x / 2] = static_cast<uint8_t>(128 + ((kBr * r + kBg * g + kBb * bl + 131072) >> 18));
            cr[x / 2] = static_cast<uint8_t>(128 + ((kRr * r + kRg * g + kRb * bl + 131072) >> 18));
        }
    }
}

void FramePainter::convertFull() {
    const std::size_t plane = static_cast<std::size_t>(width_) * height_;
    uint8_t* yPlane = yuv_.data();
    uint8_t* cbPlane = yPlane + plane;
    uint8_t* crPlane = cbPlane + plane;
    const auto w = static_cast<std::size_t>(width_);
    for (std::size_t row = 0; row < plane; row += w) {
        if (!rowChanged_[row / w]) continue;
        for (std::size_t i = row; i < row + w; ++i) {
            const uint32_t p = argb_[i];
            yPlane[i] = luma(p);
            const int32_t r = red(p), g = green(p), b = blue(p);
            cbPlane[i] = static_cast<uint8_t>(128 + ((kBr * r + kBg * g + kBb * b + 32768) >> 16));
            crPlane[i] = static_cast<uint8_t>(128 + ((kRr * r + kRg * g + kRb * b + 32768) >> 16));
        }
    }
}

}  // namespace lyrvox
