#include "tools/demo_song/melody.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lyrvox {

namespace {

constexpr double kAttackSeconds = 0.01;
constexpr double kReleaseSeconds = 0.08;
constexpr double kDecayPerSecond = 2.5;  // exponential fall while the note holds

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

}  // namespace

std::vector<int16_t> Melody::render(const std::vector<Note>& notes, int totalPackets) {
    const auto total = static_cast<std::size_t>(samplesFor(totalPackets));
    std::vector<double> mix(total, 0.0);
    const double rate = kSampleRate;
    for (const Note& n : notes) {
        const double frequency = 440.0 * std::pow(2.0, (n.midiNote - 69) / 12.0);
        const auto start = static_cast<std::size_t>(samplesFor(n.startPacket));
        const double hold = n.lengthPackets / static_cast<double>(kPacketsPerSecond);
        const auto length = static_cast<std::size_t>((hold + kReleaseSeconds) * rate);
        for (std::size_t i = 0; i < length && start + i < total; ++i) {
            const double t = static_cast<double>(i) / rate;
            double envelope = std::exp(-kDecayPerSecond * t);
            if (t < kAttackSeconds) envelope *= t / kAttackSeconds;
            if (t > hold) envelope *= std::max(0.0, 1.0 - (t - hold) / kReleaseSeconds);
            const double phase = 2.0 * std::numbers::pi * frequency * t;
            mix[start + i] +=
                n.level * envelope * (0.8 * std::sin(phase) + 0.2 * std::sin(2 * phase));
        }
    }
    std::vector<int16_t> samples(total);
    for (std::size_t i = 0; i < total; ++i) {
        const double v = std::clamp(mix[i], -1.0, 1.0) * 32767.0;
        samples[i] = static_cast<int16_t>(std::lround(v));
    }
    return samples;
}

std::vector<uint8_t> Melody::wavFile(const std::vector<int16_t>& samples) {
    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);               // size of the format block
    put16(out, 1);                // PCM
    put16(out, 1);                // one channel
    put32(out, kSampleRate);      // samples per second
    put32(out, kSampleRate * 2);  // bytes per second
    put16(out, 2);                // bytes per sample frame
    put16(out, 16);               // bits per sample
    putTag(out, "data");
    put32(out, dataBytes);
    for (int16_t s : samples) put16(out, static_cast<uint16_t>(s));
    return out;
}

}  // namespace lyrvox
