// The exact picture of a video frame, for the video benchmark's fidelity figures:
// the song's picture after N packets, painted as the export paints it (the visible
// window scaled nearest-neighbour into WIDTHxHEIGHT, black bars), as a binary PPM.
// video_exact_frame SONG.cdg PACKETS WIDTH HEIGHT OUT.ppm [--stretch]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "display/picture_copy.h"
#include "display/picture_fit.h"
#include "playback/cdg/cdg_machine.h"

int main(int argc, char** argv) {
    using namespace lyrvox;
    if (argc < 6) {
        std::cerr << "usage: video_exact_frame SONG.cdg PACKETS WIDTH HEIGHT OUT.ppm [--stretch]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    const long long packets = std::atoll(argv[2]);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    const bool stretch = argc > 6 && std::string(argv[6]) == "--stretch";
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    const std::size_t size =
        std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(packets) * kPacketSize);
    interpretPackets(*machine, reinterpret_cast<const uint8_t*>(bytes.data()), size);
    std::vector<uint32_t> argb(static_cast<std::size_t>(width) * height, 0xFF000000u);
    const FitRect rect = fitPicture(kViewWidth, kViewHeight, width, height,
                                    stretch ? Scaling::Stretch : Scaling::KeepAspect);
    stretchVisibleWindow(*machine, rect.width, rect.height,
                         argb.data() + static_cast<std::size_t>(rect.y) * width + rect.x, width);
    std::ofstream out(argv[5], std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (uint32_t p : argb) {
        const char rgb[3] = {static_cast<char>((p >> 16) & 0xFF),
                             static_cast<char>((p >> 8) & 0xFF), static_cast<char>(p & 0xFF)};
        out.write(rgb, 3);
    }
    return out ? 0 : 1;
}
