#include "library/rotation_store.h"

#include <algorithm>
#include <cstdio>

#include "library/library_index.h"
#include "library/sql_statement.h"

namespace lyrvox {
namespace {

std::optional<int> optionalAt(Statement& s, int column) {
    if (s.isNull(column)) return std::nullopt;
    return static_cast<int>(s.integer(column));
}

bool setValue(Connection& db, const char* name, std::int64_t value) {
    Statement s(db, "INSERT OR REPLACE INTO rotation(name, value) VALUES (?, ?)");
    return s.bindText(1, name).bind(2, value).run();
}

// The turn playing, in the rotation's values: its song (the row in singer_songs),
// the singer's last round before it and when it began. A turn open in the file
// when it is read again was cut short by the program's end.
constexpr const char* kPlaying = "playing";
constexpr const char* kPlayingLastRound = "playing_last_round";
constexpr const char* kPlayingStarted = "playing_started";

// The singer's songs take their places in the list's order.
bool placeSongs(Connection& db, const std::vector<RotationSong>& songs) {
    Statement place(db, "UPDATE singer_songs SET position = ? WHERE id = ?");
    return runEach(place, songs, [](Statement& s, const RotationSong& song, std::int64_t at) {
        s.bindAll(at, song.id);
    });
}

// The history row and, for a singer, the key memory (inside the caller's transaction).
bool recordPlayed(Connection& db, const HistoryEntry& e) {
    Statement history(db,
                      "INSERT INTO history(singer, path, artist, title, started_at, key, tempo, "
                      "ended) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    Statement memory(db,
                     "INSERT OR REPLACE INTO key_memory(singer, path, key, tempo) "
                     "VALUES (?, ?, ?, ?)");
    return history
               .bindAll(e.singer, Blob{e.path}, e.artist, e.title, e.startedAt, e.key, e.tempo,
                        e.ended)
               .run() &&
           (e.singer.empty() || memory.bindAll(e.singer, Blob{e.path}, e.key, e.tempo).run());
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
                         std::map<std::pair<std::string, std::string>, KeyMemory>& keys,
                         std::optional<RotationTurn>& open) {
    singers.clear();
    keys.clear();
    open.reset();
    round = 0;
    madeNext = 0;
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    db.clearFailure();  // only this reading's failures count
    std::map<std::string, std::int64_t> value;
    Statement values(db, "SELECT name, value FROM rotation");
    while (values.step() == SQLITE_ROW) value[values.bytes(0)] = values.integer(1);
    round = value["round"];
    madeNext = value["made_next"];
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
            RotationSong song{songs.integer(0), songs.bytes(1),       songs.bytes(2),
                              songs.bytes(3),   optionalAt(songs, 4), optionalAt(songs, 5)};
            if (song.id != value[kPlaying]) {
                s.songs.push_back(std::move(song));
                continue;
            }
            open = RotationTurn{
                s.name, song, round, s.id, song, value[kPlayingLastRound], value[kPlayingStarted]};
        }
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
    const bool ok =
        add.bindAll(singer.name, position, singer.away, singer.joinedRound, singer.lastRound).run();
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
    const bool ok = change.began() && singer.bindAll(newName, id).run() &&
                    memory.bindAll(newName, oldName).run() &&
                    history.bindAll(newName, oldName).run() && change.commit();
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
    const bool ok = change.began() && runEach(place, order,
                                              [](Statement& s, const RotationSinger& singer,
                                                 std::int64_t at) { s.bindAll(at, singer.id); });
    return done(ok && change.commit());
}

bool RotationStore::setAway(std::int64_t id, bool away) {
    if (!isOpen()) return true;
    Statement set(index_.connection(), "UPDATE singers SET away = ? WHERE id = ?");
    return done(set.bindAll(away, id).run());
}

bool RotationStore::setMadeNext(std::int64_t singerId) {
    if (!isOpen()) return true;
    return done(setValue(index_.connection(), "made_next", singerId));
}

std::int64_t RotationStore::addSong(std::int64_t singerId, const RotationSong& song,
                                    const std::vector<RotationSong>& songs) {
    if (!isOpen()) return 0;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement add(db,
                  "INSERT INTO singer_songs(singer_id, position, path, artist, title, key, tempo) "
                  "VALUES (?, ?, ?, ?, ?, ?, ?)");
    // The new song is the one without an id yet; the others keep theirs.
    const auto at =
        std::find_if(songs.begin(), songs.end(), [](const RotationSong& s) { return s.id == 0; });
    const bool ok = change.began() && add.bindAll(singerId, at - songs.begin(), Blob{song.path},
                                                  song.artist, song.title, song.key, song.tempo)
                                          .run();
    const std::int64_t id = ok ? sqlite3_last_insert_rowid(db) : 0;
    return done(ok && placeSongs(db, songs) && change.commit()) ? id : 0;
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
    return done(set.bindAll(key, tempo, songId).run());
}

bool RotationStore::startTurn(const RotationTurn& turn, std::int64_t endedSongId) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement ended(db, "DELETE FROM singer_songs WHERE id = ?");
    Statement singer(db, "UPDATE singers SET last_round = ? WHERE id = ?");
    const bool ok = change.began() && ended.bind(1, endedSongId).run() &&
                    singer.bindAll(turn.round, turn.singerId).run() &&
                    setValue(db, "round", turn.round) && setValue(db, "made_next", 0) &&
                    setValue(db, kPlaying, turn.queued.id) &&
                    setValue(db, kPlayingLastRound, turn.lastRoundBefore) &&
                    setValue(db, kPlayingStarted, turn.startedAt) && change.commit();
    return done(ok);
}

bool RotationStore::endTurn(const RotationTurn& turn, const HistoryEntry* record,
                            const std::vector<RotationSong>* songsBack) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    Statement mark(db, "DELETE FROM rotation WHERE name LIKE 'playing%'");
    bool ok = change.began() && (!record || recordPlayed(db, *record)) && mark.run();
    if (songsBack) {
        Statement singer(db, "UPDATE singers SET last_round = ? WHERE id = ?");
        ok = ok && placeSongs(db, *songsBack) &&
             singer.bindAll(turn.lastRoundBefore, turn.singerId).run() &&
             setValue(db, "round", turn.round) && setValue(db, "made_next", turn.singerId);
    } else {
        Statement sung(db, "DELETE FROM singer_songs WHERE id = ?");
        ok = ok && sung.bind(1, turn.queued.id).run();
    }
    return done(ok && change.commit());
}

bool RotationStore::played(const HistoryEntry& e) {
    if (!isOpen()) return true;
    Connection& db = index_.connection();
    Transaction change(db);
    return done(change.began() && recordPlayed(db, e) && change.commit());
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
