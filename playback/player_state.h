#pragma once
// Everything the control window keeps for the life of the program that the
// playback session reads and writes: the session flags and counters and the
// CD+G machine.
#include <cstdint>
#include <string>

#include "playback/cdg_machine.h"

namespace lyrvox {

struct PlayerState {
    std::string FileSpec;   // the chosen file
    std::string CDGFile;    // graphics file of the current or last session; empty when none
    bool MP3Flag = false;   // audio found: pacing follows the audio position
    bool ProFlag = false;   // a session is running
    bool Paused = false;    // audio halted by Pause
    int32_t StartTime = 0;  // clock at loop start, whole seconds
    int32_t FrameMP3 = 0;   // target packet number
    int32_t LastFrame = 0;  // FrameMP3 at the last elapsed-time label update
    CdgMachine machine;
};

}  // namespace lyrvox
