#include "library/library_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>

#include "playback/archive/graphics_check.h"
#include "playback/archive/song_zip.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

constexpr std::int64_t kBytesPerSecond = 24 * 300;  // 24-byte packets, 300 a second
constexpr std::int64_t kProgressEvery = 256;

void skip(ScanCounts& counts, const std::string& path, std::string reason) {
    ++counts.skipped;
    if (counts.skippedFiles.size() < ScanCounts::kMostSkippedListed)
        counts.skippedFiles.push_back({path, std::move(reason)});
}

// A zip has no partner file: its partner field tells which check it passed, so that
// zips listed before the scan checked what the player checks are looked at again.
// A new mark when the check grows.
constexpr const char* kZipChecked = "(zip checked 1)";

struct Candidate {
    std::string path;
    // The audio partner's name in the same folder, "" when none; kZipChecked for a zip.
    std::string partner;
    bool zip = false;
};

using DirId = std::pair<dev_t, ino_t>;

// The turn of one scan of a library: an advisory lock on a file of its own next to
// the index (never the index itself: closing any other descriptor of that file
// would drop SQLite's own locks). Without the lock file (a read-only folder) the
// scan runs anyway: nothing else can write there either.
class ScanTurn {
  public:
    explicit ScanTurn(const std::string& databasePath)
        : fd_(::open((databasePath + ".scan-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
    ~ScanTurn() {
        if (fd_ >= 0) ::close(fd_);  // releases the lock
    }
    ScanTurn(const ScanTurn&) = delete;
    ScanTurn& operator=(const ScanTurn&) = delete;

    // True once this scan has its turn; false when cancelled first.
    bool take(const std::atomic<bool>& cancel, const std::function<void()>& waiting) {
        if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
        if (waiting) waiting();
        while (!cancel) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

  private:
    int fd_;
};

// Lists the song files of one folder into `out` and its subfolders into `subfolders`.
// Returns false when the folder cannot be read.
bool listFolder(const std::string& folder, std::vector<Candidate>& out,
                std::vector<std::string>& subfolders, std::set<DirId>& visited, ScanCounts& counts,
                bool& empty) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    struct FileName {
        std::string name, lowerStem, lowerExtension;
    };
    std::vector<FileName> files;
    empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        empty = false;
        const std::string path = folder + "/" + name;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat info;
            if (::stat(path.c_str(), &info) != 0) {  // a dangling link, a vanished file
                skip(counts, path, "cannot be read");
                continue;
            }
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            struct stat info;
            if (::stat(path.c_str(), &info) != 0) {
                skip(counts, path, "cannot be read");
            } else if (!visited.insert({info.st_dev, info.st_ino}).second) {
                skip(counts, path, "a folder seen already (a link loop or a second way in)");
            } else {
                subfolders.push_back(path);
            }
        } else if (type == DT_REG) {
            const std::string lower = toLowerAscii(name);
            files.push_back({name, stripExtension(lower), extensionOf(lower)});
        }
    }
    ::closedir(dir);

    // Per base name (any case): whether a .cdg is there, and the best audio partner.
    std::unordered_map<std::string, std::pair<bool, std::pair<int, std::string>>> byStem;
    for (const FileName& f : files) {
        auto& [hasCdg, partner] = byStem[f.lowerStem];
        if (f.lowerExtension == "cdg") hasCdg = true;
        const int rank = audioPartnerRank(f.lowerExtension);
        if (rank >= 0 && (partner.second.empty() || rank < partner.first)) partner = {rank, f.name};
    }
    for (const FileName& f : files) {
        const auto& [hasCdg, partner] = byStem[f.lowerStem];
        if (f.lowerExtension == "zip") {
            out.push_back({folder + "/" + f.name, kZipChecked, true});
        } else if (f.lowerExtension == "cdg" || (f.lowerExtension == "rw" && !hasCdg)) {
            out.push_back({folder + "/" + f.name, partner.second, false});
        }
    }
    return true;
}

// Fills the kind and length of a zipped song through the player's own check; the
// reason it would not play, or "".
std::string readZip(const std::string& path, LibrarySong& song) {
    const ZipSongCheck check = checkSongZip(path);
    if (!check.error.empty()) return check.error;
    if (!check.hasGraphics) return "no CD+G graphics in the zip";
    song.durationMs = static_cast<std::int64_t>(check.graphicsBytes) * 1000 / kBytesPerSecond;
    song.format =
        check.audioShown.empty() ? std::string("ZIP CDG") : "ZIP " + check.audioShown + "+G";
    return {};
}

// Whether loose graphics could play, by the check a zip's graphics get.
std::string checkGraphics(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot be read";
    std::string head(kGraphicsHeadBytes, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    head.resize(got);
    return graphicsLookPlayable(head, static_cast<std::uint64_t>(size))
               ? std::string()
               : "the graphics are empty or not CD+G";
}

class FolderScan {
  public:
    FolderScan(LibraryIndex& index, const LibraryFolder& folder, ScanCounts& counts,
               const std::atomic<bool>& cancel, const LibraryScanner::ProgressFn& progress)
        : index_(index), folder_(folder), counts_(counts), cancel_(cancel), progress_(progress) {}

    // False when the index could not be written.
    bool run() {
        std::unordered_map<std::string, LibrarySong> known = index_.songsIn(folder_.path);
        if (index_.damaged()) return stop();  // what is known cannot be read
        // As they stand now, not as the caller last read them: a changed order must
        // not be undone by a scan that was asked for with the old one.
        orders_ = index_.nameOrders();
        struct stat rootInfo;
        if (::stat(folder_.path.c_str(), &rootInfo) != 0 || !S_ISDIR(rootInfo.st_mode)) {
            return markMissing();
        }
        // The walk first, so that the progress has a total.
        std::vector<Candidate> candidates;
        std::vector<std::string> unreadable;
        std::vector<std::string> pending{folder_.path};
        std::set<DirId> visited{{rootInfo.st_dev, rootInfo.st_ino}};
        bool rootEmpty = false;
        while (!pending.empty() && !cancel_) {
            const std::string dir = pending.back();
            pending.pop_back();
            bool empty = false;
            if (!listFolder(dir, candidates, pending, visited, counts_, empty)) {
                skip(counts_, dir, "the folder cannot be read");
                unreadable.push_back(dir + "/");
            }
            if (dir == folder_.path) rootEmpty = empty;
        }
        // An empty mount point where a drive was: its songs wait for the drive.
        if (rootEmpty && !known.empty()) return markMissing();
        if (!folder_.available && !index_.setFolderAvailable(folder_.id, true)) return false;

        ScanProgress progress{0, static_cast<std::int64_t>(candidates.size()), folder_.path};
        std::vector<LibrarySong> batch;
        std::vector<std::int64_t> refused;  // listed before, refused now
        for (const Candidate& candidate : candidates) {
            if (cancel_) break;
            LibrarySong song;
            const auto at = known.find(candidate.path);
            if (at != known.end()) {
                song.id = at->second.id;
                if (isUnchanged(candidate, at->second)) {
                    ++counts_.songs;
                    known.erase(at);
                    tick(progress);
                    continue;
                }
                known.erase(at);  // found: kept as it was even when it cannot be read now
            }
            bool notRead = false;
            if (std::string reason = read(candidate, song, notRead); reason.empty()) {
                ++counts_.songs;
                ++(song.id == 0 ? counts_.added : counts_.updated);
                batch.push_back(std::move(song));
            } else {
                skip(counts_, candidate.path, std::move(reason));
                // Read and refused: the player would refuse it too, so it goes.
                if (!notRead && song.id != 0) refused.push_back(song.id);
            }
            if (batch.size() >= LibraryScanner::kBatchSize && !flush(batch)) return false;
            tick(progress);
        }
        if (!flush(batch)) return false;
        if (progress_) progress_(progress);
        if (cancel_) {
            counts_.cancelled = true;
            return true;
        }
        // What is left was not found: gone, unless its folder could not be read.
        std::vector<std::int64_t> removed = std::move(refused);
        for (const auto& [path, song] : known) {
            bool underUnreadable = false;
            for (const std::string& dir : unreadable) underUnreadable |= path.starts_with(dir);
            if (!underUnreadable) removed.push_back(song.id);
        }
        counts_.removed += static_cast<std::int64_t>(removed.size());
        return removed.empty() || write({}, removed);
    }

  private:
    bool isUnchanged(const Candidate& candidate, const LibrarySong& known) {
        struct stat info;
        if (::stat(candidate.path.c_str(), &info) != 0) return false;
        statCache_ = info;
        statPath_ = candidate.path;
        return known.size == info.st_size && known.mtimeNs == mtimeNs(info) &&
               known.partner == candidate.partner;
    }

    static std::int64_t mtimeNs(const struct stat& info) {
        return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
               info.st_mtim.tv_nsec;
    }

    // The reason the song is skipped, or "". `unreadable`: it could not be read at all,
    // which may pass (a drive going to sleep), so that an earlier entry stays.
    std::string read(const Candidate& candidate, LibrarySong& song, bool& unreadable) {
        struct stat info;
        unreadable = true;
        if (statPath_ == candidate.path) {
            info = statCache_;
        } else if (::stat(candidate.path.c_str(), &info) != 0) {
            return "cannot be read";
        }
        if (::access(candidate.path.c_str(), R_OK) != 0) return "cannot be read";
        unreadable = false;
        const std::string name = fileNameOf(candidate.path);
        const SongName parsed =
            parseSongName(stripExtension(name), orders_.of(candidate.path).value_or(folder_.order));
        song.path = candidate.path;
        song.artist = parsed.artist;
        song.title = parsed.title;
        song.discId = parsed.discId;
        song.size = info.st_size;
        song.mtimeNs = mtimeNs(info);
        song.partner = candidate.partner;
        if (candidate.zip) return readZip(candidate.path, song);
        if (std::string reason = checkGraphics(candidate.path, info.st_size); !reason.empty()) {
            unreadable = reason == "cannot be read";
            return reason;
        }
        song.durationMs = static_cast<std::int64_t>(info.st_size) * 1000 / kBytesPerSecond;
        const std::string graphics = toUpperAscii(extensionOf(name)) == "RW" ? "RW" : "CDG";
        song.format = candidate.partner.empty() ? graphics
                                                : toUpperAscii(extensionOf(candidate.partner)) +
                                                      (graphics == "RW" ? "+RW" : "+G");
        return {};
    }

    bool flush(std::vector<LibrarySong>& batch) {
        if (batch.empty()) return true;
        const bool ok = write(batch, {});
        batch.clear();
        return ok;
    }

    bool write(const std::vector<LibrarySong>& songs, const std::vector<std::int64_t>& removed) {
        if (index_.writeBatch(folder_.id, songs, removed)) return true;
        return stop();
    }

    // The index failed: the scan ends with its reason.
    bool stop() {
        counts_.damaged = index_.damaged();
        counts_.error = counts_.damaged ? "the library file is damaged" : index_.error();
        return false;
    }

    void tick(ScanProgress& progress) {
        ++progress.done;
        if (progress_ && progress.done % kProgressEvery == 0) progress_(progress);
    }

    bool markMissing() {
        ++counts_.missingFolders;
        if (index_.setFolderAvailable(folder_.id, false)) return true;
        return stop();
    }

    LibraryIndex& index_;
    const LibraryFolder& folder_;
    ScanCounts& counts_;
    const std::atomic<bool>& cancel_;
    const LibraryScanner::ProgressFn& progress_;
    NameOrders orders_;  // the deepest folder's order names each song
    struct stat statCache_ {};
    std::string statPath_;
};

}  // namespace

ScanCounts LibraryScanner::scan(std::vector<LibraryFolder> folders, const std::atomic<bool>& cancel,
                                const ProgressFn& progress) {
    ScanCounts counts;
    std::optional<ScanTurn> turn;
    if (index_.isOpen()) turn.emplace(index_.path());
    const bool myTurn = !turn || turn->take(cancel, [&] {
        if (progress) progress({0, 0, {}, true});
    });
    // Read once the turn has come: the scan before may have changed them.
    if (myTurn && folders.empty()) folders = index_.folders();
    if (!index_.isOpen()) counts.error = "The song library is not open";
    for (const LibraryFolder& folder : folders) {
        if (!counts.error.empty() || cancel || !myTurn) break;
        if (!FolderScan(index_, folder, counts, cancel, progress).run()) break;
    }
    counts.damaged = index_.damaged();
    if (counts.damaged && counts.error.empty()) counts.error = "the library file is damaged";
    counts.cancelled = counts.cancelled || (cancel && counts.error.empty());
    return counts;
}

}  // namespace lyrvox
