#pragma once
// What the control window keeps for the life of the program and the playback
// session reads and writes: the session's flags and counters and the CD+G machine.
#include <cstdint>
#include <string>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

struct PlayerState {
    std::string chosenFile;    // the file the user chose
    std::string graphicsFile;  // of the current or last session; empty when none
    bool audioPaces = false;   // an audio partner was found: pacing follows its position
    bool sessionRunning = false;
    bool paused = false;            // the audio is halted by Pause
    int32_t startSeconds = 0;       // the clock at the start of the packet loop, whole seconds
    int32_t targetPacket = 0;       // packets due by now
    int32_t targetAtTimeShown = 0;  // targetPacket when the elapsed time was last shown
    // Milliseconds the graphics are shifted against the audio, -1000..1000: positive
    // draws later. Read by the session at every pass, so a change applies at once.
    int32_t offsetMs = 0;
    // The song's tempo in percent of its own: the pace of play time when the clock,
    // not the audio, paces the graphics.
    int32_t tempoPercent = 100;
    CdgMachine machine;
};

}  // namespace lyrvox
