#pragma once
// The generated demo song: 30 seconds (9000 packets) of CD+G graphics and their
// music. A title card, four lines of lyrics lit word by word in time with the
// tune, horizontal and vertical scrolls of both kinds (scroll preset and scroll
// copy, in all four directions, with a full scroll-copy loop upwards), colour
// table changes and a fade to black. Built the same, byte for byte, every time.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "playback/cdg/subcode_packet.h"
#include "tools/demo_song/melody.h"
#include "tools/demo_song/tile_canvas.h"

namespace lyrvox {

class DemoSong {
  public:
    static constexpr int kPackets = 9000;  // 30 s at 300 packets per second

    // Builds the whole song; throws std::logic_error when a section overran the
    // time set for the next one (a mistake in this file, caught at build time).
    DemoSong();

    const std::vector<SubcodePacket>& packets() const { return packets_; }
    // The graphics file: the packets back to back, 24 bytes each.
    std::vector<uint8_t> cdgFile() const;
    // The audio file, exactly as long as the graphics.
    std::vector<uint8_t> wavFile() const;

  private:
    struct Level {  // a colour in 4-bit levels
        int r, g, b;
    };
    enum class Way { Left, Right, Up, Down };

    void waitUntil(int packet);
    void emit(const SubcodePacket& packet, int spacing = 1);
    void note(int startPacket, int lengthPackets, int midiNote, double level);
    void loadColours(const std::array<Level, 16>& table, bool upperHalf = true);
    void clearScreen(int colour, int borderColour);
    // Tiles of canvas rows rowFrom..rowTo and columns colFrom..colTo (inclusive).
    void drawTiles(const TileCanvas& canvas, int rowFrom, int rowTo, int colFrom, int colTo,
                   int colour0, int colour1, bool xorMode, bool skipEmpty);
    // One coarse scroll eased in by fine offsets: six packets, `spacing` apart.
    void scrollStep(bool copy, int fill, Way way, int spacing);

    void titleCard();
    void lyrics();
    void horizontalScrolls();
    void verticalScrolls();
    void farewell();

    std::vector<SubcodePacket> packets_;
    std::vector<Note> notes_;
    std::array<Level, 16> palette_{};
};

}  // namespace lyrvox
