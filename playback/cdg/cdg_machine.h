#pragma once
// The CD+G machine: screen memory, colour table, the picture and its scroll work
// copy, the packet interpreter and the scrolls. Plain C++, no Qt.
//
// Screen memory is 301x217 index cells used as a ring through the origin
// (XOff, YOff): picture pixel (x, y) lives in cell ((x+XOff)%300, (y+YOff)%216).
// The picture keeps, for each pixel, the colour index it was last drawn with and
// shows colourTable of that index as the table stands now (a colour-table load
// recolours everything drawn with a changed entry, as the CD+G standard intends).
// Before the first session the picture shows white.
//
// Transparency never changes the picture: it is a second table beside the colour
// table, one level per colour index, that says how much of whatever lies behind
// the picture (a video, an image) shows through pixels drawn with that index.
#include <array>
#include <cstddef>
#include <cstdint>

#include "playback/cdg/cdg_geometry.h"
#include "playback/cdg/subcode_packet.h"

namespace lyrvox {

// Packed colour as the platform keeps it: red in bits 0-7, green 8-15, blue 16-23.
using PackedColour = uint32_t;
inline constexpr PackedColour kWhite = 0x00FFFFFF;

// 0x00RRGGBB with alpha 0xFF, the layout of QImage::Format_RGB32/ARGB32.
inline constexpr uint32_t toArgb(PackedColour c) {
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

// Index picture: one colour index per pixel of the 300x216 picture, shown through
// the colour table as it stands now. `blank` = the whole picture is white (never
// cleared since creation); while it is set, `index` is not looked at. A pixel that
// was never drawn on a picture that is otherwise drawn holds kUndrawnIndex (shown
// white); that happens only when packets are drawn before the first session start.
// So read colours through CdgMachine::colourOfIndex or pictureColour, never by
// indexing colourTable with an index of the picture directly.
inline constexpr uint8_t kUndrawnIndex = 16;

struct IndexPicture {
    std::array<uint8_t, kScreenWidth * kScreenHeight> index{};
    bool blank = true;  // never cleared yet: shows white

    uint8_t at(int x, int y) const {
        return blank ? kUndrawnIndex : index[static_cast<std::size_t>(y * kScreenWidth + x)];
    }
    uint8_t* row(int y) { return index.data() + static_cast<std::size_t>(y) * kScreenWidth; }
    const uint8_t* row(int y) const {
        return index.data() + static_cast<std::size_t>(y) * kScreenWidth;
    }
    // Leaves the all-white state so that single pixels can be drawn: every pixel
    // becomes kUndrawnIndex. No effect when already drawn.
    void materialise() {
        if (!blank) return;
        index.fill(kUndrawnIndex);
        blank = false;
    }
    // Whole picture to one index (the surface's background colour).
    void clearTo(uint8_t value) {
        index.fill(value);
        blank = false;
    }
};

class CdgMachine {
  public:
    // Session start: origin and fine offsets to 0, PacketCount to 0, and the
    // screen clear (white background, then fillArea(0, 0, 300, 216, 0)).
    void beginSession();

    // One packet, in file order. Every packet adds 1 to PacketCount and copies
    // hasDrawn into needsRedraw, whatever its instruction.
    void interpret(const SubcodePacket& packet);

    // The two drawing routines (picture coordinates; see the class comment).
    void plotPixel(int x, int y, int index);
    void fillArea(int x1, int y1, int x2, int y2, int index);
    // White background, then the whole screen to colour index 0.
    void clearScreen();

    // Instruction handlers, public so that tests can drive them one by one.
    // MemoryPreset acts only when its repeat count (Data[1] without bits 6 and 7)
    // is 0. LoadColourTable recolours the picture and so sets hasDrawn.
    void MemoryPreset(const SubcodePacket& packet);
    void BorderPreset(const SubcodePacket& packet);
    void TileBlock(const SubcodePacket& packet, bool xorMode);
    void LoadColourTable(const SubcodePacket& packet, int base);
    void ScrollScreen(const SubcodePacket& packet, bool copy);
    // The transparent-colour instruction: Data[n] (low six bits) is the
    // transparency of colour n, 0 opaque to 63 fully transparent, for all 16
    // colours at once. Sets hasDrawn: what shows over a background changes.
    void DefineTransparency(const SubcodePacket& packet);

    // Opacity of each colour index, 255 opaque to 0 fully transparent, as the
    // song sets it. For a song that has marked no colour transparent since its
    // session start, `backgroundTransparent` makes the colour of the last memory
    // preset (colour 0 after a session start) fully transparent instead.
    std::array<uint8_t, 16> opacityTable(bool backgroundTransparent) const;
    // Whether any pixel could show what lies behind the picture.
    static bool anyTransparent(const std::array<uint8_t, 16>& opacity);

    // Colour of a picture index now: colourTable for 0-15, white for kUndrawnIndex.
    PackedColour colourOfIndex(uint8_t index) const {
        return index < 16 ? colourTable[index] : kWhite;
    }

    // Readers.
    uint8_t memoryCell(int mx, int my) const {
        return screenMemory[static_cast<std::size_t>(my * kMemoryWidth + mx)];
    }
    // Index held for picture pixel (x, y) through the ring (what an XOR tile reads).
    uint8_t memoryAtPicture(int x, int y) const;
    // Colour the picture shows at (x, y) now (0 <= x < 300, 0 <= y < 216).
    PackedColour pictureColour(int x, int y) const;
    // Whole picture as RGB24 (R, G, B per pixel, row-major): 194,400 bytes.
    void renderRgb24(uint8_t* out) const;
    // Whole picture as 0xFFRRGGBB words; `stride` in words between rows.
    void renderArgb32(uint32_t* out, int stride) const;

    std::array<uint8_t, kMemoryWidth * kMemoryHeight> screenMemory{};  // all 0 at creation
    std::array<PackedColour, 16> colourTable{};                        // all black at creation
    std::array<uint8_t, 16> transparency{};  // 0 (opaque) to 63 per colour index
    bool marksTransparency = false;          // some level above 0 since the session start
    int8_t presetColour = 0;                 // index of the last memory preset's colour
    IndexPicture picture;
    IndexPicture scrollCopy;           // the picture as it stood before a coarse scroll
    int16_t XOff = 0, YOff = 0;        // ring origin: multiples of 6 (0-294) and 12 (0-204)
    int16_t HOffset = 0, VOffset = 0;  // fine display offsets: 0-7 and 0-15
    int32_t currentColour = 0;
    bool hasDrawn = false;     // drawing has happened (never cleared)
    bool needsRedraw = false;  // the display copy is due (cleared by the display tick)
    int32_t PacketCount = 0;

  private:
    // Memory part of fillArea: cells of picture columns x1..x2, rows y1..y2 through
    // the ring; nothing when a range is empty.
    void fillMemory(long long x1, long long y1, long long x2, long long y2, uint8_t value);
    // One coarse scroll by a tile: dx = +1 right, -1 left; dy = +1 down, -1 up.
    void scrollHorizontal(int dx, bool copy, int fill);
    void scrollVertical(int dy, bool copy, int fill);
};

// Interprets the whole packets of `size` bytes in order (a trailing partial
// packet is left alone); returns how many were interpreted.
std::size_t interpretPackets(CdgMachine& machine, const uint8_t* bytes, std::size_t size);

}  // namespace lyrvox
