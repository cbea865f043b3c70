#pragma once
// Snapshots of the whole CD+G picture (300x216, border included, no display
// offsets or zoom) to numbered uncompressed BMP files: Basename, the counter with
// at least three digits, ".bmp".
#include <QImage>
#include <QString>
#include <cstdint>

#include "playback/cdg_machine.h"

namespace lyrvox {

// The picture as the platform shows it now, 300x216 RGB32.
QImage pictureImage(const CdgMachine& machine);

// "nofile" + 7 -> "nofile007.bmp"; 1234 -> "nofile1234.bmp".
QString snapshotFileName(const QString& basename, int64_t number);

class Snapshots {
  public:
    struct Result {
        bool written = false;
        QString path;  // the file written, or the one that could not be written
    };

    // Writes the picture into `folder` (empty: the current directory) under the first name from
    // SnapNum on that does not exist yet (an earlier snapshot is never replaced), then moves
    // SnapNum past it. A failed write leaves SnapNum and the disk as they were.
    Result take(const CdgMachine& machine, const QString& folder);

    // The next number to try. Wider than the 16 bits of old so it cannot wrap.
    int64_t SnapNum = 0;
    // Stem of the names; empty until start-up has finished.
    QString Basename;
};

}  // namespace lyrvox
