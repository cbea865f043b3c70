#pragma once
// Writes a short PCM WAV file (RIFF header + 16-bit mono samples of a quiet tone),
// so the media tests need no sound files on disk.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace lyrvox::testing {

inline void putLe(std::vector<char>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

inline bool writeToneWav(const std::string& path, double seconds, uint32_t rate = 22050) {
    const auto samples = static_cast<uint32_t>(seconds * rate);
    const uint32_t dataBytes = samples * 2;
    std::vector<char> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    putLe(out, 36 + dataBytes, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(out, 16, 4);        // fmt chunk size
    putLe(out, 1, 2);         // PCM
    putLe(out, 1, 2);         // mono
    putLe(out, rate, 4);      // sample rate
    putLe(out, rate * 2, 4);  // byte rate
    putLe(out, 2, 2);         // block align
    putLe(out, 16, 2);        // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    putLe(out, dataBytes, 4);
    for (uint32_t i = 0; i < samples; ++i) {
        const double v = 3000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * i / rate);
        putLe(out, static_cast<uint32_t>(static_cast<int16_t>(v)) & 0xFFFFu, 2);
    }
    std::ofstream file(path, std::ios::binary);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

}  // namespace lyrvox::testing
