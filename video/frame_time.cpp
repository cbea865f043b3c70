#include "video/frame_time.h"

namespace lyrvox {
namespace {

// numerator / denominator (denominator > 0) to the nearest whole number, halves to even.
int64_t roundHalfEven(int64_t numerator, int64_t denominator) {
    int64_t quotient = numerator / denominator;
    int64_t remainder = numerator % denominator;
    if (remainder < 0) {  // floor division
        quotient -= 1;
        remainder += denominator;
    }
    const int64_t twice = 2 * remainder;
    if (twice > denominator || (twice == denominator && quotient % 2 != 0)) quotient += 1;
    return quotient;
}

}  // namespace

int64_t framePacketCount(int64_t frame, int fps, int tempoPercent, int offsetMs) {
    // Song ms = frame * 1000 / fps * tempo / 100 - offset; packets = ms * 3 / 10.
    // Over the common denominator 10 * fps everything stays a whole number.
    const int64_t numerator = frame * 30 * tempoPercent - int64_t{3} * offsetMs * fps;
    const int64_t packets = roundHalfEven(numerator, int64_t{10} * fps);
    return packets < 0 ? 0 : packets;
}

int64_t outputNsForSong(int64_t songNs, int tempoPercent) {
    return songNs / tempoPercent * 100 + songNs % tempoPercent * 100 / tempoPercent;
}

int64_t framesCovering(int64_t outputNs, int fps) {
    if (outputNs <= 0) return 0;
    constexpr int64_t kSecondNs = 1'000'000'000;
    // ceil(outputNs * fps / 1e9) without overflow for any song length.
    const int64_t whole = outputNs / kSecondNs * fps;
    const int64_t rest = outputNs % kSecondNs * fps;
    return whole + (rest + kSecondNs - 1) / kSecondNs;
}

}  // namespace lyrvox
