// The song library without Qt: names read from files, a scan of a small built
// library and its rescans, searches, and the play queue over the saved queue.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "library/library_index.h"
#include "library/library_scanner.h"
#include "library/play_queue.h"
#include "playback/archive/song_zip.h"
#include "support/sqlite_shell.h"
#include "support/test_files.h"
#include "support/zip_maker.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
using testing::sqlite;
using testing::TempFolder;
using testing::writeFile;

TEST(SongName, CommonPatterns) {
    struct Case {
        const char* stem;
        NameOrder order;
        SongName want;
    };
    const Case cases[] = {
        {"ABBA - Waterloo", NameOrder::ArtistTitle, {"ABBA", "Waterloo", ""}},
        {"SC8101-03 - ABBA - Waterloo", NameOrder::ArtistTitle, {"ABBA", "Waterloo", "SC8101-03"}},
        {"SF001_05_-_Queen_-_Bohemian Rhapsody",
         NameOrder::ArtistTitle,
         {"Queen", "Bohemian Rhapsody", "SF001 05"}},
        {"Waterloo - ABBA", NameOrder::TitleArtist, {"ABBA", "Waterloo", ""}},
        {"DK123 - Waterloo - ABBA", NameOrder::TitleArtist, {"ABBA", "Waterloo", "DK123"}},
        {"Blink-182 - All the Small Things - Live",
         NameOrder::ArtistTitle,
         {"Blink-182", "All the Small Things - Live", ""}},
        {"U2 - One", NameOrder::ArtistTitle, {"U2", "One", ""}},
        {"  Just a title ", NameOrder::ArtistTitle, {"", "Just a title", ""}},
        {"Bad\xFF name - X", NameOrder::ArtistTitle, {"Bad\xEF\xBF\xBD name", "X", ""}},
    };
    for (const Case& c : cases) {
        const SongName got = parseSongName(c.stem, c.order);
        EXPECT_EQ(got.artist + "|" + got.title + "|" + got.discId,
                  c.want.artist + "|" + c.want.title + "|" + c.want.discId)
            << c.stem;
    }
}

struct LibraryTest : ::testing::Test {
    TempFolder temp;
    const std::string songs = temp.path("songs");
    LibraryIndex index{temp.path("library.db")};
    std::atomic<bool> cancel{false};

    LibraryTest() {
        fs::create_directories(songs + "/sub");
        writeFile(songs + "/SC8101-03 - ABBA - Waterloo.cdg", std::string(7200 * 3, '\0'));
        writeFile(songs + "/SC8101-03 - ABBA - Waterloo.MP3", std::string("mp3"));
        writeFile(songs + "/sub/Queen - Bohemian Rhapsody.CDG", std::string(7200, '\0'));
        writeFile(songs + "/sub/lonely.mp3", std::string("not a song"));
        writeFile(songs + "/broken.zip", std::string("not a zip"));
        testing::writeZip(songs + "/Beyoncé - Halo.zip",
                          {{"x/Halo.cdg", std::string(7200 * 2, '\0')}, {"x/Halo.ogg", "ogg"}});
        fs::create_directory_symlink("..", songs + "/sub/loop");
    }
    std::string found(const std::string& text) {
        std::string list;
        for (const LibrarySong& s : index.search(text, 50).songs)
            list += s.artist + "/" + s.title + (s.available ? "" : "(missing)") + ";";
        return list;
    }
    ScanCounts scan() {
        LibraryIndex own(index.path(), LibraryIndex::Recovery::None);
        return LibraryScanner(own).scan({}, cancel);
    }
    // Songs written straight into the index under the library folder: artist, title, disc.
    void add(const std::vector<std::array<std::string, 3>>& names) {
        const std::int64_t folder = index.addFolder(songs, NameOrder::ArtistTitle);
        std::vector<LibrarySong> batch;
        for (const auto& [artist, title, disc] : names) {
            LibrarySong& s = batch.emplace_back();
            s.path = songs + "/" + artist + " - " + title + ".cdg";
            s.artist = artist, s.title = title, s.discId = disc;
        }
        ASSERT_TRUE(index.writeBatch(folder, batch));
    }
};

TEST_F(LibraryTest, ScanFindsEverySongKindAndRescansOnlyWhatChanged) {
    ASSERT_TRUE(index.isOpen() && index.notice().empty());
    ASSERT_NE(index.addFolder(songs + "/", NameOrder::ArtistTitle), 0);
    EXPECT_EQ(index.addFolder(songs + "/sub", NameOrder::ArtistTitle), 0);  // inside: refused
    ScanCounts first = scan();
    EXPECT_EQ(first.songs, 3);
    EXPECT_EQ(first.added, 3);
    EXPECT_EQ(first.skipped, 2);  // the damaged zip and the loop
    const SearchResult all = index.search("", 10);
    ASSERT_EQ(all.total, 3);
    std::vector<std::string> rows;
    for (const LibrarySong& s : all.songs)
        rows.push_back(s.artist + "|" + s.title + "|" + s.discId + "|" +
                       std::to_string(s.durationMs) + "|" + s.format);
    EXPECT_EQ(rows, (std::vector<std::string>{"ABBA|Waterloo|SC8101-03|3000|MP3+G",
                                              "Beyoncé|Halo||2000|ZIP OGG+G",
                                              "Queen|Bohemian Rhapsody||1000|CDG"}));

    ScanCounts again = scan();
    EXPECT_TRUE(again.songs == 3 && again.added == 0 && again.updated == 0 && again.removed == 0);
    // A partner arriving, a name order changed, a song deleted.
    writeFile(songs + "/sub/Queen - Bohemian Rhapsody.wav", std::string("wav"));
    fs::remove(songs + "/Beyoncé - Halo.zip");
    again = scan();
    EXPECT_TRUE(again.songs == 2 && again.updated == 1 && again.removed == 1);
    EXPECT_EQ(index.search("queen", 5).songs.at(0).format, "WAV+G");
    index.setFolderOrder(index.folders().at(0).id, NameOrder::TitleArtist);

    // An unplugged drive: its songs stay, marked missing, and come back with it.
    fs::rename(songs, temp.path("away"));
    EXPECT_EQ(scan().missingFolders, 1);
    EXPECT_EQ(found("waterloo"), "Waterloo/ABBA(missing);");
    fs::rename(temp.path("away"), songs);
    EXPECT_EQ(scan().songs, 2);
    EXPECT_EQ(found("waterloo"), "Waterloo/ABBA;");
}

TEST_F(LibraryTest, SearchMatchesWordPrefixesInAnyOrderCaseAndAccents) {
    add({{"Beyoncé", "Halo", "SC1"},
         {"Love", "Love Song", "SC2"},
         {"Adele", "Make You Feel My Love", "ZM33"},
         {"Édith Piaf", "La Vie en rose", "SC3"}});
    struct Case {
        const char* typed;
        const char* want;
    };
    const Case cases[] = {
        {"beyonce", "Beyoncé/Halo;"},
        {"HAL bey", "Beyoncé/Halo;"},
        {"edi", "Édith Piaf/La Vie en rose;"},
        {"zm3", "Adele/Make You Feel My Love;"},
        {"love", "Love/Love Song;Adele/Make You Feel My Love;"},  // more of it first
        {"lo ma", "Adele/Make You Feel My Love;"},
        {"\"* - (",
         "Adele/Make You Feel My Love;Beyoncé/Halo;Love/Love Song;Édith Piaf/La Vie en rose;"},
        {"nothing", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(found(c.typed), c.want) << c.typed;
}

// A singer types names without their punctuation, or with other punctuation.
TEST_F(LibraryTest, SearchFindsNamesWithoutTheirPunctuation) {
    add({{"R.E.M.", "Losing My Religion", ""},
         {"The Rembrandts", "I'll Be There for You", ""},
         {"AC/DC", "Thunderstruck", ""},
         {"AC-DC", "Highway to Hell", ""},
         {"B-52's", "Love Shack", ""},
         {"Hall & Oates", "Rich Girl", ""},
         {"Hall and Oates", "Kiss on My List", ""},
         {"Journey", "Don't Stop Believin'", ""},
         {"Fleetwood Mac", "Don\u2019t Stop", ""},
         {"Spice Girls", "Stop", ""},
         {"Blink-182", "All the Small Things", ""},
         {"Simon & Garfunkel", "Mrs. Robinson", ""}});
    struct Case {
        const char* typed;
        const char* want;  // in the order listed
    };
    const char* const acdc = "AC/DC/Thunderstruck;AC-DC/Highway to Hell;";  // shorter first
    const char* const hallAndOates = "Hall & Oates/Rich Girl;Hall and Oates/Kiss on My List;";
    const char* const dontStop = "Fleetwood Mac/Don\u2019t Stop;Journey/Don't Stop Believin';";
    const Case cases[] = {
        {"dont stop", dontStop},
        {"don't stop", dontStop},
        {"don\u2019t st", dontStop},
        {"stop", "Spice Girls/Stop;Fleetwood Mac/Don\u2019t Stop;Journey/Don't Stop Believin';"},
        {"rem", "R.E.M./Losing My Religion;The Rembrandts/I'll Be There for You;"},
        {"r.e.m. losing", "R.E.M./Losing My Religion;"},
        {"acdc", acdc},
        {"ac/dc", acdc},
        {"AC-DC", acdc},
        {"ac dc", acdc},
        {"acdc thunder", "AC/DC/Thunderstruck;"},
        {"b52s", "B-52's/Love Shack;"},
        {"b52", "B-52's/Love Shack;"},
        {"b 52", "B-52's/Love Shack;"},
        {"hall and oates", hallAndOates},
        {"hall & oates", hallAndOates},
        {"hall&oates", hallAndOates},
        {"hal", hallAndOates},
        {"blink182", "Blink-182/All the Small Things;"},
        {"blink 182", "Blink-182/All the Small Things;"},
        {"simon and garf", "Simon & Garfunkel/Mrs. Robinson;"},
        {"mrs robinson", "Simon & Garfunkel/Mrs. Robinson;"},
        {"- ' &", ""},  // nothing but punctuation: every song
        {"acdcx", ""},
    };
    for (const Case& c : cases) {
        if (std::string(c.typed) == "- ' &") {
            EXPECT_EQ(index.search(c.typed, 50).total, 12);
            continue;
        }
        EXPECT_EQ(found(c.typed), c.want) << c.typed;
    }
}

// The library folder's order and those set for folders inside it, the deepest
// winning; a changed order shows at once and a scan asked for with the old order
// does not undo it.
TEST_F(LibraryTest, NameOrderReadsTheNamesAgainForAFolderOrASubfolder) {
    ASSERT_NE(index.addFolder(songs, NameOrder::ArtistTitle), 0);
    ASSERT_EQ(scan().added, 3);
    const std::vector<LibraryFolder> asked = index.folders();  // as a window read them
    ASSERT_TRUE(index.setFolderOrder(asked.at(0).id, NameOrder::TitleArtist));
    const std::string everything = "Bohemian Rhapsody/Queen;Halo/Beyoncé;Waterloo/ABBA;";
    EXPECT_EQ(found(""), everything);
    fs::create_directories(songs + "/sub/deeper");
    writeFile(songs + "/sub/deeper/Song - Singer.cdg", std::string(7200, '\0'));
    {
        LibraryIndex own(index.path(), LibraryIndex::Recovery::None);
        EXPECT_EQ(LibraryScanner(own).scan(asked, cancel).added, 1);
    }
    EXPECT_EQ(found(""), "Bohemian Rhapsody/Queen;Halo/Beyoncé;Singer/Song;Waterloo/ABBA;");
    EXPECT_EQ(scan().updated, 0);  // nothing left for later scans to correct

    struct Case {
        const char* folder;  // below the library folder
        NameOrder order;
        const char* want;
    };
    const Case cases[] = {
        {"/sub", NameOrder::ArtistTitle,
         "Halo/Beyoncé;Queen/Bohemian Rhapsody;Song/Singer;Waterloo/ABBA;"},
        {"/sub/deeper", NameOrder::TitleArtist,
         "Halo/Beyoncé;Queen/Bohemian Rhapsody;Singer/Song;Waterloo/ABBA;"},
        {"", NameOrder::ArtistTitle,
         "ABBA/Waterloo;Beyoncé/Halo;Queen/Bohemian Rhapsody;Singer/Song;"},
        {"/sub/deeper/", NameOrder::ArtistTitle,
         "ABBA/Waterloo;Beyoncé/Halo;Queen/Bohemian Rhapsody;Song/Singer;"},
        {"/sub", NameOrder::TitleArtist,
         "ABBA/Waterloo;Beyoncé/Halo;Bohemian Rhapsody/Queen;Song/Singer;"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(index.setNameOrder(songs + c.folder, c.order)) << c.folder;
        EXPECT_EQ(found(""), c.want) << c.folder;
        // A new file below takes the order in force there.
        writeFile(songs + "/sub/deeper/New - One.cdg", std::string(7200, '\0'));
        EXPECT_EQ(scan().added, 1) << c.folder;
        EXPECT_EQ(found("new one").substr(0, 4),
                  index.nameOrders().of(songs + "/sub/deeper/x.cdg") == NameOrder::TitleArtist
                      ? "One/"
                      : "New/")
            << c.folder;
        fs::remove(songs + "/sub/deeper/New - One.cdg");
        EXPECT_EQ(scan().removed, 1) << c.folder;
        EXPECT_EQ(found(""), c.want) << c.folder << " after a scan";
    }
    // Each order set stays, also one the same as around it; a folder outside is refused.
    EXPECT_EQ(index.nameOrders().folders.size(), 3u);
    EXPECT_FALSE(index.setNameOrder(temp.path("elsewhere"), NameOrder::TitleArtist));
    EXPECT_FALSE(index.error().empty());
}

// What a view's adapter hears: each change named ("+1" rows inserted, "-0"
// removed, "2>0" moved, "reset", "now" the song now playing alone), and checked against the queue
// as it stood before and stands after, as a view keeping its own rows in step would see it.
struct QueueListener : QueueObserver {
    explicit QueueListener(PlayQueue& q) : queue(q) { queue.addObserver(this); }
    ~QueueListener() override { queue.removeObserver(this); }

    void queueChanging(const QueueChange&) override { before = queue.entries(); }
    void queueChanged(const QueueChange& c) override {
        using Kind = QueueChange::Kind;
        std::vector<QueueEntry> old = before, now = queue.entries();
        const auto cut = [](std::vector<QueueEntry>& v, int first, int last) {
            v.erase(v.begin() + first, v.begin() + last + 1);
        };
        const auto note = [&](const char* sign, int row, const char* end) {
            heard.append(sign).append(std::to_string(row)).append(end);
        };
        switch (c.kind) {
            case Kind::Insert:
                note("+", c.first, " ");
                cut(now, c.first, c.last);
                break;
            case Kind::Remove:
                note("-", c.first, " ");
                cut(old, c.first, c.last);
                break;
            case Kind::Move:
                note("", c.first, ">");
                note("", c.to, " ");
                EXPECT_EQ(old.at(static_cast<std::size_t>(c.first)),
                          now.at(static_cast<std::size_t>(c.to)));
                cut(old, c.first, c.first);
                cut(now, c.to, c.to);
                break;
            case Kind::Reset:
                heard += "reset ";
                return;
            case Kind::NowPlaying:
                heard += "now ";
                break;
        }
        EXPECT_EQ(old, now) << "the rows not named in " << heard << "changed";
    }

    PlayQueue& queue;
    std::vector<QueueEntry> before;
    std::string heard;
};

QueueEntry song(char title) {
    return {std::string("/songs/") + title + ".cdg", "Artist", std::string(1, title)};
}

std::string titlesOf(const std::vector<QueueEntry>& entries) {
    std::string titles;
    for (const QueueEntry& e : entries) titles += e.title;
    return titles;
}

// A saved queue of A, B and C, its play queue (failing the test on any error) and a view's
// adapter over it.
struct QueueOfThree {
    TempFolder temp;
    LibraryIndex index{temp.path("library.db")};
    const bool saved = index.saveQueue({song('A'), song('B'), song('C')});
    PlayQueue queue{index, [](const std::string& error) { ADD_FAILURE() << error; }};
    QueueListener listener{queue};
};

TEST(PlayQueue, ChangesAreToldRowByRowAndSavedAtOnce) {
    struct Case {
        const char* what;
        std::function<bool(PlayQueue&)> run;  // the call's answer (true for calls without one)
        bool answer;
        const char* order;  // the titles after, as saved
        const char* heard;
    };
    const auto add = [](int row) {
        return [row](PlayQueue& q) { return q.add(song('D'), row), true; };
    };
    const Case cases[] = {
        {"add at the end", add(-1), true, "ABCD", "+3 "},
        {"add first", add(0), true, "DABC", "+0 "},
        {"add between", add(2), true, "ABDC", "+2 "},
        {"add past the end", add(9), true, "ABCD", "+3 "},
        {"remove", [](PlayQueue& q) { return q.remove(1); }, true, "AC", "-1 "},
        {"remove no row", [](PlayQueue& q) { return q.remove(3) || q.remove(-1); }, false, "ABC",
         ""},
        {"move up", [](PlayQueue& q) { return q.move(2, 0); }, true, "CAB", "2>0 "},
        {"move down", [](PlayQueue& q) { return q.move(0, 2); }, true, "BCA", "0>2 "},
        {"move a step", [](PlayQueue& q) { return q.move(1, 2); }, true, "ACB", "1>2 "},
        {"move onto itself", [](PlayQueue& q) { return q.move(1, 1); }, false, "ABC", ""},
        {"move out of range",
         [](PlayQueue& q) { return q.move(0, 3) || q.move(-1, 0) || q.move(3, 0); }, false, "ABC",
         ""},
        {"take the front",
         [](PlayQueue& q) { return q.takeFront().value_or(QueueEntry{}) == song('A'); }, true, "BC",
         "-0 "},
        {"clear", [](PlayQueue& q) { return q.clear(), true; }, true, "", "reset "},
        {"take from an empty queue",
         [](PlayQueue& q) { return q.clear(), q.clear(), q.takeFront().has_value(); }, false, "",
         "reset "},
    };
    for (const Case& c : cases) {
        QueueOfThree q;
        ASSERT_TRUE(q.saved);
        EXPECT_EQ(c.run(q.queue), c.answer) << c.what;
        EXPECT_EQ(titlesOf(q.queue.entries()), c.order) << c.what;
        EXPECT_EQ(q.listener.heard, c.heard) << c.what;
        EXPECT_EQ(titlesOf(LibraryIndex(q.index.path()).loadQueue()), c.order) << c.what;
    }
}

// The song now playing leaves the rows, is saved first while it plays (a restart
// finds it at the front, not sung), and either goes (done) or comes back (stopped).
TEST(PlayQueue, TheSongNowPlayingIsSavedFirstUntilItIsDone) {
    struct Case {
        const char* steps;  // start row N ("0".."3"), finish (f), put back (p), clear (c)
        const char* rows;   // the titles of the rows after
        const char* now;    // the song now playing after
        const char* saved;  // as stored, and as the next run's queue reads
        const char* heard;
    };
    const Case cases[] = {
        {"1", "AC", "B", "BAC", "-1 "},     {"1f", "AC", "", "AC", "-1 now "},
        {"1p", "BAC", "", "BAC", "-1 +0 "}, {"00", "C", "B", "BC", "-0 -0 "},
        {"2c", "", "C", "C", "-2 reset "},  {"3fp", "ABC", "", "ABC", ""},
    };
    for (const Case& c : cases) {
        QueueOfThree q;
        ASSERT_TRUE(q.saved);
        for (const char* step = c.steps; *step; ++step) {
            if (*step == 'f') q.queue.finish();
            if (*step == 'p') q.queue.putBack();
            if (*step == 'c') q.queue.clear();
            if (*step >= '0' && *step <= '9') q.queue.start(*step - '0');
        }
        EXPECT_EQ(titlesOf(q.queue.entries()), c.rows) << c.steps;
        EXPECT_EQ(q.queue.nowPlaying().value_or(QueueEntry{}).title, c.now) << c.steps;
        EXPECT_EQ(q.listener.heard, c.heard) << c.steps;
        PlayQueue nextRun(q.index);
        EXPECT_TRUE(titlesOf(nextRun.entries()) == c.saved && !nextRun.nowPlaying()) << c.steps;
    }
}

// The first song whose file is there now; missing ones (and folders) are passed
// over and named, and stay queued.
TEST(PlayQueue, TheFirstAvailableSongPassesOverMissingFiles) {
    // Per row of A, B, C: '+' a file, '-' nothing, 'd' a folder; the row found; skipped.
    const std::tuple<std::string, int, std::string> cases[] = {
        {"+++", 0, ""}, {"-d+", 2, "AB"}, {"-+-", 1, "A"}, {"---", -1, "ABC"}};
    for (const auto& [there, row, skippedTitles] : cases) {
        TempFolder temp;
        LibraryIndex index(temp.path("library.db"));
        PlayQueue queue(index);
        for (const char title : std::string("ABC")) {
            const std::string path = temp.path(std::string(1, title));
            if (there[static_cast<std::size_t>(title - 'A')] == '+')
                writeFile(path, std::string("x"));
            if (there[static_cast<std::size_t>(title - 'A')] == 'd') fs::create_directory(path);
            queue.add({path, "", std::string(1, title)});
        }
        std::vector<QueueEntry> skipped;
        EXPECT_EQ(queue.firstAvailable(&skipped), row) << there;
        EXPECT_TRUE(titlesOf(skipped) == skippedTitles && queue.size() == 3) << there;
    }
}

TEST(PlayQueue, AFailedSaveIsToldAndTheChangeStands) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    LibraryIndex index(db);
    std::vector<std::string> errors;
    PlayQueue queue(index, [&](const std::string& error) { errors.push_back(error); });
    queue.add(song('A'));
    queue.add(song('B'));
    ASSERT_TRUE(errors.empty());
    // The database refuses every queue row from now on, as a full disk would.
    ASSERT_EQ(sqlite(db,
                     "CREATE TRIGGER refuse BEFORE INSERT ON queue"
                     " BEGIN SELECT RAISE(ABORT, 'disk is full'); END"),
              "");
    EXPECT_TRUE(queue.move(1, 0));
    EXPECT_EQ(titlesOf(queue.entries()), "BA");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "cannot save the queue: disk is full");
    EXPECT_EQ(titlesOf(LibraryIndex(db).loadQueue()), "AB");  // the last good save
}

namespace playable {

using testing::ZipEntry;

// A hostile or odd song file and what the player says of it: "" when it plays.
struct Case {
    std::string label;
    std::function<void(const std::string& path)> write;
    std::string refusal;  // a part of the player's message
    bool listed;          // karaoke songs only: audio alone plays but is not listed
};

std::function<void(const std::string&)> zipOf(std::vector<ZipEntry> entries,
                                              std::function<std::string(std::string)> patch = {}) {
    return [=](const std::string& path) {
        testing::writeZip(path, entries);
        if (patch) writeFile(path, patch(testing::readFile(path)));
    };
}

std::function<void(const std::string&)> bytesOf(std::string bytes) {
    return [=](const std::string& path) { writeFile(path, bytes); };
}

std::vector<Case> cases() {
    const std::string cdg = testing::secondOfGraphics(), mp3 = "ID3 audio";
    const std::string longName(300, 'x'), unsafeLong = "../" + std::string(400, 'y') + ".mp3";
    std::string damaged(24 * 300, 'c');
    return {
        {"a pair", zipOf({{"Song.cdg", cdg}, {"Song.mp3", mp3}}), "", true},
        {"CP437 names", zipOf({{"Caf\x82 \x8e.cdg", cdg}, {"Caf\x82 \x8e.mp3", mp3}}), "", true},
        {"long names", zipOf({{longName + ".cdg", cdg}, {longName + ".mp3", mp3}}), "", true},
        {"graphics alone", zipOf({{"a/b/Song.CDG", cdg}}), "", true},
        {"audio alone", zipOf({{"Song.mp3", mp3}}), "", false},
        {"a parent name", zipOf({{"Song.cdg", cdg}, {"../evil.mp3", mp3}}),
         "This zip holds an unsafe name (../evil.mp3): ", false},
        {"an absolute name", zipOf({{"/tmp/evil.cdg", cdg}}), "unsafe name", false},
        {"a drive letter", zipOf({{"C:evil.cdg", cdg}}), "unsafe name", false},
        {"a long unsafe name", zipOf({{"Song.cdg", cdg}, {unsafeLong, mp3}}),
         "This zip holds an unsafe name (../yyyyyyyyyyyyyyyyyyyyyyyyyyy\u2026yyyyyyyyyyy.mp3)",
         false},
        {"encrypted", zipOf({{"Song.cdg", cdg, false, true}}), "This zip is encrypted", false},
        {"Deflate64",
         zipOf({{"Song.cdg", cdg, true}}, [](std::string b) { return testing::setMethod(b, 9); }),
         "This zip is packed in a way that cannot be read (Deflate64)", false},
        {"a CRC error",
         zipOf({{"Song.cdg", damaged, true}},
               [](std::string b) {
                   b[b.find(std::string(99, 'c'))] = 'C';
                   return b;
               }),
         "This zip is damaged", false},
        {"cut short",
         zipOf({{"Song.cdg", cdg}, {"Song.mp3", mp3}},
               [](std::string b) { return b.substr(0, b.size() / 2); }),
         "Cannot open the zip", false},
        {"not a zip", bytesOf("not a zip"), "Cannot open the zip", false},
        {"a graphics bomb", zipOf({{"Song.cdg", std::string(65 << 20, '\0')}}),
         "This zip is too large for a song", false},
        {"an audio bomb", zipOf({{"Song.cdg", cdg}, {"Song.wav", std::string(40 << 20, '\0')}}),
         "This zip is too large for a song", false},
        {"random graphics", zipOf({{"Song.cdg", testing::randomBytes(7200)}, {"Song.mp3", mp3}}),
         "The graphics in this zip are empty or not CD+G", false},
        {"empty graphics", zipOf({{"Song.cdg", ""}, {"Song.mp3", mp3}}),
         "The graphics in this zip are empty or not CD+G", false},
        {"one name twice",
         zipOf({{"Song.cdg", cdg}, {"Song.cdh", cdg}},
               [](std::string b) { return testing::replaceAll(b, "Song.cdh", "Song.cdg"); }),
         "This zip holds two entries of one name", false},
        {"no song", zipOf({{"notes.txt", "la la"}}), "No song found", false},
    };
}

// Every zip the scan lists, the player unpacks and plays; every one the player refuses,
// the scan skips with the player's own message; loose graphics that are empty or not
// CD+G are skipped too. A listed song refused later goes from the library.
TEST(ScanAndPlayer, AgreeOnEveryZipAndGraphicsFile) {
    TempFolder temp;
    const std::string songs = temp.path("songs");
    fs::create_directories(songs);
    const std::vector<Case> zips = cases();
    for (std::size_t i = 0; i < zips.size(); ++i)
        zips[i].write(songs + "/case" + std::to_string(100 + i) + ".zip");
    const std::pair<const char*, std::string> loose[] = {
        {"empty.cdg", ""},
        {"short.cdg", std::string(23, '\x09')},
        {"random.cdg", testing::randomBytes(7200)},
        {"text.cdg", std::string(7200, 'a')},
    };
    for (const auto& [name, bytes] : loose) writeFile(songs + "/" + name, bytes);
    writeFile(songs + "/blank.cdg", std::string(7200, '\0'));  // a second of nothing: plays

    LibraryIndex index(temp.path("library.db"));
    ASSERT_NE(index.addFolder(songs, NameOrder::ArtistTitle), 0);
    const std::atomic<bool> cancel{false};
    const ScanCounts counts = LibraryScanner(index).scan({}, cancel);
    std::map<std::string, std::string> skipped, listed;
    for (const SkippedFile& s : counts.skippedFiles) skipped[s.path] = s.reason;
    for (const LibrarySong& s : index.search("", 100).songs)
        listed[s.path] = std::to_string(s.durationMs) + " " + s.format;
    EXPECT_EQ(counts.skipped, static_cast<std::int64_t>(skipped.size()));

    ScratchSpace scratch(temp.path("scratch"));
    for (std::size_t i = 0; i < zips.size(); ++i) {
        const Case& c = zips[i];
        SCOPED_TRACE(c.label);
        const std::string path = songs + "/case" + std::to_string(100 + i) + ".zip";
        const UnpackedSong played = unpackSongZip(path, scratch);
        EXPECT_EQ(played.error.empty(), c.refusal.empty()) << played.error;
        EXPECT_NE(played.error.find(c.refusal), std::string::npos) << played.error;
        EXPECT_LE(played.error.size(), 120u);  // fits a message box
        EXPECT_EQ(listed.contains(path), c.listed);
        if (c.listed) {
            EXPECT_EQ(listed[path].substr(0, 5), "1000 ");
        }
        if (!c.refusal.empty()) {
            EXPECT_EQ(skipped[path], played.error);
        }
    }
    for (const auto& [name, bytes] : loose) {
        EXPECT_EQ(skipped[songs + "/" + name], "the graphics are empty or not CD+G") << name;
        EXPECT_FALSE(listed.contains(songs + "/" + name)) << name;
    }
    EXPECT_EQ(listed[songs + "/blank.cdg"], "1000 CDG");

    // A listed song that is later refused is no longer listed.
    writeFile(songs + "/blank.cdg", testing::randomBytes(7200));
    const ScanCounts again = LibraryScanner(index).scan({}, cancel);
    EXPECT_EQ(again.removed, 1);
    EXPECT_EQ(index.search("blank", 5).total, 0);
    // A bomb that an earlier scan listed without the player's check goes too.
    const auto bombAt = std::find_if(zips.begin(), zips.end(),
                                     [](const Case& c) { return c.label == "a graphics bomb"; });
    const std::string bomb =
        songs + "/case" + std::to_string(100 + (bombAt - zips.begin())) + ".zip";
    struct stat info {};
    ASSERT_EQ(::stat(bomb.c_str(), &info), 0);
    LibrarySong listedBefore;
    listedBefore.path = bomb;
    listedBefore.title = "bomb";
    listedBefore.size = info.st_size;
    listedBefore.mtimeNs = info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec;
    listedBefore.durationMs = 10 * 3600 * 1000;
    listedBefore.format = "ZIP CDG";
    ASSERT_TRUE(index.writeBatch(index.folders().at(0).id, {listedBefore}, {}));
    ASSERT_EQ(index.search("bomb", 5).total, 1);
    EXPECT_EQ(LibraryScanner(index).scan({}, cancel).removed, 1);
    EXPECT_EQ(index.search("bomb", 5).total, 0);
}

}  // namespace playable

}  // namespace
}  // namespace lyrvox
