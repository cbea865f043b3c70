#pragma once
// The song library's layout as the first Lyrvox with a library wrote it (schema
// version 1), kept here as it was so that the migration tests start from a real
// old file, whatever the program's own steps become.
namespace lyrvox::testing {

inline constexpr char kLibraryVersionOneSchema[] = R"(
    CREATE TABLE folders(id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE,
        name_order INTEGER NOT NULL DEFAULT 0, available INTEGER NOT NULL DEFAULT 1);
    CREATE TABLE songs(id INTEGER PRIMARY KEY, folder_id INTEGER NOT NULL,
        path BLOB NOT NULL UNIQUE, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL,
        partner BLOB NOT NULL, artist TEXT NOT NULL, title TEXT NOT NULL,
        disc_id TEXT NOT NULL, duration_ms INTEGER NOT NULL, format TEXT NOT NULL,
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
    CREATE TABLE queue(position INTEGER PRIMARY KEY, path BLOB NOT NULL,
        artist TEXT NOT NULL, title TEXT NOT NULL);
    PRAGMA user_version=1;
)";

}  // namespace lyrvox::testing
