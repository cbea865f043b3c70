#pragma once
// Golden pictures: the SHA-256 of a machine's picture as RGB24, and a binary PPM
// of the actual picture for a person to look at when a comparison fails.
#include <fstream>
#include <string>
#include <vector>

#include "playback/cdg_machine.h"
#include "util/sha256.h"

namespace lyrvox::testing {

inline std::vector<uint8_t> pictureRgb24(const CdgMachine& machine) {
    std::vector<uint8_t> rgb(static_cast<std::size_t>(kScreenWidth * kScreenHeight * 3));
    machine.renderRgb24(rgb.data());
    return rgb;
}

inline std::string pictureSha256(const std::vector<uint8_t>& rgb) { return sha256Hex(rgb.data(), rgb.size()); }

// Writes LYRVOX_TEST_OUTPUT_DIR/<name>.ppm and returns its path.
inline std::string writePpm(const std::string& name, const std::vector<uint8_t>& rgb) {
    const std::string path = std::string(LYRVOX_TEST_OUTPUT_DIR) + "/" + name + ".ppm";
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << kScreenWidth << " " << kScreenHeight << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return path;
}

}  // namespace lyrvox::testing
