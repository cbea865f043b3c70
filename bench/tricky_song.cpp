// Synthetic CD+G songs for the video benchmarks, written with the packet encoder.
//
// tricky_song fidelity OUT.cdg
//   A 14-second song whose picture goes through what simple CD+G decoders get
//   wrong: outlined tiles in many colours over the whole screen (border tiles
//   included), a transparent-colour instruction, fine horizontal and vertical
//   scroll offsets with scroll copy and scroll preset, coarse scrolls and border
//   colour changes. Each state starts on a whole second and holds for one; prints
//   "SECOND what" for each, so the benchmark can take a frame in the middle of each.
//
// tricky_song sync OUT.cdg PACKET SECONDS
//   A black screen that turns white at packet PACKET (the packet at PACKET/300 s
//   is a memory preset), SECONDS long: the benchmark puts a click in the audio at
//   the same moment and measures how far apart the two land in the exported video.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "playback/cdg/cdg_geometry.h"
#include "playback/cdg/packet_encoder.h"

namespace {

using namespace lyrvox;

constexpr int kSecond = kPacketsPerSecond;

class Writer {
  public:
    // Pads with empty packets up to `packet` (the next one written lies there).
    void at(int packet) {
        if (static_cast<int>(packets_.size()) > packet) {
            std::cerr << "tricky_song: packet " << packet << " already written\n";
            std::exit(1);
        }
        packets_.resize(static_cast<std::size_t>(packet), encode::emptyPacket());
    }
    void put(const SubcodePacket& p) { packets_.push_back(p); }
    bool save(const char* path) const {
        std::vector<uint8_t> file;
        for (const SubcodePacket& p : packets_) encode::append(file, p);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()),
                  static_cast<std::streamsize>(file.size()));
        return static_cast<bool>(out);
    }

  private:
    std::vector<SubcodePacket> packets_;
};

void clear(Writer& w, int colour, int border) {
    for (int repeat = 0; repeat < 16; ++repeat) w.put(encode::memoryPreset(colour, repeat));
    w.put(encode::borderPreset(border));
}

void palette(Writer& w) {
    // Sixteen well-apart colours, so that a pixel taken from the wrong place shows.
    w.put(encode::loadColours(0, {{{0, 0, 0},
                                   {15, 15, 15},
                                   {15, 0, 0},
                                   {0, 15, 0},
                                   {0, 0, 15},
                                   {15, 15, 0},
                                   {0, 15, 15},
                                   {15, 0, 15}}}));
    w.put(encode::loadColours(8, {{{8, 8, 8},
                                   {8, 0, 0},
                                   {0, 8, 0},
                                   {0, 0, 8},
                                   {8, 8, 0},
                                   {0, 8, 8},
                                   {8, 0, 8},
                                   {15, 8, 4}}}));
}

int fidelity(const char* path) {
    Writer w;
    palette(w);
    clear(w, 0, 2);
    // Every tile of the screen, border tiles too, as lyrics look: a one-pixel outline
    // on black, its colour changing from tile to tile, so that a picture taken one
    // pixel off shows.
    const std::array<uint8_t, 12> outline{
        {0x00, 0x1E, 0x12, 0x12, 0x12, 0x16, 0x1A, 0x12, 0x12, 0x12, 0x1E, 0x00}};
    for (int row = 0; row < kScreenHeight / 12; ++row) {
        for (int column = 0; column < kScreenWidth / 6; ++column)
            w.put(encode::tileBlock(0, 1 + (row + 2 * column) % 15, row, column, outline));
    }
    std::printf("4 outlined tiles\n");
    w.at(5 * kSecond);
    // Colour 3 fully transparent, colour 5 half: the picture itself stays as it is.
    std::array<uint8_t, 16> levels{};
    levels[3] = 63;
    levels[5] = 32;
    SubcodePacket transparent = encode::packet(28);
    for (int i = 0; i < 16; ++i) transparent.Data[i] = levels[static_cast<std::size_t>(i)];
    w.put(transparent);
    std::printf("5 transparent-colour instruction\n");
    w.at(6 * kSecond);
    w.put(encode::scroll(true, 0, 0, 2, 0, 0));
    std::printf("6 scroll copy, fine h=2\n");
    w.at(7 * kSecond);
    w.put(encode::scroll(true, 0, 0, 5, 0, 7));
    std::printf("7 scroll copy, fine h=5 v=7\n");
    w.at(8 * kSecond);
    w.put(encode::scroll(false, 9, 0, 3, 0, 11));
    std::printf("8 scroll preset fill 9, fine h=3 v=11\n");
    w.at(9 * kSecond);
    w.put(encode::borderPreset(6));
    std::printf("9 border colour 6\n");
    w.at(10 * kSecond);
    w.put(encode::scroll(true, 0, 2, 1, 1, 4));
    std::printf("10 scroll copy left and down, fine h=1 v=4\n");
    w.at(11 * kSecond);
    w.put(encode::scroll(false, 12, 1, 4, 2, 2));
    w.put(encode::borderPreset(11));
    std::printf("11 scroll preset right, up, fill 12, fine h=4 v=2, border 11\n");
    w.at(12 * kSecond);
    w.put(encode::scroll(true, 0, 0, 0, 0, 0));
    std::printf("12 scroll copy back to h=0 v=0\n");
    w.at(13 * kSecond);
    w.put(encode::tileBlock(
        7, 4, 8, 20, {{0x3F, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x3F}},
        true));
    std::printf("13 a tile drawn exclusive-or\n");
    w.at(14 * kSecond);
    return w.save(path) ? 0 : 1;
}

int sync(const char* path, int packet, int seconds) {
    Writer w;
    palette(w);
    clear(w, 0, 0);
    w.at(packet);
    w.put(encode::memoryPreset(1));
    w.at(seconds * kSecond);
    return w.save(path) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "fidelity") return fidelity(argv[2]);
    if (mode == "sync" && argc > 4) return sync(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    std::cerr << "usage: tricky_song fidelity OUT.cdg | tricky_song sync OUT.cdg PACKET SECONDS\n";
    return 2;
}
