// The library's file as other programs and the disk leave it: things that are not
// a database, a file locked by another program or written by a newer one, many
// programs making it at once, damage found after the opening, scans that take
// turns, writes that land whole, and the layout of the first version brought up
// to date.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "library/library_index.h"
#include "library/library_scanner.h"
#include "support/library_v1_schema.h"
#include "support/sqlite_shell.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Another program's connection to the file.
class RawDb {
  public:
    explicit RawDb(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~RawDb() { sqlite3_close(db_); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;
    int exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    // The first column of every row, each followed by ';'.
    std::string rows(const std::string& sql) {
        std::string out;
        sqlite3_exec(
            db_, sql.c_str(),
            [](void* text, int, char** values, char**) {
                *static_cast<std::string*>(text) += std::string(values[0] ? values[0] : "") + ";";
                return 0;
            },
            &out, nullptr);
        return out;
    }

  private:
    sqlite3* db_ = nullptr;
};

std::string namesIn(const std::string& folder) {
    std::string names;
    for (const auto& [name, bytes] : testing::filesIn(folder)) names += name + ";";
    return names;
}

TEST(LibraryFile, WhatIsNotARegularFileIsRefusedAndLeftAlone) {
    TempFolder temp;
    const std::string folder = temp.path("folder");
    fs::create_directory(folder);
    ASSERT_EQ(mkfifo(temp.path("fifo").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = temp.path("socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_symlink(temp.path("nothing"), temp.path("dangling"));
    fs::create_directory_symlink(folder, temp.path("link-to-folder"));
    // A character device like /dev/null; only where this process may make one.
    const bool device = mknod(temp.path("device").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;

    // Each path and a part of its notice, in the words the player and lyrvox-cdg show.
    std::vector<std::pair<std::string, std::string>> paths{
        {"", "No file was named"},
        {folder, "is a folder, not a song library file"},
        {temp.path("fifo"), "is a pipe, not"},
        {socketPath, "is a socket, not"},
        {temp.path("dangling"), "is a link to nothing"},
        {temp.path("link-to-folder"), "is a folder, not"}};
    if (device) paths.emplace_back(temp.path("device"), "is a device, not");
    for (const auto& [path, says] : paths) {
        const auto before = fs::symlink_status(temp.path()).type();
        LibraryIndex index(path);
        EXPECT_FALSE(index.isOpen()) << path;
        EXPECT_EQ(index.state(), LibraryIndex::State::NotAFile) << path;
        EXPECT_TRUE(has(index.notice(), says)) << path << ": " << index.notice();
        EXPECT_EQ(before, fs::symlink_status(temp.path()).type());
    }
    close(sock);
    EXPECT_TRUE(fs::is_directory(folder) && fs::is_empty(folder));
    EXPECT_TRUE(fs::is_fifo(temp.path("fifo")) && fs::is_socket(socketPath));
    EXPECT_TRUE(fs::is_symlink(temp.path("dangling")) && !fs::exists(temp.path("nothing")));
    EXPECT_EQ(fs::is_character_file(temp.path("device")), device);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), device ? 6 : 5);
}

// Another program holds the file in an exclusive transaction (not in WAL mode, so
// that readers wait too): the opening waits, says so, and leaves the file alone;
// the other program's commit then goes through.
TEST(LibraryFile, AFileInUseIsWaitedForThenLeftAlone) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    ASSERT_TRUE(LibraryIndex(db).saveQueue({{"/a.cdg", "A", "One"}}));
    RawDb other(db);
    ASSERT_EQ(other.exec("PRAGMA journal_mode=DELETE"), SQLITE_OK);
    ASSERT_EQ(other.exec("BEGIN EXCLUSIVE; INSERT INTO queue VALUES (1, '/b.cdg', 'B', 'Two')"),
              SQLITE_OK);
    int waits = 0;
    LibraryIndex::Options options;
    options.busyWaitMs = 400;
    options.waiting = [&] { ++waits; };
    LibraryIndex busy(db, options);
    EXPECT_FALSE(busy.isOpen());
    EXPECT_EQ(busy.state(), LibraryIndex::State::InUse);
    EXPECT_TRUE(has(busy.notice(), "in use by another program")) << busy.notice();
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(other.exec("COMMIT"), SQLITE_OK);
    EXPECT_EQ(namesIn(temp.path()), "library.db;");
    EXPECT_EQ(LibraryIndex(db).loadQueue().size(), 2u);
}

TEST(LibraryFile, AFileOfANewerVersionIsNotOpenedAndNamesItsWriter) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    ASSERT_TRUE(LibraryIndex(db).isOpen());
    {
        RawDb newer(db);
        ASSERT_EQ(newer.exec("UPDATE about SET value = 'Lyrvox 9.1' WHERE key = 'written_by';"
                             "PRAGMA user_version=" +
                             std::to_string(LibraryIndex::kSchemaVersion + 1)),
                  SQLITE_OK);
    }
    const std::string bytes = readFile(db);
    LibraryIndex index(db);
    EXPECT_FALSE(index.isOpen());
    EXPECT_EQ(index.state(), LibraryIndex::State::Newer);
    EXPECT_TRUE(has(index.notice(), "written by Lyrvox 9.1")) << index.notice();
    EXPECT_EQ(readFile(db), bytes);
    EXPECT_EQ(namesIn(temp.path()), "library.db;");
}

// Four programs that start at once with no library: one library, that all four
// open, and nothing moved aside or left over.
TEST(LibraryFile, FourProgramsMakingTheSameLibraryEndWithOne) {
    for (int round = 0; round < 5; ++round) {
        TempFolder temp;
        const std::string db = temp.path("library.db");
        int start[2];
        ASSERT_EQ(pipe(start), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < 4; ++i) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                close(start[1]);
                char go;
                (void)!read(start[0], &go, 1);  // all start when the pipe closes
                LibraryIndex index(db);
                _exit(index.isOpen() && index.notice().empty() ? 0 : 1);
            }
            children.push_back(child);
        }
        close(start[0]);
        close(start[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        EXPECT_TRUE(LibraryIndex(db).notice().empty());
        EXPECT_EQ(namesIn(temp.path()), "library.db;") << "round " << round;
    }
}

struct DamageTest : ::testing::Test {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    const std::string songs = temp.path("songs");
    const std::vector<QueueEntry> queue{{songs + "/ABBA - Waterloo.cdg", "ABBA", "Waterloo"},
                                        {"/gone.cdg", "X", "Gone"}};
    std::atomic<bool> cancel{false};

    // A library of two songs and a queue.
    void SetUp() override {
        fs::create_directory(songs);
        writeFile(songs + "/ABBA - Waterloo.cdg", std::string(7200, '\0'));
        writeFile(songs + "/Queen - Bohemian Rhapsody.cdg", std::string(7200, '\0'));
        {
            LibraryIndex index(db);
            ASSERT_NE(index.addFolder(songs, NameOrder::ArtistTitle), 0);
            ASSERT_EQ(LibraryScanner(index).scan({}, cancel).added, 2);
            ASSERT_TRUE(index.saveQueue(queue));
        }
    }
};

// The opening reads the folders, the queue and the search index, not the songs.
TEST_F(DamageTest, FoundLaterItIsToldKeptAsideAndTheLibraryMadeAgainFromItsFolders) {
    testing::garble(db, "songs");
    const std::string garbled = readFile(db);
    LibraryIndex index(db);
    ASSERT_TRUE(index.isOpen() && index.notice().empty()) << index.notice();
    int told = 0;
    index.onDamage([&] { ++told; });
    EXPECT_TRUE(index.search("waterloo", 10).songs.empty());
    EXPECT_TRUE(index.damaged());
    EXPECT_EQ(told, 1);
    // A scan on its own connection stops with plain words, not SQLite's.
    {
        LibraryIndex own(db, LibraryIndex::Recovery::None);
        const ScanCounts counts = LibraryScanner(own).scan({}, cancel);
        EXPECT_TRUE(counts.damaged);
        EXPECT_EQ(counts.error, "the library file is damaged");
    }
    ASSERT_TRUE(index.rebuild());
    EXPECT_TRUE(has(index.notice(), "kept as " + db + ".broken-1")) << index.notice();
    EXPECT_TRUE(has(index.notice(), "from its 1 song folder")) << index.notice();
    EXPECT_TRUE(has(index.notice(), "The queue (2 songs) was kept")) << index.notice();
    EXPECT_EQ(readFile(db + ".broken-1"), garbled);
    EXPECT_FALSE(index.damaged());
    EXPECT_TRUE(index.needsRescan());
    EXPECT_EQ(index.loadQueue(), queue);
    EXPECT_EQ(LibraryScanner(index).scan({}, cancel).added, 2);
    EXPECT_EQ(index.search("waterloo", 10).songs.size(), 1u);
    EXPECT_EQ(index.folders().at(0).path, songs);
}

TEST_F(DamageTest, FoundAtTheOpeningTheReadableFoldersAreKept) {
    testing::garble(db, "queue");
    LibraryIndex untouched(db, LibraryIndex::Recovery::None);
    EXPECT_EQ(untouched.state(), LibraryIndex::State::Damaged);
    EXPECT_FALSE(fs::exists(db + ".broken-1"));
    LibraryIndex index(db);
    ASSERT_TRUE(index.isOpen());
    EXPECT_TRUE(has(index.notice(), "from its 1 song folder")) << index.notice();
    EXPECT_TRUE(has(index.notice(), "queue was empty or could not be read")) << index.notice();
    EXPECT_TRUE(fs::exists(db + ".broken-1"));
    EXPECT_TRUE(index.needsRescan());
    EXPECT_EQ(LibraryScanner(index).scan({}, cancel).added, 2);
}

// Bytes that are no database at all: moved aside whole, a new empty library made.
TEST(LibraryFile, BytesThatAreNoDatabaseAreMovedAsideWhole) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    writeFile(db, testing::randomBytes(8192));
    EXPECT_FALSE(LibraryIndex(db, LibraryIndex::Recovery::None).isOpen());
    LibraryIndex fresh(db);
    EXPECT_TRUE(fresh.isOpen() && fresh.loadQueue().empty());
    EXPECT_TRUE(has(fresh.notice(), "library.db.broken-1")) << fresh.notice();
    EXPECT_EQ(readFile(db + ".broken-1"), testing::randomBytes(8192));
}

// Two scans of one library at once (two windows, or the player and the command
// line) take turns: each finds every song, and neither fails.
TEST(LibraryScan, TwoScansAtOnceTakeTurns) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    const std::string songs = temp.path("songs");
    fs::create_directory(songs);
    constexpr int kSongs = 1500;
    for (int i = 0; i < kSongs; ++i)
        writeFile(songs + "/Artist " + std::to_string(i) + " - Title.cdg", std::string(24, '\0'));
    ASSERT_NE(LibraryIndex(db).addFolder(songs, NameOrder::ArtistTitle), 0);
    std::atomic<bool> cancel{false};
    ScanCounts counts[2];
    std::vector<std::thread> scans;
    for (ScanCounts& c : counts) {
        scans.emplace_back([&] {
            LibraryIndex own(db, LibraryIndex::Recovery::None);
            c = LibraryScanner(own).scan({}, cancel);
        });
    }
    for (std::thread& t : scans) t.join();
    for (const ScanCounts& c : counts) {
        EXPECT_EQ(c.error, "");
        EXPECT_EQ(c.songs, kSongs);
    }
    EXPECT_EQ(counts[0].added + counts[1].added, kSongs);
    EXPECT_EQ(LibraryIndex(db).songCount(), kSongs);

    // Another program's scan holds the turn: this one says it waits, and can be
    // cancelled while it does.
    const int lock = open((db + ".scan-lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    std::atomic<bool> waiting{false};
    ScanCounts waited;
    std::thread scan([&] {
        LibraryIndex own(db, LibraryIndex::Recovery::None);
        waited = LibraryScanner(own).scan({}, cancel, [&](const ScanProgress& p) {
            if (p.waiting) waiting = true;
        });
    });
    while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    cancel = true;
    scan.join();
    close(lock);
    EXPECT_TRUE(waited.cancelled && waited.songs == 0 && waited.error.empty());
}

// The writes of two statements land whole: when the second fails (a trigger
// refusing, as a full disk would), the first is undone too.
TEST(LibraryIndexWrites, TwoStatementWritesLandWholeOrNotAtAll) {
    struct Case {
        const char* what;
        std::function<bool(LibraryIndex&, std::int64_t)> write;
    };
    const Case cases[] = {
        {"name order", [](LibraryIndex& i,
                          std::int64_t f) { return i.setFolderOrder(f, NameOrder::TitleArtist); }},
        {"unavailable",
         [](LibraryIndex& i, std::int64_t f) { return i.setFolderAvailable(f, false); }},
        {"remove", [](LibraryIndex& i, std::int64_t f) { return i.removeFolder(f); }},
    };
    for (const Case& c : cases) {
        TempFolder temp;
        const std::string db = temp.path("library.db");
        LibraryIndex index(db);
        const std::int64_t folder = index.addFolder("/songs", NameOrder::ArtistTitle);
        LibrarySong song;
        song.path = "/songs/a.cdg", song.artist = "A", song.title = "One";
        ASSERT_TRUE(index.writeBatch(folder, {song}));
        RawDb other(db);
        ASSERT_EQ(other.exec("CREATE TRIGGER refuse_update BEFORE UPDATE ON songs "
                             "BEGIN SELECT RAISE(ABORT, 'disk is full'); END;"
                             "CREATE TRIGGER refuse_delete BEFORE DELETE ON songs "
                             "BEGIN SELECT RAISE(ABORT, 'disk is full'); END;"),
                  SQLITE_OK);
        const std::string before =
            other.rows("SELECT path || name_order || available FROM folders");
        EXPECT_FALSE(c.write(index, folder)) << c.what;
        EXPECT_TRUE(has(index.error(), "disk is full")) << c.what << ": " << index.error();
        EXPECT_EQ(other.rows("SELECT path || name_order || available FROM folders"), before)
            << c.what;
    }
}

// A library of the first version, in WAL mode: songs, a song of a folder no longer
// there, and a queue.
const char kFirstLibrary[] = R"(
    PRAGMA journal_mode=WAL;
    INSERT INTO folders(id, path) VALUES (1, CAST('/songs' AS BLOB));
    INSERT INTO songs VALUES (5, 1, CAST('/songs/ABBA - Waterloo.cdg' AS BLOB), 7200, 1, x'',
        'ABBA', 'Waterloo', 'SC1', 1000, 'CDG', 1);
    INSERT INTO songs VALUES (7, 1, CAST('/songs/a.cdg' AS BLOB), 7200, 1, x'',
        'R.E.M.', 'Losing My Religion', '', 1000, 'CDG', 1);
    INSERT INTO songs VALUES (8, 1, CAST('/songs/b.cdg' AS BLOB), 7200, 1, x'',
        'Hall & Oates', 'Rich Girl', '', 1000, 'CDG', 1);
    INSERT INTO songs VALUES (6, 7, CAST('/old/Queen - Innuendo.cdg' AS BLOB), 7200, 1, x'',
        'Queen', 'Innuendo', '', 1000, 'CDG', 1);
    INSERT INTO queue VALUES (0, CAST('/songs/ABBA - Waterloo.cdg' AS BLOB), 'ABBA', 'Waterloo');
)";

TEST(LibraryIndexSchema, AVersionOneLibraryIsBroughtUpToDate) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    {
        RawDb old(db);
        ASSERT_EQ(
            old.exec((std::string(testing::kLibraryVersionOneSchema) + kFirstLibrary).c_str()),
            SQLITE_OK);
    }
    std::string titles;
    {
        LibraryIndex index(db);
        ASSERT_TRUE(index.isOpen() && index.notice().empty()) << index.notice();
        for (const LibrarySong& s : index.search("", 10).songs) titles += s.title + ";";
        // The song of a folder no longer there is gone.
        EXPECT_EQ(titles, "Waterloo;Rich Girl;Losing My Religion;");
        EXPECT_EQ(index.search("water", 10).songs.at(0).id, 5);
        EXPECT_TRUE(index.search("innuendo", 10).songs.empty());
        EXPECT_EQ(index.loadQueue().size(), 1u);
        // The newer search finds the old songs without their punctuation, and stays in
        // step when they change.
        EXPECT_EQ(index.search("rem", 5).songs.at(0).artist, "R.E.M.");
        EXPECT_EQ(index.search("hall and oates", 5).total, 1);
        ASSERT_TRUE(index.setNameOrder("/songs", NameOrder::TitleArtist));
        EXPECT_EQ(index.search("rem", 5).total, 0);  // the file names have no artist
        ASSERT_TRUE(index.setNameOrder("/songs", NameOrder::ArtistTitle));
    }
    RawDb now(db);
    EXPECT_EQ(now.rows("PRAGMA user_version"), std::to_string(LibraryIndex::kSchemaVersion) + ";");
    EXPECT_EQ(now.exec("INSERT INTO song_search(song_search) VALUES ('integrity-check')"),
              SQLITE_OK);
    EXPECT_EQ(now.rows("SELECT \"table\" FROM pragma_foreign_key_list('songs')"), "folders;");
    EXPECT_EQ(now.rows("SELECT count(*) FROM pragma_index_list('songs') "
                       "WHERE name = 'songs_by_folder'"),
              "1;");
    EXPECT_TRUE(
        now.rows("SELECT value FROM about WHERE key = 'written_by'").starts_with("Lyrvox "));
    // A folder that goes takes its songs with it, in the database's own rules.
    ASSERT_EQ(now.exec("PRAGMA foreign_keys=ON; DELETE FROM folders"), SQLITE_OK);
    EXPECT_EQ(now.rows("SELECT count(*) FROM songs"), "0;");
    // Opening it again changes nothing.
    EXPECT_TRUE(LibraryIndex(db).notice().empty());
}

}  // namespace
}  // namespace lyrvox
