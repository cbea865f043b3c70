#pragma once
// The song library's index: one SQLite file holding the library folders, every
// song found in them (its name parts, length and kind, and the size and
// modification time that tell a rescan whether to look again), an FTS5 index
// over artist, title and disc id, and the play queue. Paths are the bytes on
// disk (stored as blobs); name parts are UTF-8.
//
// One object per thread: the scanner opens its own on the same file. The file
// runs in WAL mode, so searches on one connection go on while a scan writes on
// another.
//
// How the file is opened, made, refused or kept aside when damaged is
// library_file.h's; its layout library_schema.h's. Damage that a later statement
// finds is told through onDamage(); rebuild() then keeps the file aside and makes
// the index again, keeping what can still be read of its folders and queue.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "library/library_file.h"
#include "library/library_schema.h"
#include "library/song_name.h"
#include "library/sql_connection.h"

namespace lyrvox {

struct LibraryFolder {
    std::int64_t id = 0;
    std::string path;  // without a trailing '/'
    NameOrder order = NameOrder::ArtistTitle;
    bool available = true;  // false while the folder cannot be read (a drive unplugged)
};

// One song as the scanner stores it and a search returns it.
struct LibrarySong {
    std::int64_t id = 0;
    std::string path;  // the graphics file or the zip
    std::string artist, title, discId;
    std::int64_t durationMs = 0;  // from the graphics length: 24 bytes a packet, 300 a second
    std::string format;           // "MP3+G", "CDG", "ZIP MP3+G" ...
    bool available = true;
    // What a rescan compares: the file's size and modification time (ns since
    // the epoch) and the audio partner's name ("" when none).
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::string partner;
};

struct QueueEntry {
    std::string path;
    std::string artist, title;
    bool operator==(const QueueEntry&) const = default;
};

struct SearchResult {
    std::vector<LibrarySong> songs;  // at most the limit asked for
    std::int64_t total = 0;          // all the songs that match
};

// Which folders read their names "Title - Artist": the library folders' own
// orders and those set for folders inside them. The deepest folder holding a path
// decides.
struct NameOrders {
    std::vector<std::pair<std::string, NameOrder>> folders;  // paths without a trailing '/'
    // The order for a song or folder path; nullopt when no folder holds it.
    std::optional<NameOrder> of(const std::string& path) const;
};

class LibraryIndex {
  public:
    static constexpr int kSchemaVersion = LibrarySchema::kVersion;
    static constexpr int kBusyWaitMs = LibraryFile::kBusyWaitMs;
    using Recovery = LibraryFile::Recovery;
    using Options = LibraryFile::Options;
    using State = LibraryFile::State;

    explicit LibraryIndex(std::string path, Recovery recovery = Recovery::MoveAside);
    LibraryIndex(std::string path, Options options);
    ~LibraryIndex();
    LibraryIndex(const LibraryIndex&) = delete;
    LibraryIndex& operator=(const LibraryIndex&) = delete;

    bool isOpen() const { return db_ != nullptr; }
    State state() const { return file_.state(); }
    const std::string& path() const { return file_.path(); }
    // What the user must be told about the opening (a file moved aside, no index
    // at all); empty when all went well.
    const std::string& notice() const { return file_.notice(); }
    // The last failure's text, for messages; empty when the last call succeeded.
    const std::string& error() const { return error_; }

    // True once a statement has found the file damaged; the index's answers may be
    // incomplete from then on, until rebuild().
    bool damaged() const { return db_.damaged(); }
    // Called once when a statement first finds the file damaged (on the thread
    // that ran it, inside the call: act on it later, not from the callback).
    void onDamage(std::function<void()> told) { db_.onDamage(std::move(told)); }
    // Keeps the damaged file aside as PATH.broken-N and makes the index again with
    // the folders and queue that could still be read; notice() tells what
    // happened. Its songs come back with a scan of every folder (needsRescan()).
    bool rebuild();
    // Tries the opening again (after InUse), with the same options.
    bool reopen();
    // How long later statements wait for another connection's lock.
    void setBusyWait(int waitMs) { db_.setBusyWait(waitMs, file_.options().waiting); }
    // The songs must be found again: the index was made anew from a damaged file.
    bool needsRescan() const { return needsRescan_; }
    void rescanStarted() { needsRescan_ = false; }

    // Library folders. addFolder refuses a folder inside one already there and
    // takes in any already there inside the new one; it returns the folder's id,
    // or 0 with error() set.
    std::vector<LibraryFolder> folders();
    std::int64_t addFolder(const std::string& path, NameOrder order);
    bool removeFolder(std::int64_t folderId);
    // How the names below a folder read: a library folder's own order, or one set
    // for a folder inside it, which then holds for everything below that folder
    // unless a deeper one is set. The names of the songs below are read again from
    // their file names at once (a scan is not needed). False with error() set when
    // the folder is not in the library.
    bool setFolderOrder(std::int64_t folderId, NameOrder order);
    bool setNameOrder(const std::string& folderPath, NameOrder order);
    // Every order set: the library folders' and those set inside them.
    NameOrders nameOrders();
    bool setFolderAvailable(std::int64_t folderId, bool available);

    // What the scanner needs: the songs known below a folder, keyed by path.
    std::unordered_map<std::string, LibrarySong> songsIn(const std::string& folderPath);
    // Writes a batch in one transaction: new songs (id 0) inserted, known ones
    // updated, the removed ids deleted.
    bool writeBatch(std::int64_t folderId, const std::vector<LibrarySong>& songs,
                    const std::vector<std::int64_t>& removedIds = {});

    // Songs whose artist, title or disc id hold words beginning with each of the
    // typed words, in any order, without regard to case, accents and the
    // punctuation inside words ("dont" finds "Don't", "acdc" "AC/DC") and with "&"
    // as "and" (search_text.h). Empty text: every song by artist and title.
    SearchResult search(const std::string& text, int limit);
    std::int64_t songCount();

    // The connection, for the stores that keep tables of their own in this file
    // (rotation_store.h, loudness_store.h); null while closed.
    Connection& connection() { return db_; }
    // Sets error() from the connection's last failure as "what: reason" in the
    // user's words; returns false.
    bool noteFailure(const std::string& what) { return fail(what); }

    std::vector<QueueEntry> loadQueue();
    bool saveQueue(const std::vector<QueueEntry>& queue);

  private:
    void start();                        // opens, makes or refuses the file, as its state asks
    bool fail(const std::string& what);  // sets error_ from the connection; false

    LibraryFile file_;
    Connection& db_ = file_.connection();
    bool needsRescan_ = false;
    std::string error_;
};

}  // namespace lyrvox
