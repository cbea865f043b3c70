#include "library/library_schema.h"

#include <sqlite3.h>

#include <iterator>

#include "library/library_file.h"
#include "library/sql_statement.h"

#ifndef LYRVOX_VERSION
#define LYRVOX_VERSION "unknown"
#endif

namespace lyrvox {
namespace {

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
static_assert(std::size(kMigrations) == LibrarySchema::kVersion);

// The schema version, or -1 when it cannot be read.
std::int64_t userVersion(Connection& db) {
    Statement version(db, "PRAGMA user_version");
    return version.step() == SQLITE_ROW ? version.integer(0) : -1;
}

}  // namespace

const char* LibrarySchema::program() {
    return "Lyrvox " LYRVOX_VERSION;
}

LibrarySchema::Result LibrarySchema::prepare(Connection& db) {
    Result result;
    // The failure's text is taken at once, before a rollback can clear its code.
    const auto fail = [&](const std::string& what) {
        result.outcome = Outcome::Failed;
        result.error = LibraryFile::failureText(db, what);
        return result;
    };
    const auto newer = [&] {
        Statement writer(db, "SELECT value FROM about WHERE key = 'written_by'");
        result.outcome = Outcome::Newer;
        result.writtenBy = writer.step() == SQLITE_ROW ? writer.bytes(0) : "a newer Lyrvox";
        return result;
    };
    sqlite3_extended_result_codes(db, 1);
    // The version first: a newer program's file is read, never changed.
    result.version = userVersion(db);
    if (result.version < 0) return fail("");
    if (result.version > kVersion) return newer();
    if (!db.exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON"))
        return fail("");
    if (result.version < kVersion) {
        Transaction change(db);
        if (!change.began()) return fail("cannot update the library");
        result.version = userVersion(db);  // another program may have done it meanwhile
        if (result.version < 0) return fail("cannot read the library");
        if (result.version > kVersion) return newer();
        for (std::int64_t v = result.version; v < kVersion; ++v)
            if (!db.exec(kMigrations[v])) return fail("");
        const std::string bump = "PRAGMA user_version=" + std::to_string(kVersion);
        Statement writer(db, "INSERT OR REPLACE INTO about(key, value) VALUES ('written_by', ?)");
        if (!db.exec(bump.c_str()) || !writer.bindText(1, program()).run() || !change.commit())
            return fail("cannot update the library");
    }
    Statement check(db,
                    "SELECT (SELECT count(*) FROM folders) + (SELECT count(*) FROM queue) + "
                    "(SELECT count(*) FROM song_search WHERE song_search MATCH 'x*')");
    if (check.step() != SQLITE_ROW) return fail("cannot read the library");
    result.outcome = Outcome::Ready;
    return result;
}

}  // namespace lyrvox
