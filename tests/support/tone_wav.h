#pragma once
// Test signals as WAV files made at test time.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace lyrvox::testing {

// A stereo 32-bit float WAV at 48 kHz: a sine of `hz` whose peak is `peakDbfs`
// (-inf: silence), both channels alike.
inline std::string sineWav(double peakDbfs, double hz, double seconds) {
    constexpr std::uint32_t kRate = 48000;
    constexpr std::uint16_t kChannels = 2;
    const auto frames = static_cast<std::uint32_t>(seconds * kRate);
    const double amplitude = std::isfinite(peakDbfs) ? std::pow(10.0, peakDbfs / 20.0) : 0.0;
    std::string wav;
    const auto put = [&](auto value) {
        char bytes[sizeof(value)];
        std::memcpy(bytes, &value, sizeof(value));  // little-endian, as the format is
        wav.append(bytes, sizeof(value));
    };
    const std::uint32_t dataBytes = frames * kChannels * 4;
    wav += "RIFF";
    put(std::uint32_t{36 + dataBytes});
    wav += "WAVEfmt ";
    put(std::uint32_t{16});
    put(std::uint16_t{3});  // IEEE float
    put(kChannels);
    put(kRate);
    put(std::uint32_t{kRate * kChannels * 4});
    put(std::uint16_t{kChannels * 4});
    put(std::uint16_t{32});
    wav += "data";
    put(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * i / kRate));
        put(sample);
        put(sample);
    }
    return wav;
}

}  // namespace lyrvox::testing
