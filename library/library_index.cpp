#include "library/library_index.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "library/search_text.h"
#include "util/text_helpers.h"

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
    // 1 -> 2: names found without their punctuation, and name orders for folders
    // inside a library folder. `folded_artist` and `folded_title` are the names
    // without the joining marks of search_text.h and with "&" as "and"; NULL when
    // that changes nothing, so that only names with such marks are indexed twice.
    // The search table and its triggers are made again with the new columns, then
    // filled from the songs. Beginnings of up to six letters get an index of their
    // own: a typed word that begins several indexed words ("love" of "love" and
    // "loves") is then one lookup, not a merge of every such word's songs.
    R"(
    DROP TRIGGER IF EXISTS songs_added;
    DROP TRIGGER IF EXISTS songs_removed;
    DROP TRIGGER IF EXISTS songs_renamed;
    DROP TABLE IF EXISTS song_search;
    ALTER TABLE songs ADD COLUMN folded_artist TEXT GENERATED ALWAYS AS (nullif(
        replace(replace(replace(replace(replace(replace(replace(replace(replace(replace(
            artist, '&', ' and '), '''', ''), '’', ''), '‘', ''), '`', ''), '´', ''),
            '.', ''), '-', ''), '‐', ''), '/', ''),
        artist)) VIRTUAL;
    ALTER TABLE songs ADD COLUMN folded_title TEXT GENERATED ALWAYS AS (nullif(
        replace(replace(replace(replace(replace(replace(replace(replace(replace(replace(
            title, '&', ' and '), '''', ''), '’', ''), '‘', ''), '`', ''), '´', ''),
            '.', ''), '-', ''), '‐', ''), '/', ''),
        title)) VIRTUAL;
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
    INSERT INTO song_search(song_search) VALUES ('rebuild');
    CREATE TABLE name_orders(
        path BLOB PRIMARY KEY,
        name_order INTEGER NOT NULL);
    )",
};
static_assert(std::size(kMigrations) == LibraryIndex::kSchemaVersion);

// One prepared statement, finalized with its scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int at, std::int64_t value) {
        sqlite3_bind_int64(stmt_, at, value);
        return *this;
    }
    Statement& bindText(int at, const std::string& text) {
        sqlite3_bind_text(stmt_, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int at, const std::string& bytes) {
        // A zero-length blob is still a blob, not NULL.
        sqlite3_bind_blob(stmt_, at, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    bool run() {
        const int result = step();
        sqlite3_reset(stmt_);
        return result == SQLITE_DONE || result == SQLITE_ROW;
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t integer(int column) { return sqlite3_column_int64(stmt_, column); }
    std::string bytes(int column) {
        const void* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// Renames the file (and its write-ahead log) to the first free PATH.broken-N;
// returns the new name, or "" when it could not be renamed.
std::string moveAside(const std::string& path) {
    for (int n = 1; n < 1000; ++n) {
        const std::string target = path + ".broken-" + std::to_string(n);
        if (exists(target)) continue;
        if (std::rename(path.c_str(), target.c_str()) != 0) return {};
        std::rename((path + "-wal").c_str(), (target + "-wal").c_str());
        std::remove((path + "-shm").c_str());
        return target;
    }
    return {};
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

LibraryIndex::LibraryIndex(std::string path, Recovery recovery) : path_(std::move(path)) {
    if (open(recovery)) return;
    const std::string reason = error_;
    closeDb();
    if (recovery == Recovery::None) return;
    const std::string aside = exists(path_) ? moveAside(path_) : std::string();
    if (exists(path_) && aside.empty()) {
        notice_ = "The song library " + path_ + " cannot be used (" + reason +
                  ") nor moved aside; the library is off for this run.";
        return;
    }
    if (!open(Recovery::None)) {
        notice_ = "The song library cannot be made at " + path_ + " (" + error_ +
                  "); the library is off for this run.";
        closeDb();
        return;
    }
    if (!aside.empty()) {
        notice_ = "The song library " + path_ + " could not be read (" + reason +
                  "). It was moved aside as " + aside +
                  " and a fresh library started: add your song folders again. The saved "
                  "queue was in the old file and is empty now.";
    }
}

LibraryIndex::~LibraryIndex() {
    closeDb();
}

void LibraryIndex::closeDb() {
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool LibraryIndex::fail(const std::string& what) {
    error_ = what + (db_ ? std::string(": ") + sqlite3_errmsg(db_) : std::string());
    return false;
}

bool LibraryIndex::execute(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    return fail("the library's database failed");
}

bool LibraryIndex::open(Recovery) {
    error_.clear();
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        return fail("cannot open");
    }
    sqlite3_extended_result_codes(db_, 1);
    // Long enough to wait out another connection's batch, short enough that a file
    // held by something else is reported instead of hanging the start.
    sqlite3_busy_timeout(db_, 3000);
    return prepareSchema();
}

bool LibraryIndex::prepareSchema() {
    if (!execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON"))
        return false;
    std::int64_t current = 0;
    {
        // Finished before the migrations: a statement still running would keep
        // them from dropping a table ("database table is locked").
        Statement version(db_, "PRAGMA user_version");
        if (version.step() != SQLITE_ROW) return fail("cannot read the version");
        current = version.integer(0);
    }
    if (current > kSchemaVersion) {
        error_ = "made by a newer Lyrvox, version " + std::to_string(current);
        return false;
    }
    for (std::int64_t v = current; v < kSchemaVersion; ++v) {
        if (!execute("BEGIN IMMEDIATE")) return false;
        const std::string bump = "PRAGMA user_version=" + std::to_string(v + 1);
        if (!execute(kMigrations[v]) || !execute(bump.c_str()) || !execute("COMMIT")) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    // Reads every table once: a damaged schema or page shows here, not later.
    Statement check(db_,
                    "SELECT (SELECT count(*) FROM folders) + (SELECT count(*) FROM queue) + "
                    "(SELECT count(*) FROM song_search WHERE song_search MATCH 'x*')");
    if (check.step() != SQLITE_ROW) return fail("damaged");
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
    for (const LibraryFolder& folder : folders()) {
        if (folder.path == path) return folder.id;
        if (path.starts_with(folder.path + "/")) {
            error_ = "That folder is already in the library, inside " + folder.path;
            return 0;
        }
        if (folder.path.starts_with(path + "/")) removeFolder(folder.id);  // taken in
    }
    Statement insert(db_, "INSERT INTO folders(path, name_order) VALUES (?, ?)");
    if (!insert.bindBlob(1, path).bind(2, static_cast<int>(order)).run())
        return fail("cannot add the folder"), 0;
    error_.clear();
    return sqlite3_last_insert_rowid(db_);
}

bool LibraryIndex::removeFolder(std::int64_t folderId) {
    if (!db_ || !execute("BEGIN IMMEDIATE")) return false;
    Statement songs(db_, "DELETE FROM songs WHERE folder_id = ?");
    Statement folder(db_, "DELETE FROM folders WHERE id = ?");
    if (!songs.bind(1, folderId).run() || !folder.bind(1, folderId).run()) {
        fail("cannot remove the folder");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return execute("COMMIT");
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
    if (!execute("BEGIN IMMEDIATE")) return false;
    bool ok = true;
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
    if (!ok) {
        fail("cannot change the name order");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    error_.clear();
    return execute("COMMIT");
}

bool LibraryIndex::setFolderAvailable(std::int64_t folderId, bool available) {
    if (!db_) return false;
    Statement folder(db_, "UPDATE folders SET available = ? WHERE id = ?");
    Statement songs(db_, "UPDATE songs SET available = ? WHERE folder_id = ? AND available != ?");
    return (folder.bind(1, available).bind(2, folderId).run() &&
            songs.bind(1, available).bind(2, folderId).bind(3, available).run()) ||
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
    if (!db_ || !execute("BEGIN IMMEDIATE")) return false;
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
        target.bind(1, folderId)
            .bindBlob(2, song.path)
            .bind(3, song.size)
            .bind(4, song.mtimeNs)
            .bindBlob(5, song.partner)
            .bindText(6, song.artist)
            .bindText(7, song.title)
            .bindText(8, song.discId)
            .bind(9, song.durationMs)
            .bindText(10, song.format);
        if (song.id != 0) target.bind(11, song.id);
        ok = target.run();
    }
    for (std::int64_t id : removedIds) {
        if (!ok) break;
        ok = remove.bind(1, id).run();
    }
    if (!ok) {
        fail("cannot write the library");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return execute("COMMIT");
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
    if (!db_ || !execute("BEGIN IMMEDIATE")) return false;
    Statement clear(db_, "DELETE FROM queue");
    Statement insert(db_, "INSERT INTO queue(position, path, artist, title) VALUES (?, ?, ?, ?)");
    bool ok = clear.run();
    std::int64_t position = 0;
    for (const QueueEntry& entry : queue) {
        if (!ok) break;
        ok = insert.bind(1, position++)
                 .bindBlob(2, entry.path)
                 .bindText(3, entry.artist)
                 .bindText(4, entry.title)
                 .run();
    }
    if (!ok) {
        fail("cannot save the queue");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return execute("COMMIT");
}

}  // namespace lyrvox
