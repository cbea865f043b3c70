// lyrvox-demo-song: writes the generated demo song, graphics and audio.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/demo_song/demo_song.h"

namespace {

// Writes through a temporary name and renames, so that an interrupted build never
// leaves a half-written song that looks finished.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::cerr << "lyrvox-demo-song: cannot write " << temporary << "\n";
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::cerr << "lyrvox-demo-song: cannot rename " << temporary << " to " << path << "\n";
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: lyrvox-demo-song OUT.cdg OUT.wav\n";
        return 2;
    }
    try {
        const lyrvox::DemoSong song;
        if (!writeFile(argv[1], song.cdgFile())) return 1;
        if (!writeFile(argv[2], song.wavFile())) return 1;
    } catch (const std::exception& e) {
        std::cerr << "lyrvox-demo-song: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
