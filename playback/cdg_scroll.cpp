// Scroll preset and scroll copy. A coarse scroll moves the picture by one tile
// through the snapshot CDG2 and moves the memory origin instead of the memory:
// after a scroll right, picture pixel (x, y) shows old pixel (x - 6, y), whose
// ring cell is ((x - 6 + old XOff) mod 300, ...) = ((x + new XOff) mod 300, ...).
#include <cstring>

#include "playback/cdg_machine.h"

namespace lyrvox {
namespace {

constexpr int kTileWidth = 6;
constexpr int kTileHeight = 12;
constexpr std::size_t kRowBytes = kScreenWidth;

}  // namespace

void CdgMachine::ScrollScreen(const SubcodePacket& packet, int ScrollCopy) {
    const int fill = packet.Data[0] & 0x0F;
    const int h = packet.Data[1] & 0x3F;
    const int v = packet.Data[2] & 0x3F;
    const int hCommand = (h & 0x30) >> 4;  // 1 right, 2 left, 0 and 3 none
    const int vCommand = (v & 0x30) >> 4;  // 1 down, 2 up, 0 and 3 none
    HOffset = static_cast<int16_t>(h & 0x07);
    VOffset = static_cast<int16_t>(v & 0x0F);
    const bool copy = ScrollCopy != 0;
    // Horizontal first; the vertical scroll then snapshots the shifted picture.
    if (hCommand == 1) scrollHorizontal(+1, copy, fill);
    if (hCommand == 2) scrollHorizontal(-1, copy, fill);
    if (vCommand == 1) scrollVertical(+1, copy, fill);
    if (vCommand == 2) scrollVertical(-1, copy, fill);
    BFlag = true;
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
    CDG.materialise();
    CDG2 = CDG;
    for (int y = 0; y < kScreenHeight; ++y) {
        uint8_t* dst = CDG.row(y);
        const uint8_t* src = CDG2.row(y);
        if (dx > 0) {
            std::memcpy(dst + kTileWidth, src, kKept);
            if (copy) std::memcpy(dst, src + kKept, kTileWidth);
        } else {
            std::memcpy(dst, src + kTileWidth, kKept);
            if (copy) std::memcpy(dst + kKept, src, kTileWidth);
        }
    }
    // The preset band goes through FillArea with the origin already moved, so
    // its memory cells are those of the vacated band.
    if (!copy) {
        if (dx > 0)
            FillArea(0, 0, kTileWidth - 1, kScreenHeight, fill);
        else
            FillArea(kKept, 0, kScreenWidth, kScreenHeight, fill);
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
    CDG.materialise();
    CDG2 = CDG;
    if (dy > 0) {
        std::memcpy(CDG.row(kTileHeight), CDG2.row(0), kRowBytes * kKept);
        if (copy) std::memcpy(CDG.row(0), CDG2.row(kKept), kRowBytes * kTileHeight);
    } else {
        std::memcpy(CDG.row(0), CDG2.row(kTileHeight), kRowBytes * kKept);
        if (copy) std::memcpy(CDG.row(kKept), CDG2.row(0), kRowBytes * kTileHeight);
    }
    if (!copy) {
        if (dy > 0)
            FillArea(0, 0, kScreenWidth, kTileHeight - 1, fill);
        else
            FillArea(0, kKept, kScreenWidth, kScreenHeight, fill);
    }
}

}  // namespace lyrvox
