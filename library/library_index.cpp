#include "library/library_index.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "library/search_text.h"
#include "library/sql_statement.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

// Searches that match more songs than this are listed in index order instead of
// by relevance: ranking tens of thousands of rows for one typed letter would cost
// more than a keystroke may.
constexpr std::int64_t kMostRanked = 500;

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

}  // namespace

LibraryIndex::LibraryIndex(std::string path, Recovery recovery)
    : LibraryIndex(std::move(path), Options{recovery, kBusyWaitMs, {}}) {}

LibraryIndex::LibraryIndex(std::string path, Options options)
    : file_(std::move(path), std::move(options)) {
    start();
}

LibraryIndex::~LibraryIndex() = default;

void LibraryIndex::start() {
    needsRescan_ = false;
    const State state = file_.open();
    error_ = file_.error();
    // Left open only to read what can be kept of it.
    if (state == State::Damaged && db_) rebuild();
}

bool LibraryIndex::reopen() {
    start();
    return isOpen();
}

bool LibraryIndex::fail(const std::string& what) {
    error_ = LibraryFile::failureText(db_, what);
    return false;
}

bool LibraryIndex::rebuild() {
    // What can still be read, row by row up to the damage.
    const std::vector<LibraryFolder> kept = db_ ? folders() : std::vector<LibraryFolder>{};
    const std::vector<QueueEntry> queue = db_ ? loadQueue() : std::vector<QueueEntry>{};
    const std::string aside = file_.remake();
    error_ = file_.error();
    if (aside.empty()) return false;
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
    needsRescan_ = ok && !kept.empty();
    std::string text = "The song library " + LibraryFile::shown(path()) +
                       " was damaged; a copy was kept as " + LibraryFile::shown(aside) + ". ";
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
    file_.opened(std::move(text));
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
