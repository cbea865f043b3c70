#pragma once
// What the playback session keeps for the life of the program and the display
// reads: the CD+G machine, the target packet and the song's pacing settings.
#include <cstdint>
#include <string>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

struct PlayerState {
    std::string graphicsFile;  // of the current or last song; empty when none
    bool audioPaces = false;   // an audio partner was found: pacing follows its position
    int32_t startSeconds = 0;  // the clock when the song's graphics began, whole seconds
    int32_t targetPacket = 0;  // packets due by now
    // Milliseconds the graphics are shifted against the audio, -1000..1000: positive
    // draws later. Read at every pass, so a change applies at once.
    int32_t offsetMs = 0;
    // The song's tempo in percent of its own: the pace of play time when the clock,
    // not the audio, paces the graphics.
    int32_t tempoPercent = 100;
    CdgMachine machine;
};

}  // namespace lyrvox
