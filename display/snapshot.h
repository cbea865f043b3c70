#pragma once
// Snapshots of the whole CD+G picture (300x216, border included, no display
// offsets or zoom) to numbered uncompressed BMP files: the stem, the number with
// at least three digits, ".bmp".
#include <QString>
#include <cstdint>

#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

// "nofile" + 7 -> "nofile007.bmp"; 1234 -> "nofile1234.bmp".
QString snapshotFileName(const QString& stem, int64_t number);

class Snapshots {
  public:
    struct Result {
        bool written = false;
        QString path;  // the file written, or the one that could not be written
    };

    // Writes the picture into `folder` (empty: the current directory) under the
    // first name from nextNumber on that does not exist yet (an earlier snapshot is
    // never replaced), then moves nextNumber past it. The file gets its name only
    // once it is whole on the disk. A failed write leaves nextNumber and the disk
    // as they were.
    Result take(const CdgMachine& machine, const QString& folder);

    // The next number to try; 64 bits, so it cannot wrap.
    int64_t nextNumber = 0;
    // Stem of the names; empty until start-up has finished.
    QString stem;
};

}  // namespace lyrvox
