// Scroll preset and scroll copy. A coarse scroll moves the picture by one tile
// through the snapshot scrollCopy and moves the memory origin instead of the memory:
// after a scroll right, picture pixel (x, y) shows old pixel (x - 6, y), whose
// ring cell is ((x - 6 + old XOff) mod 300, ...) = ((x + new XOff) mod 300, ...).
#include <cstring>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {
namespace {

constexpr std::size_t kRowBytes = kScreenWidth;

}  // namespace

void CdgMachine::ScrollScreen(const SubcodePacket& packet, bool copy) {
    const int fill = packet.Data[0] & 0x0F;
    const int h = packet.Data[1] & 0x3F;
    const int v = packet.Data[2] & 0x3F;
    const int hCommand = (h & 0x30) >> 4;  // 1 right, 2 left, 0 and 3 none
    const int vCommand = (v & 0x30) >> 4;  // 1 down, 2 up, 0 and 3 none
    HOffset = static_cast<int16_t>(h & 0x07);
    VOffset = static_cast<int16_t>(v & 0x0F);
    // Horizontal first; the vertical scroll then snapshots the shifted picture.
    if (hCommand == 1) scrollHorizontal(+1, copy, fill);
    if (hCommand == 2) scrollHorizontal(-1, copy, fill);
    if (vCommand == 1) scrollVertical(+1, copy, fill);
    if (vCommand == 2) scrollVertical(-1, copy, fill);
    hasDrawn = true;
}

void CdgMachine::scrollHorizontal(int dx, bool copy, int fill) {
    constexpr int kKept = kScreenWidth - kTileWidth;  // 294 columns stay on screen
    if (dx > 0) {
        XOff = static_cast<int16_t>(XOff - kTileWidth);
        if (XOff < 0) XOff = static_cast<int16_t>(XOff + kScreenWidth);
    } else {
        XOff = static_cast<int16_t>(XOff + kTileWidth);
        if (XOff > kScreenWidth - 1) XOff = static_cast<int16_t>(XOff - kScreenWidth);
    }
    picture.materialise();
    scrollCopy = picture;
    for (int y = 0; y < kScreenHeight; ++y) {
        uint8_t* dst = picture.row(y);
        const uint8_t* src = scrollCopy.row(y);
        if (dx > 0) {
            std::memcpy(dst + kTileWidth, src, kKept);
            if (copy) std::memcpy(dst, src + kKept, kTileWidth);
        } else {
            std::memcpy(dst, src + kTileWidth, kKept);
            if (copy) std::memcpy(dst + kKept, src, kTileWidth);
        }
    }
    // The preset band goes through fillArea with the origin already moved, so
    // its memory cells are those of the vacated band.
    if (!copy) {
        if (dx > 0)
            fillArea(0, 0, kTileWidth - 1, kScreenHeight, fill);
        else
            fillArea(kKept, 0, kScreenWidth, kScreenHeight, fill);
    }
}

void CdgMachine::scrollVertical(int dy, bool copy, int fill) {
    constexpr int kKept = kScreenHeight - kTileHeight;  // 204 rows stay on screen
    if (dy > 0) {
        YOff = static_cast<int16_t>(YOff - kTileHeight);
        if (YOff < 0) YOff = static_cast<int16_t>(YOff + kScreenHeight);
    } else {
        YOff = static_cast<int16_t>(YOff + kTileHeight);
        if (YOff > kScreenHeight - 1) YOff = static_cast<int16_t>(YOff - kScreenHeight);
    }
    picture.materialise();
    scrollCopy = picture;
    if (dy > 0) {
        std::memcpy(picture.row(kTileHeight), scrollCopy.row(0), kRowBytes * kKept);
        if (copy) std::memcpy(picture.row(0), scrollCopy.row(kKept), kRowBytes * kTileHeight);
    } else {
        std::memcpy(picture.row(0), scrollCopy.row(kTileHeight), kRowBytes * kKept);
        if (copy) std::memcpy(picture.row(kKept), scrollCopy.row(0), kRowBytes * kTileHeight);
    }
    if (!copy) {
        if (dy > 0)
            fillArea(0, 0, kScreenWidth, kTileHeight - 1, fill);
        else
            fillArea(0, kKept, kScreenWidth, kScreenHeight, fill);
    }
}

}  // namespace lyrvox
