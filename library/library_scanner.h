#pragma once
// Finds the songs below the library's folders and brings the index up to date:
// loose songs (a .cdg, or a .rw, with or without an audio partner of the same
// name in any letter case, as playback finds it), and MP3+G zips (checked as the
// player checks them before it plays, their pair inflated but written nowhere).
// What the player would refuse (graphics that are empty or no CD+G, a zip it
// cannot unpack) is skipped with the player's reason. A file whose size, modification time and
// partner are unchanged is not looked at again. Runs on any thread, on its own index connection;
// writes in batches, so that a killed scan loses at most one batch.
// Scans of one library take turns, also across programs: each holds a lock on
// the file PATH.scan-lock next to the index while it runs.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/library_index.h"

namespace lyrvox {

// A file or folder the scan passed over, and why, in the words the player would use.
struct SkippedFile {
    std::string path;
    std::string reason;
};

struct ScanCounts {
    std::int64_t songs = 0;    // songs found on disk
    std::int64_t added = 0;    // new to the index
    std::int64_t updated = 0;  // changed since the last scan
    std::int64_t removed = 0;  // gone from folders that are there
    std::int64_t skipped = 0;  // unreadable files and folders, songs the player refuses, loops
    // The first kMostSkippedListed of them, in the order met.
    std::vector<SkippedFile> skippedFiles;
    static constexpr std::size_t kMostSkippedListed = 1000;
    int missingFolders = 0;  // kept, their songs marked unavailable
    bool cancelled = false;  // nothing was removed then
    std::string error;       // the index could not be written; the scan stopped
    bool damaged = false;    // the index file was found damaged (error says so too)
};

struct ScanProgress {
    std::int64_t done = 0;   // songs looked at
    std::int64_t total = 0;  // songs found so far by the walk
    std::string folder;      // the library folder being scanned
    bool waiting = false;    // another scan of this library runs; this one waits its turn
};

class LibraryScanner {
  public:
    using ProgressFn = std::function<void(const ScanProgress&)>;
    static constexpr std::size_t kBatchSize = 1000;  // songs written per transaction

    explicit LibraryScanner(LibraryIndex& index) : index_(index) {}

    // Scans `folders` (every library folder when empty), once no other scan of the
    // library runs. `cancel` is read between files and while waiting; `progress` is
    // called on this thread when a wait begins and every few hundred songs.
    ScanCounts scan(std::vector<LibraryFolder> folders, const std::atomic<bool>& cancel,
                    const ProgressFn& progress = {});

  private:
    LibraryIndex& index_;
};

}  // namespace lyrvox
