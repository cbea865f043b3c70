#pragma once
// The demo song's music: notes placed on the packet clock (300 packets per
// second), rendered to 16-bit mono PCM and wrapped as a WAV file.
#include <cstdint>
#include <vector>

namespace lyrvox {

struct Note {
    int startPacket;    // when the note starts, in packets from the song's start
    int lengthPackets;  // how long it sounds before its release
    int midiNote;       // 60 = middle C, 69 = A 440 Hz
    double level;       // peak amplitude, 0-1 of full scale
};

class Melody {
  public:
    static constexpr int kSampleRate = 22050;
    static constexpr int kPacketsPerSecond = 300;

    // Samples for `totalPackets` packets of time (73.5 samples per packet): soft
    // organ-like tones (a sine with a little of its octave) with a short attack,
    // a gentle decay and a release, mixed and limited to the 16-bit range.
    static std::vector<int16_t> render(const std::vector<Note>& notes, int totalPackets);
    // A complete RIFF/WAVE file: PCM, 16 bits, one channel, kSampleRate Hz.
    static std::vector<uint8_t> wavFile(const std::vector<int16_t>& samples);
    // Samples in `packets` packets of time, rounded down.
    static long samplesFor(long packets) { return packets * kSampleRate / kPacketsPerSecond; }
};

}  // namespace lyrvox
