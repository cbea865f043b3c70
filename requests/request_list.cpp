#include "requests/request_list.h"

#include <algorithm>
#include <cctype>

#include "library/library_index.h"
#include "library/singer_rotation.h"
#include "library/sql_statement.h"

namespace lyrvox {
namespace {

constexpr const char* kColumns =
    "SELECT r.id, r.singer, r.song_id, r.client, r.requested_at, s.artist, s.title, "
    "s.duration_ms FROM requests r JOIN songs s ON s.id = r.song_id ";

SongRequest rowOf(Statement& s) {
    return {s.integer(0), s.bytes(1), s.integer(2), s.bytes(3),
            s.integer(4), s.bytes(5), s.bytes(6),   s.integer(7)};
}

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

RequestList::Outcome RequestList::failed(const std::string& what) {
    if (index_.isOpen()) {
        index_.noteFailure(what);
        error_ = index_.error();
    } else {
        error_ = what + ": the library is not open";
    }
    return Outcome::Failed;
}

std::vector<SongRequest> RequestList::pending() {
    std::vector<SongRequest> list;
    if (!index_.isOpen()) return list;
    Statement rows(index_.connection(), (std::string(kColumns) + "ORDER BY r.id").c_str());
    while (rows.step() == SQLITE_ROW) list.push_back(rowOf(rows));
    return list;
}

bool RequestList::find(std::int64_t id, SongRequest& request) {
    Statement row(index_.connection(), (std::string(kColumns) + "WHERE r.id = ?").c_str());
    row.bind(1, id);
    if (row.step() != SQLITE_ROW) return false;
    request = rowOf(row);
    return true;
}

RequestList::Outcome RequestList::add(const std::string& singer, std::int64_t songId,
                                      const std::string& client, std::int64_t nowSeconds,
                                      SongRequest* made) {
    error_.clear();
    if (!index_.isOpen()) return failed("cannot take the request");
    Connection& db = index_.connection();
    Statement song(db, "SELECT 1 FROM songs WHERE id = ? AND available = 1");
    if (song.bind(1, songId).step() != SQLITE_ROW) return Outcome::NoSuchSong;
    Statement counts(db, "SELECT count(*), coalesce(sum(client = ?), 0) FROM requests");
    counts.bindText(1, client);
    if (counts.step() != SQLITE_ROW) return failed("cannot take the request");
    if (counts.integer(0) >= kMaxPending || counts.integer(1) >= kMaxPerClient)
        return Outcome::TooMany;
    Statement insert(db,
                     "INSERT INTO requests(singer, song_id, client, requested_at) "
                     "VALUES (?, ?, ?, ?)");
    if (!insert.bindText(1, singer).bind(2, songId).bindText(3, client).bind(4, nowSeconds).run())
        return failed("cannot take the request");
    if (made && !find(sqlite3_last_insert_rowid(db), *made))
        return failed("cannot take the request");
    return Outcome::Done;
}

RequestList::Outcome RequestList::withdraw(std::int64_t id, const std::string& client) {
    error_.clear();
    if (!index_.isOpen()) return failed("cannot withdraw the request");
    SongRequest request;
    if (!find(id, request)) return Outcome::NoSuchRequest;
    if (request.client != client) return Outcome::NotYours;
    return decline(id);
}

RequestList::Outcome RequestList::decline(std::int64_t id) {
    error_.clear();
    if (!index_.isOpen()) return failed("cannot drop the request");
    Statement remove(index_.connection(), "DELETE FROM requests WHERE id = ?");
    if (!remove.bind(1, id).run()) return failed("cannot drop the request");
    return sqlite3_changes(index_.connection()) > 0 ? Outcome::Done : Outcome::NoSuchRequest;
}

RequestList::Outcome RequestList::approve(std::int64_t id, SingerRotation& rotation) {
    error_.clear();
    if (!index_.isOpen()) return failed("cannot approve the request");
    SongRequest request;
    if (!find(id, request)) return Outcome::NoSuchRequest;
    Statement song(index_.connection(), "SELECT path FROM songs WHERE id = ? AND available = 1");
    if (song.bind(1, request.songId).step() != SQLITE_ROW) return Outcome::NoSuchSong;
    const std::string path = song.bytes(0);

    std::string name = request.singer;
    const auto& singers = rotation.singers();
    const auto known = std::find_if(singers.begin(), singers.end(), [&](const RotationSinger& s) {
        return sameIgnoringAsciiCase(s.name, request.singer);
    });
    if (known != singers.end()) {
        name = known->name;
    } else if (!rotation.addSinger(name)) {
        error_ = rotation.error();
        return Outcome::Failed;
    }
    if (!rotation.addSong(name,
                          {0, path, request.artist, request.title, std::nullopt, std::nullopt})) {
        error_ = rotation.error();
        return Outcome::Failed;
    }
    return decline(id);
}

}  // namespace lyrvox
