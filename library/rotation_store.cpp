#include "library/rotation_store.h"

#include <cstdio>

#include "library/library_index.h"
#include "library/sql_statement.h"

namespace lyrvox {
namespace {

Statement& bindOptional(Statement& s, int at, std::optional<int> value) {
    return value ? s.bind(at, *value) : s.bindNull(at);
}

std::optional<int> optionalAt(Statement& s, int column) {
    if (s.isNull(column)) return std::nullopt;
    return static_cast<int>(s.integer(column));
}

bool setValue(Connection& db, const char* name, std::int64_t value) {
    Statement s(db, "INSERT OR REPLACE INTO rotation(name, value) VALUES (?, ?)");
    return s.bindText(1, name).bind(2, value).run();
}

std::vector<HistoryEntry> historyRows(Statement& rows) {
    std::vector<HistoryEntry> list;
    while (rows.step() == SQLITE_ROW) {
        list.push_back({rows.bytes(0), rows.bytes(1), rows.bytes(2), rows.bytes(3), rows.integer(4),
                        static_cast<int>(rows.integer(5)), static_cast<int>(rows.integer(6)),
                        rows.bytes(7)});
    }
    return list;
}

constexpr const char* kHistoryColumns =
    "SELECT singer, path, artist, title, started_at, key, tempo, ended FROM history ";

}  // namespace

bool RotationStore::isOpen() const {
    return index_.isOpen();
}

bool RotationStore::fail() {
    index_.noteFailure("cannot save the rotation");
    error_ = index_.error();
    return false;
}

bool RotationStore::load(std::vector<RotationSinger>& singers, std::int64_t& round,
                         std::int64_t& madeNext,
                         std::map<std::pair<std::string, std::string>, KeyMemory>& keys) {
    singers.clear();
    keys.clear();
    round = 0;
    madeNext = 0;
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    db.clearFailure();  // only this reading's failures count
    Statement people(db,
                     "SELECT id, name, away, joined_round, last_round FROM singers "
                     "ORDER BY position, id");
    while (people.step() == SQLITE_ROW) {
        RotationSinger s;
        s.id = people.integer(0);
        s.name = people.bytes(1);
        s.away = people.integer(2) != 0;
        s.joinedRound = people.integer(3);
        s.lastRound = people.integer(4);
        singers.push_back(std::move(s));
    }
    Statement songs(db,
                    "SELECT id, path, artist, title, key, tempo FROM singer_songs "
                    "WHERE singer_id = ? ORDER BY position, id");
    for (RotationSinger& s : singers) {
        songs.reset();
        songs.bind(1, s.id);
        while (songs.step() == SQLITE_ROW) {
            s.songs.push_back({songs.integer(0), songs.bytes(1), songs.bytes(2), songs.bytes(3),
                               optionalAt(songs, 4), optionalAt(songs, 5)});
        }
    }
    Statement values(db, "SELECT name, value FROM rotation");
    while (values.step() == SQLITE_ROW) {
        const std::string name = values.bytes(0);
        if (name == "round") round = values.integer(1);
        if (name == "made_next") madeNext = values.integer(1);
    }
    Statement memory(db, "SELECT singer, path, key, tempo FROM key_memory");
    while (memory.step() == SQLITE_ROW) {
        keys[{memory.bytes(0), memory.bytes(1)}] = {static_cast<int>(memory.integer(2)),
                                                    static_cast<int>(memory.integer(3))};
    }
    return db.lastFailure() == 0 || fail();
}

std::int64_t RotationStore::addSinger(const RotationSinger& singer, int position) {
    if (!isOpen()) return 0;
    Connection& db = index_.connection();
    Statement add(db,
                  "INSERT INTO singers(name, position, away, joined_round, last_round) "
                  "VALUES (?, ?, ?, ?, ?)");
    const bool ok = add.bindText(1, singer.name)
                        .bind(2, position)
                        .bind(3, singer.away)
                        .bind(4, singer.joinedRound)
                        .bind(5, singer.lastRound)
                        .run();
    return done(ok) ? sqlite3_last_insert_rowid(db) : 0;
}

bool RotationStore::renameSinger(std::int64_t id, const std::string& oldName,
                                 const std::string& newName) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement singer(db, "UPDATE singers SET name = ? WHERE id = ?");
    Statement memory(db, "UPDATE OR REPLACE key_memory SET singer = ? WHERE singer = ?");
    Statement history(db, "UPDATE history SET singer = ? WHERE singer = ?");
    const bool ok = change.began() && singer.bindText(1, newName).bind(2, id).run() &&
                    memory.bindText(1, newName).bindText(2, oldName).run() &&
                    history.bindText(1, newName).bindText(2, oldName).run() && change.commit();
    return done(ok);
}

bool RotationStore::removeSinger(std::int64_t id) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement remove(db, "DELETE FROM singers WHERE id = ?");
    // A later singer may be given the same id: it must not inherit the turn.
    Statement next(db, "UPDATE rotation SET value = 0 WHERE name = 'made_next' AND value = ?");
    return done(change.began() && remove.bind(1, id).run() && next.bind(1, id).run() &&
                change.commit());
}

bool RotationStore::saveOrder(const std::vector<RotationSinger>& order) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement place(db, "UPDATE singers SET position = ? WHERE id = ?");
    bool ok = change.began();
    for (std::size_t i = 0; ok && i < order.size(); ++i)
        ok = place.bind(1, static_cast<std::int64_t>(i)).bind(2, order[i].id).run();
    return done(ok && change.commit());
}

bool RotationStore::setAway(std::int64_t id, bool away) {
    if (!isOpen()) return true;
    Statement set(index_.connection(), "UPDATE singers SET away = ? WHERE id = ?");
    return done(set.bind(1, away).bind(2, id).run());
}

bool RotationStore::setMadeNext(std::int64_t singerId) {
    if (!isOpen()) return true;
    return done(setValue(index_.connection(), "made_next", singerId));
}

std::int64_t RotationStore::addSong(std::int64_t singerId, const RotationSong& song,
                                    const std::vector<RotationSong>& songs,
                                    const RoundsBack* back) {
    if (!isOpen()) return 0;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement add(db,
                  "INSERT INTO singer_songs(singer_id, position, path, artist, title, key, tempo) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?)");
    Statement place(db, "UPDATE singer_songs SET position = ? WHERE id = ?");
    add.bind(1, singerId).bindBlob(3, song.path).bindText(4, song.artist).bindText(5, song.title);
    bindOptional(add, 6, song.key);
    bindOptional(add, 7, song.tempo);
    std::int64_t position = 0;
    bool ok = change.began();
    std::int64_t id = 0;
    // The new song is the one without an id yet.
    for (const RotationSong& s : songs) {
        if (!ok) break;
        if (s.id == 0) {
            ok = add.bind(2, position++).run();
            id = sqlite3_last_insert_rowid(db);
        } else {
            ok = place.bind(1, position++).bind(2, s.id).run();
        }
    }
    if (ok && back) {
        Statement singer(db, "UPDATE singers SET last_round = ? WHERE id = ?");
        ok = singer.bind(1, back->lastRound).bind(2, singerId).run() &&
             setValue(db, "round", back->round) && setValue(db, "made_next", singerId);
    }
    return done(ok && change.commit()) ? id : 0;
}

bool RotationStore::removeSong(std::int64_t songId) {
    if (!isOpen()) return true;
    Statement remove(index_.connection(), "DELETE FROM singer_songs WHERE id = ?");
    return done(remove.bind(1, songId).run());
}

bool RotationStore::setSongKey(std::int64_t songId, std::optional<int> key,
                               std::optional<int> tempo) {
    if (!isOpen()) return true;
    Statement set(index_.connection(), "UPDATE singer_songs SET key = ?, tempo = ? WHERE id = ?");
    bindOptional(set, 1, key);
    bindOptional(set, 2, tempo);
    return done(set.bind(3, songId).run());
}

bool RotationStore::takeTurn(std::int64_t singerId, std::int64_t songId, std::int64_t round,
                             std::int64_t madeNext) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement song(db, "DELETE FROM singer_songs WHERE id = ?");
    Statement singer(db, "UPDATE singers SET last_round = ? WHERE id = ?");
    const bool ok = change.began() && song.bind(1, songId).run() &&
                    singer.bind(1, round).bind(2, singerId).run() && setValue(db, "round", round) &&
                    setValue(db, "made_next", madeNext) && change.commit();
    return done(ok);
}

bool RotationStore::played(const HistoryEntry& e) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement history(db,
                      "INSERT INTO history(singer, path, artist, title, started_at, key, tempo, "
                      "ended) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    Statement memory(db,
                     "INSERT OR REPLACE INTO key_memory(singer, path, key, tempo) "
                     "VALUES (?, ?, ?, ?)");
    const bool ok =
        change.began() &&
        history.bindText(1, e.singer)
            .bindBlob(2, e.path)
            .bindText(3, e.artist)
            .bindText(4, e.title)
            .bind(5, e.startedAt)
            .bind(6, e.key)
            .bind(7, e.tempo)
            .bindText(8, e.ended)
            .run() &&
        (e.singer.empty() ||
         memory.bindText(1, e.singer).bindBlob(2, e.path).bind(3, e.key).bind(4, e.tempo).run()) &&
        change.commit();
    return done(ok);
}

std::vector<HistoryEntry> RotationStore::historySince(std::int64_t startedAtOrAfter) {
    if (!isOpen()) return {};
    Statement rows(
        index_.connection(),
        (std::string(kHistoryColumns) + "WHERE started_at >= ? ORDER BY started_at, id").c_str());
    rows.bind(1, startedAtOrAfter);
    return historyRows(rows);
}

std::vector<HistoryEntry> RotationStore::historyOf(const std::string& singer) {
    if (!isOpen()) return {};
    Statement rows(
        index_.connection(),
        (std::string(kHistoryColumns) + "WHERE singer = ? ORDER BY started_at, id").c_str());
    rows.bindText(1, singer);
    return historyRows(rows);
}

std::optional<std::pair<std::string, std::string>> RotationStore::librarySong(
    const std::string& path) {
    if (!isOpen()) return std::nullopt;
    Statement row(index_.connection(), "SELECT artist, title FROM songs WHERE path = ?");
    row.bindBlob(1, path);
    if (row.step() != SQLITE_ROW) return std::nullopt;
    return std::make_pair(row.bytes(0), row.bytes(1));
}

namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// "2026-12-07T21:05:00Z": readable, sorted as text, and the same in every time zone.
std::string utcTime(std::int64_t seconds) {
    const auto days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t inDay = seconds - days * 86400;
    // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(inDay / 3600),
                  static_cast<long long>(inDay / 60 % 60), static_cast<long long>(inDay % 60));
    return text;
}

}  // namespace

std::string historyCsv(const std::vector<HistoryEntry>& entries) {
    std::string csv = "started,singer,artist,title,key,tempo,ended,path\r\n";
    for (const HistoryEntry& e : entries) {
        csv += utcTime(e.startedAt) + "," + csvField(e.singer) + "," + csvField(e.artist) + "," +
               csvField(e.title) + "," + std::to_string(e.key) + "," + std::to_string(e.tempo) +
               "," + csvField(e.ended) + "," + csvField(e.path) + "\r\n";
    }
    return csv;
}

}  // namespace lyrvox
