// Writes the code-built fuzz seeds: packet streams for every instruction and
// scroll direction, small disc images, and awkward paths.
// usage: fuzz_make_seeds OUTPUT_DIR   (creates interpreter/, extract/, text/ in it)
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "playback/cdg/packet_encoder.h"

namespace fs = std::filesystem;
using namespace lyrvox::encode;

namespace {

void write(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void write(const fs::path& file, const std::string& text) {
    write(file, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const fs::path root = argv[1];
    for (const char* dir : {"interpreter", "extract", "text"}) fs::create_directories(root / dir);

    // A picture to scroll around: presets, a border, tiles in both modes, colours.
    std::vector<uint8_t> base = fileOf({
        loadColours(0, {{{0, 0, 0},
                         {15, 15, 15},
                         {15, 0, 0},
                         {0, 15, 0},
                         {0, 0, 15},
                         {15, 15, 0},
                         {0, 15, 15},
                         {15, 0, 15}}}),
        loadColours(8, {{{1, 1, 1},
                         {2, 2, 2},
                         {3, 3, 3},
                         {4, 4, 4},
                         {5, 5, 5},
                         {6, 6, 6},
                         {7, 7, 7},
                         {8, 8, 8}}}),
        memoryPreset(2),
        memoryPreset(3, 1),
        borderPreset(4),
        solidTile(5, 1, 1),
        solidTile(6, 17, 49),
        solidTile(7, 31, 63),
        solidTile(9, 8, 20, true),
        tileBlock(1, 2, 3, 4, {0x20, 0x01, 0xC0, 0x3F, 0x15, 0x2A, 0, 0, 0, 0, 0, 0}),
        packet(28, {1}),
        packet(0x41, {5, 0}),
        packet(63),
    });
    write(root / "interpreter" / "instructions", base);
    int n = 0;
    for (bool copy : {false, true}) {
        for (int h = 0; h < 4; ++h) {
            for (int v = 0; v < 4; ++v) {
                std::vector<uint8_t> file = base;
                for (int k = 0; k < 3; ++k) append(file, scroll(copy, 3, h, k, v, 11 - k));
                append(file, solidTile(8, 9, 25, true));
                write(root / "interpreter" / ("scroll" + std::to_string(n++)), file);
            }
        }
    }

    // Disc images: first byte is the stop point the extraction target reads.
    write(root / "extract" / "empty", std::vector<uint8_t>{});
    write(root / "extract" / "one", std::vector<uint8_t>(2448, 0x5A));
    std::vector<uint8_t> ramp(4096);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i * 7);
    write(root / "extract" / "ramp", ramp);

    const char* paths[] = {"/home/ann/my.songs/hit.cdg",
                           "song.cdg",
                           "a.b.c",
                           ".cdg",
                           "song.",
                           "/",
                           "//x",
                           "",
                           "/home/ann/.karaoke/Song.CDG",
                           "C:\\CDG\\song.cdg",
                           "disc*.bin",
                           "d?sc01.BIN",
                           "\xff\xfe/\xc3\x28.cdg",
                           "/tmp/x/"};
    int p = 0;
    for (const char* path : paths)
        write(root / "text" / ("path" + std::to_string(p++)), std::string(path));
    return 0;
}
