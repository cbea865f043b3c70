#include "library/library_scanner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <array>
#include <set>
#include <unordered_map>
#include <utility>

#include "playback/archive/song_zip.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

constexpr std::int64_t kBytesPerSecond = 24 * 300;  // 24-byte packets, 300 a second
constexpr std::int64_t kProgressEvery = 256;

struct Candidate {
    std::string path;
    std::string partner;  // the audio partner's name in the same folder; "" when none
    bool zip = false;
};

using DirId = std::pair<dev_t, ino_t>;

// Lists the song files of one folder into `out` and its subfolders into `subfolders`.
// Returns false when the folder cannot be read.
bool listFolder(const std::string& folder, std::vector<Candidate>& out,
                std::vector<std::string>& subfolders, std::set<DirId>& visited,
                std::int64_t& skipped, bool& empty) {
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
                ++skipped;
                continue;
            }
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) {
            struct stat info;
            if (::stat(path.c_str(), &info) != 0) {
                ++skipped;
            } else if (!visited.insert({info.st_dev, info.st_ino}).second) {
                ++skipped;  // seen already: a link loop or a second way in
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
            out.push_back({folder + "/" + f.name, {}, true});
        } else if (f.lowerExtension == "cdg" || (f.lowerExtension == "rw" && !hasCdg)) {
            out.push_back({folder + "/" + f.name, partner.second, false});
        }
    }
    return true;
}

// Fills the kind and length of a zipped song from its entries; false when the zip
// cannot be read or holds no graphics.
bool readZip(const std::string& path, LibrarySong& song) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!zip) return false;
    std::int64_t graphicsBytes = -1;
    int bestAudio = -1;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat) != 0 ||
            !(stat.valid & ZIP_STAT_NAME)) {
            continue;
        }
        const std::string extension = toLowerAscii(extensionOf(fileNameOf(stat.name)));
        if (extension == "cdg" && graphicsBytes < 0 && (stat.valid & ZIP_STAT_SIZE)) {
            graphicsBytes = static_cast<std::int64_t>(stat.size);
        }
        const int rank = audioPartnerRank(extension);
        if (rank >= 0 && (bestAudio < 0 || rank < bestAudio)) bestAudio = rank;
    }
    zip_discard(zip);
    if (graphicsBytes < 0) return false;
    song.durationMs = graphicsBytes * 1000 / kBytesPerSecond;
    song.format = bestAudio >= 0 ? "ZIP " + std::string(audioPartnerKind(bestAudio)) + "+G"
                                 : std::string("ZIP CDG");
    return true;
}

class FolderScan {
  public:
    FolderScan(LibraryIndex& index, const LibraryFolder& folder, ScanCounts& counts,
               const std::atomic<bool>& cancel, const LibraryScanner::ProgressFn& progress)
        : index_(index), folder_(folder), counts_(counts), cancel_(cancel), progress_(progress) {}

    // False when the index could not be written.
    bool run() {
        std::unordered_map<std::string, LibrarySong> known = index_.songsIn(folder_.path);
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
            if (!listFolder(dir, candidates, pending, visited, counts_.skipped, empty)) {
                ++counts_.skipped;
                unreadable.push_back(dir + "/");
            }
            if (dir == folder_.path) rootEmpty = empty;
        }
        // An empty mount point where a drive was: its songs wait for the drive.
        if (rootEmpty && !known.empty()) return markMissing();
        if (!folder_.available && !index_.setFolderAvailable(folder_.id, true)) return false;

        ScanProgress progress{0, static_cast<std::int64_t>(candidates.size()), folder_.path};
        std::vector<LibrarySong> batch;
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
            if (read(candidate, song)) {
                ++counts_.songs;
                ++(song.id == 0 ? counts_.added : counts_.updated);
                batch.push_back(std::move(song));
            } else {
                ++counts_.skipped;
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
        std::vector<std::int64_t> removed;
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

    bool read(const Candidate& candidate, LibrarySong& song) {
        struct stat info;
        if (statPath_ == candidate.path) {
            info = statCache_;
        } else if (::stat(candidate.path.c_str(), &info) != 0) {
            return false;
        }
        if (::access(candidate.path.c_str(), R_OK) != 0) return false;
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
        song.durationMs = static_cast<std::int64_t>(info.st_size) * 1000 / kBytesPerSecond;
        const std::string graphics = toUpperAscii(extensionOf(name)) == "RW" ? "RW" : "CDG";
        song.format = candidate.partner.empty() ? graphics
                                                : toUpperAscii(extensionOf(candidate.partner)) +
                                                      (graphics == "RW" ? "+RW" : "+G");
        return true;
    }

    bool flush(std::vector<LibrarySong>& batch) {
        if (batch.empty()) return true;
        const bool ok = write(batch, {});
        batch.clear();
        return ok;
    }

    bool write(const std::vector<LibrarySong>& songs, const std::vector<std::int64_t>& removed) {
        if (index_.writeBatch(folder_.id, songs, removed)) return true;
        counts_.error = index_.error();
        return false;
    }

    void tick(ScanProgress& progress) {
        ++progress.done;
        if (progress_ && progress.done % kProgressEvery == 0) progress_(progress);
    }

    bool markMissing() {
        ++counts_.missingFolders;
        if (index_.setFolderAvailable(folder_.id, false)) return true;
        counts_.error = index_.error();
        return false;
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
    if (folders.empty()) folders = index_.folders();
    if (!index_.isOpen()) counts.error = "The song library is not open";
    for (const LibraryFolder& folder : folders) {
        if (!counts.error.empty() || cancel) break;
        if (!FolderScan(index_, folder, counts, cancel, progress).run()) break;
    }
    counts.cancelled = counts.cancelled || (cancel && counts.error.empty());
    return counts;
}

}  // namespace lyrvox
