#include "playback/cdg/cdg_machine.h"

#include <algorithm>
#include <cstring>

namespace lyrvox {
namespace {

// Non-negative remainder: ring addressing stays inside the memory even for the
// negative coordinates no caller passes.
int wrap(long long value, int modulus) {
    long long r = value % modulus;
    if (r < 0) r += modulus;
    return static_cast<int>(r);
}

}  // namespace

void CdgMachine::beginSession() {
    XOff = 0;
    YOff = 0;
    HOffset = 0;
    VOffset = 0;
    PacketCount = 0;
    // A new song starts opaque; its clear to colour 0 counts as its first preset.
    transparency.fill(0);
    marksTransparency = false;
    presetColour = 0;
    clearScreen();
}

std::array<uint8_t, 16> CdgMachine::opacityTable(bool backgroundTransparent) const {
    std::array<uint8_t, 16> opacity;
    // Level 0..63 to opacity 255..0, rounded: 255 - round(level * 255 / 63).
    for (std::size_t i = 0; i < opacity.size(); ++i)
        opacity[i] = static_cast<uint8_t>(255 - (transparency[i] * 255 + 31) / 63);
    if (!marksTransparency && backgroundTransparent)
        opacity[static_cast<std::size_t>(presetColour & 0x0F)] = 0;
    return opacity;
}

bool CdgMachine::anyTransparent(const std::array<uint8_t, 16>& opacity) {
    return std::any_of(opacity.begin(), opacity.end(), [](uint8_t a) { return a != 255; });
}

void CdgMachine::clearScreen() {
    picture.blank = true;  // white background
    fillArea(0, 0, kScreenWidth, kScreenHeight, 0);
}

void CdgMachine::plotPixel(int x, int y, int index) {
    const int mx = wrap(static_cast<long long>(x) + XOff, kScreenWidth);
    const int my = wrap(static_cast<long long>(y) + YOff, kScreenHeight);
    uint8_t& cell = screenMemory[static_cast<std::size_t>(my * kMemoryWidth + mx)];
    cell = static_cast<uint8_t>(index & 0x0F);
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return;
    picture.materialise();
    picture.row(y)[x] = cell;
}

void CdgMachine::fillMemory(long long x1, long long y1, long long x2, long long y2, uint8_t value) {
    if (x1 > x2 || y1 > y2) return;
    // Every column (or row) of the ring is hit once the range spans its width;
    // writing a cell twice with the same index changes nothing, so each ring cell
    // is written once here.
    const long long columns = x2 - x1 + 1;
    const int start = wrap(x1 + XOff, kScreenWidth);
    const int firstRun = columns >= kScreenWidth
                             ? kScreenWidth - start
                             : static_cast<int>(std::min<long long>(columns, kScreenWidth - start));
    const int secondRun = columns >= kScreenWidth ? start : static_cast<int>(columns) - firstRun;

    const long long rows = y2 - y1 + 1;
    const int rowCount = rows >= kScreenHeight ? kScreenHeight : static_cast<int>(rows);
    int my = wrap(y1 + YOff, kScreenHeight);
    for (int i = 0; i < rowCount; ++i) {
        uint8_t* row = screenMemory.data() + static_cast<std::size_t>(my) * kMemoryWidth;
        std::memset(row + start, value, static_cast<std::size_t>(firstRun));
        if (secondRun > 0) std::memset(row, value, static_cast<std::size_t>(secondRun));
        if (++my == kScreenHeight) my = 0;
    }
}

void CdgMachine::fillArea(int x1, int y1, int x2, int y2, int index) {
    const auto value = static_cast<uint8_t>(index & 0x0F);
    fillMemory(x1, y1, x2, y2, value);

    // The picture gets one box with both corners included, corners in either
    // order, clipped to the picture, at unrotated coordinates.
    const int left = std::max(std::min(x1, x2), 0);
    const int right = std::min(std::max(x1, x2), kScreenWidth - 1);
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), kScreenHeight - 1);
    if (left > right || top > bottom) return;
    if (left == 0 && top == 0 && right == kScreenWidth - 1 && bottom == kScreenHeight - 1) {
        picture.clearTo(value);
        return;
    }
    picture.materialise();
    for (int y = top; y <= bottom; ++y)
        std::memset(picture.row(y) + left, value, static_cast<std::size_t>(right - left + 1));
}

uint8_t CdgMachine::memoryAtPicture(int x, int y) const {
    return memoryCell(wrap(static_cast<long long>(x) + XOff, kScreenWidth),
                      wrap(static_cast<long long>(y) + YOff, kScreenHeight));
}

PackedColour CdgMachine::pictureColour(int x, int y) const {
    return colourOfIndex(picture.at(x, y));
}

void CdgMachine::renderRgb24(uint8_t* out) const {
    std::array<PackedColour, 17> palette;
    for (uint8_t i = 0; i < 17; ++i) palette[i] = colourOfIndex(i);
    if (picture.blank) {
        std::memset(out, 0xFF, static_cast<std::size_t>(kScreenWidth) * kScreenHeight * 3);
        return;
    }
    for (uint8_t index : picture.index) {
        const PackedColour c = palette[index];
        *out++ = static_cast<uint8_t>(c & 0xFFu);
        *out++ = static_cast<uint8_t>((c >> 8) & 0xFFu);
        *out++ = static_cast<uint8_t>((c >> 16) & 0xFFu);
    }
}

void CdgMachine::renderArgb32(uint32_t* out, int stride) const {
    std::array<uint32_t, 17> palette;
    for (uint8_t i = 0; i < 17; ++i) palette[i] = toArgb(colourOfIndex(i));
    for (int y = 0; y < kScreenHeight; ++y) {
        uint32_t* dst = out + static_cast<std::ptrdiff_t>(y) * stride;
        if (picture.blank) {
            std::fill(dst, dst + kScreenWidth, toArgb(kWhite));
            continue;
        }
        const uint8_t* src = picture.row(y);
        for (int x = 0; x < kScreenWidth; ++x) dst[x] = palette[src[x]];
    }
}

std::size_t interpretPackets(CdgMachine& machine, const uint8_t* bytes, std::size_t size) {
    const std::size_t packets = size / kPacketSize;
    for (std::size_t i = 0; i < packets; ++i)
        machine.interpret(packetFromBytes(bytes + i * kPacketSize));
    return packets;
}

}  // namespace lyrvox
