#pragma once
// The singer rotation, the key memory and the song history as the library's
// SQLite database keeps them. Each write is one transaction, so that a killed
// program loses at most the action it was writing. Paths are the bytes on disk
// (blobs); names are UTF-8.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lyrvox {

class LibraryIndex;

// One song queued for a singer. Key in semitones, tempo in percent of the
// original; nullopt: the key memory's, or the song's own.
struct RotationSong {
    std::int64_t id = 0;  // the row in the database; 0 until stored
    std::string path;
    std::string artist, title;
    std::optional<int> key;
    std::optional<int> tempo;
};

struct RotationSinger {
    std::int64_t id = 0;
    std::string name;
    bool away = false;
    std::int64_t joinedRound = 0;  // sings from this round on
    std::int64_t lastRound = -1;   // the round they last sang in
    std::vector<RotationSong> songs;
};

// A singer's turn: who and what, with the key and tempo it plays in.
struct RotationTurn {
    std::string singer;
    RotationSong song;
    std::int64_t round = 0;
    // What giving the turn back needs: whose turn, the entry as it was queued, and
    // the singer's last round before the turn.
    std::int64_t singerId = 0;
    RotationSong queued;
    std::int64_t lastRoundBefore = -1;
    std::int64_t startedAt = 0;  // seconds since the epoch (UTC)
};

struct KeyMemory {
    int key = 0;
    int tempo = 100;
    bool operator==(const KeyMemory&) const = default;
};

struct HistoryEntry {
    std::string singer;
    std::string path;
    std::string artist, title;
    std::int64_t startedAt = 0;  // seconds since the epoch (UTC)
    int key = 0;
    int tempo = 100;
    // How it ended: "finished", "skipped", "stopped", "failed", or "interrupted"
    // (the program ended during it without closing: killed, or the power gone).
    std::string ended;
    bool operator==(const HistoryEntry&) const = default;
};

class RotationStore {
  public:
    // `index` must outlive this object; while it is closed, nothing is stored.
    explicit RotationStore(LibraryIndex& index) : index_(index) {}

    bool isOpen() const;
    // The last failure in the user's words; empty after success.
    const std::string& error() const { return error_; }

    // Everything saved: the singers in order with their songs, the round and the
    // singer made next (0: none), and the key memory. `open`: the turn the file says
    // is playing (its song not among its singer's), left open by a program that
    // ended during it; nullopt when none.
    bool load(std::vector<RotationSinger>& singers, std::int64_t& round, std::int64_t& madeNext,
              std::map<std::pair<std::string, std::string>, KeyMemory>& keys,
              std::optional<RotationTurn>& open);

    // Returns the new singer's id, 0 on failure.
    std::int64_t addSinger(const RotationSinger& singer, int position);
    bool renameSinger(std::int64_t id, const std::string& oldName, const std::string& newName);
    bool removeSinger(std::int64_t id);
    // Every singer's position as its index in `order`.
    bool saveOrder(const std::vector<RotationSinger>& order);
    bool setAway(std::int64_t id, bool away);
    bool setMadeNext(std::int64_t singerId);
    // Returns the song's id, 0 on failure; the singer's songs take their positions
    // from `songs` (the list after the change, the new song the one with id 0).
    std::int64_t addSong(std::int64_t singerId, const RotationSong& song,
                         const std::vector<RotationSong>& songs);
    bool removeSong(std::int64_t songId);
    bool setSongKey(std::int64_t songId, std::optional<int> key, std::optional<int> tempo);
    // A turn begins, in one transaction: the singer's last round, the round and no
    // singer made next are written, and the turn's song is marked as playing, with
    // the singer's last round before it and when it began. The song stays in the
    // file until the turn ends, so that a program killed during it loses nothing.
    // A song still marked (`endedSongId`, 0: none) leaves as sung.
    bool startTurn(const RotationTurn& turn, std::int64_t endedSongId);
    // The turn ends, in one transaction: `record` (when given) goes into the history
    // with its key remembered, the mark is cleared, and the song leaves; or, given
    // back (`songsBack`: the singer's songs after it, the turn's first), it stays
    // first on the list, with the singer's last round as before the turn, the round
    // the turn's and the singer made next.
    bool endTurn(const RotationTurn& turn, const HistoryEntry* record,
                 const std::vector<RotationSong>* songsBack);
    // The history row and the key memory together.
    bool played(const HistoryEntry& entry);

    std::vector<HistoryEntry> historySince(std::int64_t startedAtOrAfter);
    std::vector<HistoryEntry> historyOf(const std::string& singer);
    // The library's artist and title for a song path; nullopt when it is not listed.
    std::optional<std::pair<std::string, std::string>> librarySong(const std::string& path);

  private:
    bool fail();
    bool done(bool ok) { return ok ? (error_.clear(), true) : fail(); }

    LibraryIndex& index_;
    std::string error_;
};

// The history as CSV (RFC 4180): a header line, then one record a song, every
// field quoted where it holds a comma, quote or line break, lines ended by CRLF.
std::string historyCsv(const std::vector<HistoryEntry>& entries);

}  // namespace lyrvox
