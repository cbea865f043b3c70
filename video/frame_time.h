#pragma once
// The frame-time rule of the video export: which packet count each video frame
// shows. Frame k starts at k / fps seconds of the video. With a tempo the sound is
// stretched, and the graphics follow the song's own time: at 80% a video second
// holds 0.8 song seconds. The A/V offset works as in the player: a positive offset
// draws the picture later than the sound. The packet count is the song time in
// packets (300 a second) rounded to the nearest packet, halves to even, as the
// player's target is; never below 0. Plain C++.
#include <cstdint>

namespace lyrvox {

// Packets interpreted before frame `frame` is taken (fps > 0, tempoPercent > 0).
int64_t framePacketCount(int64_t frame, int fps, int tempoPercent, int offsetMs);

// Output nanoseconds of `songNs` of song played at `tempoPercent`.
int64_t outputNsForSong(int64_t songNs, int tempoPercent);

// Frames that cover `outputNs` of video: the last frame starts before its end.
int64_t framesCovering(int64_t outputNs, int fps);

}  // namespace lyrvox
