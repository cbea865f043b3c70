#include "library/library_index.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "library/search_text.h"
#include "library/sql_statement.h"
#include "util/text_helpers.h"

#ifndef LYRVOX_VERSION
#define LYRVOX_VERSION "unknown"
#endif

namespace lyrvox {
namespace {

// Searches that match more songs than this are listed in index order instead of
// by relevance: ranking tens of thousands of rows for one typed letter would cost
// more than a keystroke may.
constexpr std::int64_t kMostRanked = 500;

// Each step takes the schema from its index to the next version; a new version
// appends a step and never edits an old one.
constexpr const char* kMigrations[] = {
    // 0 -> 1
    R"(
    CREATE TABLE folders(
        id INTEGER PRIMARY KEY,
        path BLOB NOT NULL UNIQUE,
        name_order INTEGER NOT NULL DEFAULT 0,
        available INTEGER NOT NULL DEFAULT 1);
    CREATE TABLE songs(
        id INTEGER PRIMARY KEY,
        folder_id INTEGER NOT NULL,
        path BLOB NOT NULL UNIQUE,
        size INTEGER NOT NULL,
        mtime_ns INTEGER NOT NULL,
        partner BLOB NOT NULL,
        artist TEXT NOT NULL,
        title TEXT NOT NULL,
        disc_id TEXT NOT NULL,
        duration_ms INTEGER NOT NULL,
        format TEXT NOT NULL,
        available INTEGER NOT NULL DEFAULT 1);
    CREATE VIRTUAL TABLE song_search USING fts5(
        artist, title, disc_id, content='songs', content_rowid='id',
        tokenize='unicode61 remove_diacritics 2', prefix='1 2 3');
    CREATE TRIGGER songs_added AFTER INSERT ON songs BEGIN
        INSERT INTO song_search(rowid, artist, title, disc_id)
            VALUES (new.id, new.artist, new.title, new.disc_id);
    END;
    CREATE TRIGGER songs_removed AFTER DELETE ON songs BEGIN
        INSERT INTO song_search(song_search, rowid, artist, title, disc_id)
            VALUES ('delete', old.id, old.artist, old.title, old.disc_id);
    END;
    CREATE TRIGGER songs_renamed AFTER UPDATE OF artist, title, disc_id ON songs BEGIN
        INSERT INTO song_search(song_search, rowid, artist, title, disc_id)
            VALUES ('delete', old.id, old.artist, old.title, old.disc_id);
        INSERT INTO song_search(rowid, artist, title, disc_id)
            VALUES (new.id, new.artist, new.title, new.disc_id);
    END;
    CREATE INDEX songs_by_name ON songs(artist, title);
    CREATE TABLE queue(
        position INTEGER PRIMARY KEY,
        path BLOB NOT NULL,
        artist TEXT NOT NULL,
        title TEXT NOT NULL);
    )",
    // 1 -> 2: a song belongs to a library folder, as the foreign keys that are
    // switched on now check (songs of a folder no longer there go), and is found by
    // its folder through an index. Names are found without their punctuation:
    // `folded_artist` and `folded_title` are the names without the joining marks of
    // search_text.h and with "&" as "and", NULL when that changes nothing, so that
    // only names with such marks are indexed twice. Beginnings of up to six letters
    // get an index of their own: a typed word that begins several indexed words
    // ("love" of "love" and "loves") is then one lookup, not a merge of every such
    // word's songs. Folders inside a library folder may have a name order of their
    // own; the file names the program that last changed its layout, so that an
    // older one can say which version wrote it.
    R"(
    CREATE TABLE songs_new(
        id INTEGER PRIMARY KEY,
        folder_id INTEGER NOT NULL REFERENCES folders(id) ON DELETE CASCADE,
        path BLOB NOT NULL UNIQUE,
        size INTEGER NOT NULL,
        mtime_ns INTEGER NOT NULL,
        partner BLOB NOT NULL,
        artist TEXT NOT NULL,
        title TEXT NOT NULL,
        disc_id TEXT NOT NULL,
        duration_ms INTEGER NOT NULL,
        format TEXT NOT NULL,
        available INTEGER NOT NULL DEFAULT 1,
        folded_artist TEXT GENERATED ALWAYS AS (nullif(
            replace(replace(replace(replace(replace(replace(replace(replace(replace(replace(
                artist, '&', ' and '), '''', ''), '’', ''), '‘', ''), '`', ''), '´', ''),
                '.', ''), '-', ''), '‐', ''), '/', ''),
            artist)) VIRTUAL,
        folded_title TEXT GENERATED ALWAYS AS (nullif(
            replace(replace(replace(replace(replace(replace(replace(replace(replace(replace(
                title, '&', ' and '), '''', ''), '’', ''), '‘', ''), '`', ''), '´', ''),
                '.', ''), '-', ''), '‐', ''), '/', ''),
            title)) VIRTUAL);
    INSERT INTO songs_new(id, folder_id, path, size, mtime_ns, partner, artist, title, disc_id,
                          duration_ms, format, available)
        SELECT id, folder_id, path, size, mtime_ns, partner, artist, title, disc_id,
               duration_ms, format, available
        FROM songs WHERE folder_id IN (SELECT id FROM folders);
    DROP TABLE songs;  -- its triggers go with it
    DROP TABLE song_search;
    ALTER TABLE songs_new RENAME TO songs;
    CREATE VIRTUAL TABLE song_search USING fts5(
        artist, title, disc_id, folded_artist, folded_title,
        content='songs', content_rowid='id',
        tokenize='unicode61 remove_diacritics 2', prefix='1 2 3 4 5 6');
    CREATE TRIGGER songs_added AFTER INSERT ON songs BEGIN
        INSERT INTO song_search(rowid, artist, title, disc_id, folded_artist, folded_title)
            VALUES (new.id, new.artist, new.title, new.disc_id, new.folded_artist,
            new.folded_title);
    END;
    CREATE TRIGGER songs_removed AFTER DELETE ON songs BEGIN
        INSERT INTO song_search(song_search, rowid, artist, title, disc_id, folded_artist,
            folded_title)
            VALUES ('delete', old.id, old.artist, old.title, old.disc_id, old.folded_artist,
            old.folded_title);
    END;
    CREATE TRIGGER songs_renamed AFTER UPDATE OF artist, title, disc_id ON songs BEGIN
        INSERT INTO song_search(song_search, rowid, artist, title, disc_id, folded_artist,
            folded_title)
            VALUES ('delete', old.id, old.artist, old.title, old.disc_id, old.folded_artist,
            old.folded_title);
        INSERT INTO song_search(rowid, artist, title, disc_id, folded_artist, folded_title)
            VALUES (new.id, new.artist, new.title, new.disc_id, new.folded_artist,
            new.folded_title);
    END;
    CREATE INDEX songs_by_name ON songs(artist, title);
    CREATE INDEX songs_by_folder ON songs(folder_id);
    INSERT INTO song_search(song_search) VALUES ('rebuild');
    CREATE TABLE name_orders(
        path BLOB PRIMARY KEY,
        name_order INTEGER NOT NULL);
    CREATE TABLE about(key TEXT PRIMARY KEY, value TEXT NOT NULL);
    )",
    // 2 -> 3: a night's singers in their rotation order, each with their own songs;
    // the rotation's round and the singer made next; the key and tempo (semitones,
    // percent) each singer last sang each song in, by name so that it outlives the
    // night; the history of songs played; and each song's loudness, for the version
    // of the file that was measured. A NULL key or tempo on a queued song leaves it
    // to the key memory.
    R"(
    CREATE TABLE singers(
        id INTEGER PRIMARY KEY,
        name TEXT NOT NULL UNIQUE,
        position INTEGER NOT NULL,
        away INTEGER NOT NULL DEFAULT 0,
        joined_round INTEGER NOT NULL,
        last_round INTEGER NOT NULL DEFAULT -1);
    CREATE TABLE singer_songs(
        id INTEGER PRIMARY KEY,
        singer_id INTEGER NOT NULL REFERENCES singers(id) ON DELETE CASCADE,
        position INTEGER NOT NULL,
        path BLOB NOT NULL,
        artist TEXT NOT NULL,
        title TEXT NOT NULL,
        key INTEGER,
        tempo INTEGER);
    CREATE INDEX singer_songs_by_singer ON singer_songs(singer_id, position);
    CREATE TABLE rotation(name TEXT PRIMARY KEY, value INTEGER NOT NULL);
    CREATE TABLE key_memory(
        singer TEXT NOT NULL,
        path BLOB NOT NULL,
        key INTEGER NOT NULL,
        tempo INTEGER NOT NULL,
        PRIMARY KEY(singer, path));
    CREATE TABLE history(
        id INTEGER PRIMARY KEY,
        singer TEXT NOT NULL,
        path BLOB NOT NULL,
        artist TEXT NOT NULL,
        title TEXT NOT NULL,
        started_at INTEGER NOT NULL,
        key INTEGER NOT NULL,
        tempo INTEGER NOT NULL,
        ended TEXT NOT NULL);
    CREATE INDEX history_by_time ON history(started_at);
    CREATE INDEX history_by_singer ON history(singer, started_at);
    CREATE TABLE loudness(
        path BLOB PRIMARY KEY,
        size INTEGER NOT NULL,
        mtime_ns INTEGER NOT NULL,
        integrated_lufs REAL,
        true_peak_dbtp REAL,
        failed INTEGER NOT NULL DEFAULT 0);
    )",
    // 3 -> 4: the singers' requests from their phones, waiting for the host: who
    // asked (the name as typed, checked), for which library song (by id; a song
    // gone from the library takes its requests with it), the phone that asked (its
    // random token, so that only it may withdraw) and when (seconds since the epoch).
    // A file whose version was set back by hand may hold the table already.
    R"(
    CREATE TABLE IF NOT EXISTS requests(
        id INTEGER PRIMARY KEY,
        singer TEXT NOT NULL,
        song_id INTEGER NOT NULL REFERENCES songs(id) ON DELETE CASCADE,
        client TEXT NOT NULL,
        requested_at INTEGER NOT NULL);
    CREATE INDEX IF NOT EXISTS requests_by_client ON requests(client);
    )",
};
static_assert(std::size(kMigrations) == LibraryIndex::kSchemaVersion);

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

constexpr const char* kProgram = "Lyrvox " LYRVOX_VERSION;

std::string shown(const std::string& path) {
    return escapeForTerminal(path);
}

void removeWithJournals(const std::string& path) {
    for (const char* end : {"", "-wal", "-shm", "-journal"}) ::unlink((path + end).c_str());
}

// Keeps the file (and its write-ahead log) as the first free PATH.broken-N; returns
// the new name, or "" with errno set when it could not be moved. A link then an
// unlink, so that a name another program has just taken is never replaced.
std::string moveAside(const std::string& path) {
    for (int n = 1; n < 1000; ++n) {
        const std::string target = path + ".broken-" + std::to_string(n);
        if (::link(path.c_str(), target.c_str()) != 0) {
            if (errno == EEXIST) continue;
            // A file system without hard links: a rename to a name checked free.
            if (exists(target)) continue;
            if (std::rename(path.c_str(), target.c_str()) != 0) return {};
        } else if (::unlink(path.c_str()) != 0) {
            ::unlink(target.c_str());
            return {};
        }
        std::rename((path + "-wal").c_str(), (target + "-wal").c_str());
        std::remove((path + "-shm").c_str());
        return target;
    }
    errno = EEXIST;
    return {};
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// What a failure means to the user; SQLite's own words only where they are ours
// (a trigger's message) or no plainer ones exist.
std::string describe(int code, sqlite3* db) {
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "another program is using the library";
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return "the library file is damaged";
        case SQLITE_FULL:
            return "the disk is full";
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return "the library file cannot be written";
        case SQLITE_CANTOPEN:
            return "the library file cannot be opened";
        case SQLITE_IOERR:
            return "the library file cannot be read or written";
        case SQLITE_NOMEM:
            return "out of memory";
        case SQLITE_CONSTRAINT:
            if (code == SQLITE_CONSTRAINT_TRIGGER && db) return sqlite3_errmsg(db);
            return "the library refused a change";
        default:
            return sqlite3_errstr(code);
    }
}

LibrarySong songFrom(Statement& row) {
    LibrarySong song;
    song.id = row.integer(0);
    song.path = row.bytes(1);
    song.artist = row.bytes(2);
    song.title = row.bytes(3);
    song.discId = row.bytes(4);
    song.durationMs = row.integer(5);
    song.format = row.bytes(6);
    song.available = row.integer(7) != 0;
    return song;
}

bool isWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
           (byte >= 'A' && byte <= 'Z');
}

}  // namespace

std::string ftsQueryFor(const std::string& text) {
    const auto quoted = [](const std::string& word) {
        std::string phrase = "\"";
        for (char c : word) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
        return phrase + "\"*";
    };
    const auto hasWordByte = [](const std::string& word) {
        return std::any_of(word.begin(), word.end(), isWordByte);
    };
    std::string query;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        const std::string word = validUtf8(std::string_view(text).substr(start, i - start));
        const std::string folded = foldPunctuation(word);
        // Only separators ("-", "&"): FTS5 would find nothing to match.
        std::string bare = word;
        std::erase(bare, '&');
        if (!hasWordByte(foldPunctuation(bare))) continue;
        std::string term = quoted(word);
        if (folded != word) term = "(" + term + " OR " + quoted(folded) + ")";
        query += (query.empty() ? "" : " AND ") + term;
    }
    return query;
}

LibraryIndex::LibraryIndex(std::string path, Recovery recovery)
    : LibraryIndex(std::move(path), Options{recovery, kBusyWaitMs, {}}) {}

LibraryIndex::LibraryIndex(std::string path, Options options)
    : path_(std::move(path)), options_(std::move(options)) {
    start();
}

void LibraryIndex::start() {
    const std::string where = "The song library " + shown(path_);
    if (path_.empty()) return refuse(State::NotAFile, "No file was named for the song library.");
    struct stat info;
    if (::stat(path_.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            return refuse(State::NotAFile, shown(path_) + " is " + kindOf(info.st_mode) +
                                               ", not a song library file; it was left as it is.");
        }
    } else if (errno == ENOENT && ::lstat(path_.c_str(), &info) == 0) {
        return refuse(State::NotAFile, shown(path_) +
                                           " is a link to nothing, not a song library "
                                           "file; it was left as it is.");
    } else if (errno == ENOENT && !create()) {
        return refuse(State::Failed, "The song library cannot be made at " + shown(path_) + " (" +
                                         error_ + "); the library is off for this run.");
    }
    if (open()) {
        state_ = State::Open;
        return;
    }
    if (state_ == State::Newer) return refuse(State::Newer, notice_);
    const int failure = db_.lastFailure() & 0xFF;
    if (failure == SQLITE_BUSY || failure == SQLITE_LOCKED) {
        return refuse(State::InUse, where +
                                        " is in use by another program. The library is off for "
                                        "this run; the file was left as it is.");
    }
    if (failure == SQLITE_CORRUPT || failure == SQLITE_NOTADB) {
        if (options_.recovery == Recovery::MoveAside) {
            rebuild();
            return;
        }
        return refuse(State::Damaged, where + " is damaged; the library is off for this run.");
    }
    refuse(State::Failed,
           where + " cannot be opened (" + error_ + "); the library is off for this run.");
}

bool LibraryIndex::reopen() {
    closeDb();
    state_ = State::Failed;
    notice_.clear();
    error_.clear();
    needsRescan_ = false;
    start();
    return isOpen();
}

LibraryIndex::~LibraryIndex() {
    closeDb();
}

void LibraryIndex::closeDb() {
    db_.close();
}

void LibraryIndex::refuse(State state, std::string notice) {
    closeDb();
    state_ = state;
    notice_ = std::move(notice);
    if (error_.empty()) error_ = notice_;
}

bool LibraryIndex::fail(const std::string& what) {
    int code = db_ ? sqlite3_extended_errcode(db_) : SQLITE_OK;
    if (code == SQLITE_OK) code = db_.lastFailure();
    if (what.empty()) {
        error_ = describe(code == SQLITE_OK ? SQLITE_ERROR : code, db_);
    } else {
        error_ = code == SQLITE_OK ? what : what + ": " + describe(code, db_);
    }
    return false;
}

bool LibraryIndex::execute(const char* sql) {
    if (db_.exec(sql)) return true;
    return fail("");
}

bool LibraryIndex::create() {
    static std::atomic<int> made{0};
    const std::string temp =
        path_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
    removeWithJournals(temp);
    bool ok = db_.note(sqlite3_open_v2(temp.c_str(), db_.slot(),
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)) ==
                  SQLITE_OK ||
              fail("");
    ok = ok && prepareSchema();
    closeDb();  // the write-ahead log goes into the file
    if (ok && ::link(temp.c_str(), path_.c_str()) != 0 && errno != EEXIST) {
        // Another program's library made meanwhile is kept (EEXIST); a file system
        // without hard links gets the rename, checked first.
        const int linkError = errno;
        if (exists(path_) || std::rename(temp.c_str(), path_.c_str()) != 0) {
            error_ = std::strerror(linkError);
            ok = false;
        }
    }
    removeWithJournals(temp);
    return ok;
}

bool LibraryIndex::open() {
    error_.clear();
    closeDb();
    if (db_.note(sqlite3_open_v2(path_.c_str(), db_.slot(), SQLITE_OPEN_READWRITE, nullptr)) !=
        SQLITE_OK) {
        return fail("");
    }
    return prepareSchema();
}

namespace {

// The schema version, or -1 when it cannot be read.
std::int64_t userVersion(Connection& db) {
    Statement version(db, "PRAGMA user_version");
    return version.step() == SQLITE_ROW ? version.integer(0) : -1;
}

}  // namespace

bool LibraryIndex::prepareSchema() {
    sqlite3_extended_result_codes(db_, 1);
    db_.setBusyWait(options_.busyWaitMs, options_.waiting);
    // The version first: a newer program's file is read, never changed.
    std::int64_t version = userVersion(db_);
    if (version < 0) return fail("");
    const auto newer = [&] {
        Statement writer(db_, "SELECT value FROM about WHERE key = 'written_by'");
        const std::string who = writer.step() == SQLITE_ROW ? writer.bytes(0) : "a newer Lyrvox";
        state_ = State::Newer;
        notice_ = "The song library " + shown(path_) + " was written by " + who +
                  " (library version " + std::to_string(version) + "); this " + kProgram +
                  " reads up to version " + std::to_string(kSchemaVersion) +
                  ". The file was left as it is; the library is off for this run.";
        error_ = "written by " + who;
        return false;
    };
    if (version > kSchemaVersion) return newer();
    if (!execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON"))
        return false;
    if (version < kSchemaVersion) {
        Transaction change(db_);
        if (!change.began()) return fail("cannot update the library");
        version = userVersion(db_);  // another program may have done it meanwhile
        if (version < 0) return fail("cannot read the library");
        if (version > kSchemaVersion) return newer();
        for (std::int64_t v = version; v < kSchemaVersion; ++v)
            if (!execute(kMigrations[v])) return false;
        const std::string bump = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
        Statement writer(db_, "INSERT OR REPLACE INTO about(key, value) VALUES ('written_by', ?)");
        if (!execute(bump.c_str()) || !writer.bindText(1, kProgram).run() || !change.commit())
            return fail("cannot update the library");
    }
    // Reads every small table once: a damaged schema or page there shows here.
    Statement check(db_,
                    "SELECT (SELECT count(*) FROM folders) + (SELECT count(*) FROM queue) + "
                    "(SELECT count(*) FROM song_search WHERE song_search MATCH 'x*')");
    if (check.step() != SQLITE_ROW) return fail("cannot read the library");
    return true;
}

bool LibraryIndex::rebuild() {
    // What can still be read, row by row up to the damage.
    const std::vector<LibraryFolder> kept = db_ ? folders() : std::vector<LibraryFolder>{};
    const std::vector<QueueEntry> queue = db_ ? loadQueue() : std::vector<QueueEntry>{};
    closeDb();
    const std::string where = "The song library " + shown(path_);
    const std::string aside = moveAside(path_);
    if (aside.empty()) {
        refuse(State::Damaged, where + " is damaged and cannot be moved aside (" +
                                   std::strerror(errno) + "); the library is off for this run.");
        return false;
    }
    if (!create() || !open()) {
        refuse(State::Failed, where + " was damaged and cannot be made again (" + error_ +
                                  "); the library is off for this run.");
        return false;
    }
    Transaction restore(db_);
    Statement folder(db_, "INSERT INTO folders(path, name_order, available) VALUES (?, ?, ?)");
    bool ok = restore.began();
    for (const LibraryFolder& f : kept) {
        ok = ok && folder.bindBlob(1, f.path)
                       .bind(2, static_cast<int>(f.order))
                       .bind(3, f.available)
                       .run();
    }
    ok = ok && restore.commit() && saveQueue(queue);
    state_ = State::Open;
    needsRescan_ = ok && !kept.empty();
    std::string text = where + " was damaged; a copy was kept as " + shown(aside) + ". ";
    if (!ok) {
        text +=
            "A fresh library was started, but what could be read of the old one could not be "
            "written into it (" +
            error_ + "): add your song folders again.";
    } else if (kept.empty()) {
        text += "Its song folders could not be read: add them again.";
    } else {
        text += "The library is being made again from its " + std::to_string(kept.size()) +
                (kept.size() == 1 ? " song folder." : " song folders.");
    }
    if (ok) {
        text += queue.empty() ? " The saved queue was empty or could not be read."
                              : " The queue (" + std::to_string(queue.size()) +
                                    (queue.size() == 1 ? " song) was kept." : " songs) was kept.");
    }
    notice_ = text;
    return true;
}

std::vector<LibraryFolder> LibraryIndex::folders() {
    std::vector<LibraryFolder> list;
    if (!db_) return list;
    Statement rows(db_, "SELECT id, path, name_order, available FROM folders ORDER BY path");
    while (rows.step() == SQLITE_ROW) {
        list.push_back({rows.integer(0), rows.bytes(1),
                        rows.integer(2) == 1 ? NameOrder::TitleArtist : NameOrder::ArtistTitle,
                        rows.integer(3) != 0});
    }
    return list;
}

std::int64_t LibraryIndex::addFolder(const std::string& rawPath, NameOrder order) {
    std::string path = rawPath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (!db_) return 0;
    Transaction add(db_);
    if (!add.began()) return fail("cannot add the folder"), 0;
    Statement removeSongs(db_, "DELETE FROM songs WHERE folder_id = ?");
    Statement removeFolder(db_, "DELETE FROM folders WHERE id = ?");
    for (const LibraryFolder& folder : folders()) {
        if (folder.path == path) return folder.id;
        if (path.starts_with(folder.path + "/")) {
            error_ = "That folder is already in the library, inside " + folder.path;
            return 0;
        }
        if (folder.path.starts_with(path + "/") &&  // taken in
            (!removeSongs.bind(1, folder.id).run() || !removeFolder.bind(1, folder.id).run())) {
            return fail("cannot add the folder"), 0;
        }
    }
    Statement insert(db_, "INSERT INTO folders(path, name_order) VALUES (?, ?)");
    if (!insert.bindBlob(1, path).bind(2, static_cast<int>(order)).run() || !add.commit())
        return fail("cannot add the folder"), 0;
    error_.clear();
    return sqlite3_last_insert_rowid(db_);
}

bool LibraryIndex::removeFolder(std::int64_t folderId) {
    if (!db_) return false;
    Transaction remove(db_);
    Statement songs(db_, "DELETE FROM songs WHERE folder_id = ?");
    Statement folder(db_, "DELETE FROM folders WHERE id = ?");
    return (remove.began() && songs.bind(1, folderId).run() && folder.bind(1, folderId).run() &&
            remove.commit()) ||
           fail("cannot remove the folder");
}

std::optional<NameOrder> NameOrders::of(const std::string& path) const {
    std::optional<NameOrder> order;
    std::size_t deepest = 0;
    for (const auto& [folder, folderOrder] : folders) {
        const bool holds = path == folder || path.starts_with(folder + "/");
        if (holds && (!order || folder.size() > deepest)) {
            order = folderOrder;
            deepest = folder.size();
        }
    }
    return order;
}

NameOrders LibraryIndex::nameOrders() {
    NameOrders orders;
    if (!db_) return orders;
    for (const LibraryFolder& folder : folders())
        orders.folders.emplace_back(folder.path, folder.order);
    Statement rows(db_, "SELECT path, name_order FROM name_orders");
    while (rows.step() == SQLITE_ROW) {
        orders.folders.emplace_back(
            rows.bytes(0), rows.integer(1) == 1 ? NameOrder::TitleArtist : NameOrder::ArtistTitle);
    }
    return orders;
}

bool LibraryIndex::setFolderOrder(std::int64_t folderId, NameOrder order) {
    for (const LibraryFolder& folder : folders())
        if (folder.id == folderId) return setNameOrder(folder.path, order);
    error_ = "That folder is not in the library";
    return false;
}

bool LibraryIndex::setNameOrder(const std::string& rawPath, NameOrder order) {
    if (!db_) return false;
    std::string path = rawPath;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::vector<LibraryFolder> libraryFolders = folders();
    const auto folder = std::find_if(
        libraryFolders.begin(), libraryFolders.end(),
        [&](const LibraryFolder& f) { return path == f.path || path.starts_with(f.path + "/"); });
    if (folder == libraryFolders.end()) {
        error_ = "That folder is not in the library";
        return false;
    }
    // The orders as they will be, to read the names below again with.
    NameOrders orders = nameOrders();
    std::erase_if(orders.folders, [&](const auto& rule) { return rule.first == path; });
    orders.folders.emplace_back(path, order);
    Transaction change(db_);
    bool ok = change.began();
    if (path == folder->path) {
        Statement update(db_, "UPDATE folders SET name_order = ? WHERE id = ?");
        ok = update.bind(1, static_cast<int>(order)).bind(2, folder->id).run();
    } else {
        Statement upsert(db_, "INSERT OR REPLACE INTO name_orders(path, name_order) VALUES (?, ?)");
        ok = upsert.bindBlob(1, path).bind(2, static_cast<int>(order)).run();
    }
    // Every path below the folder lies between "FOLDER/" and "FOLDER0" ('0' follows '/').
    std::vector<LibrarySong> renamed;
    Statement rows(
        db_, "SELECT id, path, artist, title, disc_id FROM songs WHERE path >= ? AND path < ?");
    rows.bindBlob(1, path + "/").bindBlob(2, path + "0");
    int step = SQLITE_DONE;
    while (ok && (step = rows.step()) == SQLITE_ROW) {
        LibrarySong song;
        song.id = rows.integer(0);
        song.path = rows.bytes(1);
        const SongName name = parseSongName(stripExtension(fileNameOf(song.path)),
                                            orders.of(song.path).value_or(order));
        if (name.artist == rows.bytes(2) && name.title == rows.bytes(3) &&
            name.discId == rows.bytes(4))
            continue;
        song.artist = name.artist, song.title = name.title, song.discId = name.discId;
        renamed.push_back(std::move(song));
    }
    ok = ok && step == SQLITE_DONE;
    Statement update(db_, "UPDATE songs SET artist = ?, title = ?, disc_id = ? WHERE id = ?");
    for (const LibrarySong& song : renamed) {
        if (!ok) break;
        ok = update.bindText(1, song.artist)
                 .bindText(2, song.title)
                 .bindText(3, song.discId)
                 .bind(4, song.id)
                 .run();
    }
    if (!ok || !change.commit()) return fail("cannot change the name order");
    error_.clear();
    return true;
}

bool LibraryIndex::setFolderAvailable(std::int64_t folderId, bool available) {
    if (!db_) return false;
    Transaction change(db_);
    Statement folder(db_, "UPDATE folders SET available = ? WHERE id = ?");
    Statement songs(db_, "UPDATE songs SET available = ? WHERE folder_id = ? AND available != ?");
    return (change.began() && folder.bind(1, available).bind(2, folderId).run() &&
            songs.bind(1, available).bind(2, folderId).bind(3, available).run() &&
            change.commit()) ||
           fail("cannot mark the folder");
}

std::unordered_map<std::string, LibrarySong> LibraryIndex::songsIn(const std::string& folderPath) {
    std::unordered_map<std::string, LibrarySong> known;
    if (!db_) return known;
    // Every path below the folder lies between "FOLDER/" and "FOLDER0" ('0' follows '/').
    Statement rows(db_,
                   "SELECT id, path, size, mtime_ns, partner, available FROM songs "
                   "WHERE path >= ? AND path < ?");
    rows.bindBlob(1, folderPath + "/").bindBlob(2, folderPath + "0");
    while (rows.step() == SQLITE_ROW) {
        LibrarySong song;
        song.id = rows.integer(0);
        song.path = rows.bytes(1);
        song.size = rows.integer(2);
        song.mtimeNs = rows.integer(3);
        song.partner = rows.bytes(4);
        song.available = rows.integer(5) != 0;
        known.emplace(song.path, std::move(song));
    }
    return known;
}

bool LibraryIndex::writeBatch(std::int64_t folderId, const std::vector<LibrarySong>& songs,
                              const std::vector<std::int64_t>& removedIds) {
    if (!db_) return false;
    Transaction batch(db_);
    if (!batch.began()) return fail("cannot write the library");
    Statement insert(db_,
                     "INSERT INTO songs(folder_id, path, size, mtime_ns, partner, artist, title, "
                     "disc_id, duration_ms, format, available) "
                     "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1)");
    Statement update(db_,
                     "UPDATE songs SET folder_id = ?, path = ?, size = ?, mtime_ns = ?, "
                     "partner = ?, artist = ?, title = ?, disc_id = ?, duration_ms = ?, "
                     "format = ?, available = 1 WHERE id = ?");
    Statement remove(db_, "DELETE FROM songs WHERE id = ?");
    bool ok = insert.ok() && update.ok() && remove.ok();
    for (const LibrarySong& song : songs) {
        if (!ok) break;
        Statement& target = song.id == 0 ? insert : update;
        target.bindAll(folderId, Blob{song.path}, song.size, song.mtimeNs, Blob{song.partner},
                       song.artist, song.title, song.discId, song.durationMs, song.format);
        if (song.id != 0) target.bind(11, song.id);
        ok = target.run();
    }
    for (std::int64_t id : removedIds) {
        if (!ok) break;
        ok = remove.bind(1, id).run();
    }
    return (ok && batch.commit()) || fail("cannot write the library");
}

SearchResult LibraryIndex::search(const std::string& text, int limit) {
    SearchResult result;
    if (!db_) return result;
    const std::string query = ftsQueryFor(text);
    const char* columns =
        "SELECT s.id, s.path, s.artist, s.title, s.disc_id, s.duration_ms, s.format, "
        "s.available FROM ";
    std::string sql;
    if (query.empty()) {
        result.total = songCount();
        sql = std::string(columns) + "songs s ORDER BY s.artist, s.title LIMIT ?2";
    } else {
        Statement count(db_, "SELECT count(*) FROM song_search WHERE song_search MATCH ?");
        if (count.bindText(1, query).step() != SQLITE_ROW) return fail("cannot search"), result;
        result.total = count.integer(0);
        // Artist and title weigh more than the disc id; fewer, shorter fields that
        // hold the words come first. The folded names weigh less than the names,
        // as a name with punctuation holds most of its words twice ("Don't Stop"
        // should not outrank "Stop" for "stop"), but enough that a word found only
        // folded ("rem" in "R.E.M.") is not left behind a longer name's prefix
        // ("The Rembrandts").
        sql = std::string(columns) +
              "song_search JOIN songs s ON s.id = song_search.rowid WHERE song_search MATCH ?1 " +
              (result.total <= kMostRanked
                   ? "ORDER BY bm25(song_search, 4.0, 4.0, 1.0, 2.5, 2.5), s.artist, s.title "
                   : "") +
              "LIMIT ?2";
    }
    Statement rows(db_, sql.c_str());
    if (!query.empty()) rows.bindText(1, query);
    rows.bind(2, limit);
    while (rows.step() == SQLITE_ROW) result.songs.push_back(songFrom(rows));
    error_.clear();
    return result;
}

std::int64_t LibraryIndex::songCount() {
    if (!db_) return 0;
    Statement count(db_, "SELECT count(*) FROM songs");
    return count.step() == SQLITE_ROW ? count.integer(0) : 0;
}

std::vector<QueueEntry> LibraryIndex::loadQueue() {
    std::vector<QueueEntry> queue;
    if (!db_) return queue;
    Statement rows(db_, "SELECT path, artist, title FROM queue ORDER BY position");
    while (rows.step() == SQLITE_ROW)
        queue.push_back({rows.bytes(0), rows.bytes(1), rows.bytes(2)});
    return queue;
}

bool LibraryIndex::saveQueue(const std::vector<QueueEntry>& queue) {
    if (!db_) return false;
    Transaction save(db_);
    Statement clear(db_, "DELETE FROM queue");
    Statement insert(db_, "INSERT INTO queue(position, path, artist, title) VALUES (?, ?, ?, ?)");
    const bool ok = save.began() && clear.run() &&
                    runEach(insert, queue, [](Statement& s, const QueueEntry& e, std::int64_t at) {
                        s.bindAll(at, Blob{e.path}, e.artist, e.title);
                    });
    return (ok && save.commit()) || fail("cannot save the queue");
}

}  // namespace lyrvox
