#pragma once
// The picture at the Qt boundary: what painting, snapshots and the command-line
// tool's picture files start from.
#include <QImage>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

// The whole picture as it shows now, 300x216 RGB32.
QImage pictureImage(const CdgMachine& machine);

}  // namespace lyrvox
