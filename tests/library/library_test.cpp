// The song library without Qt: names read from files, a scan of a small built
// library and its rescans, searches, the saved queue and the play queue over it,
// and a damaged index file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <functional>

#include "library/library_index.h"
#include "library/library_scanner.h"
#include "library/play_queue.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
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

void writeZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, bytes] : entries) {
        zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
        zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    }
    ASSERT_EQ(zip_close(zip), 0);
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
        writeZip(songs + "/Beyoncé - Halo.zip",
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
    EXPECT_EQ(scan().updated, 2);
    EXPECT_EQ(found("abba"), "Waterloo/ABBA;");

    // An unplugged drive: its songs stay, marked missing, and come back with it.
    fs::rename(songs, temp.path("away"));
    EXPECT_EQ(scan().missingFolders, 1);
    EXPECT_EQ(found("waterloo"), "Waterloo/ABBA(missing);");
    fs::rename(temp.path("away"), songs);
    EXPECT_EQ(scan().songs, 2);
    EXPECT_EQ(found("waterloo"), "Waterloo/ABBA;");
}

TEST_F(LibraryTest, SearchMatchesWordPrefixesInAnyOrderCaseAndAccents) {
    const std::int64_t folder = index.addFolder(songs, NameOrder::ArtistTitle);
    std::vector<LibrarySong> batch;
    for (const auto& [artist, title, disc] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"Beyoncé", "Halo", "SC1"},
             {"Love", "Love Song", "SC2"},
             {"Adele", "Make You Feel My Love", "ZM33"},
             {"Édith Piaf", "La Vie en rose", "SC3"}}) {
        LibrarySong s;
        s.path = songs + "/" + title + ".cdg";
        s.artist = artist, s.title = title, s.discId = disc;
        batch.push_back(s);
    }
    ASSERT_TRUE(index.writeBatch(folder, batch));
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

TEST_F(LibraryTest, QueueSurvivesAndADamagedFileIsMovedAside) {
    const std::vector<QueueEntry> queue{{"/a.cdg", "A", "One"}, {"/b\xFF.zip", "B", "Two"}};
    ASSERT_TRUE(index.saveQueue(queue));
    EXPECT_EQ(LibraryIndex(index.path()).loadQueue(), queue);

    const std::string damaged = temp.path("damaged.db");
    writeFile(damaged, testing::randomBytes(8192));
    EXPECT_FALSE(LibraryIndex(damaged, LibraryIndex::Recovery::None).isOpen());
    LibraryIndex fresh(damaged);
    EXPECT_TRUE(fresh.isOpen() && fresh.loadQueue().empty());
    EXPECT_NE(fresh.notice().find("damaged.db.broken-1"), std::string::npos) << fresh.notice();
    EXPECT_NE(fresh.notice().find("queue"), std::string::npos);
    EXPECT_EQ(testing::readFile(damaged + ".broken-1"), testing::randomBytes(8192));
}

// What a view's adapter hears: each change named ("+1" rows inserted, "-0"
// removed, "2>0" moved, "reset"), and checked against the queue as it stood
// before and stands after, as a view keeping its own rows in step would see it.
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
        TempFolder temp;
        LibraryIndex index(temp.path("library.db"));
        ASSERT_TRUE(index.saveQueue({song('A'), song('B'), song('C')}));
        PlayQueue queue(index, [&](const std::string& error) { ADD_FAILURE() << error; });
        QueueListener listener(queue);
        EXPECT_EQ(c.run(queue), c.answer) << c.what;
        EXPECT_EQ(titlesOf(queue.entries()), c.order) << c.what;
        EXPECT_EQ(listener.heard, c.heard) << c.what;
        EXPECT_EQ(titlesOf(LibraryIndex(index.path()).loadQueue()), c.order) << c.what;
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
    ASSERT_EQ(system(("sqlite3 " + db +
                      " \"CREATE TRIGGER refuse BEFORE INSERT ON queue"
                      " BEGIN SELECT RAISE(ABORT, 'disk is full'); END\"")
                         .c_str()),
              0);
    EXPECT_TRUE(queue.move(1, 0));
    EXPECT_EQ(titlesOf(queue.entries()), "BA");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "cannot save the queue: disk is full");
    EXPECT_EQ(titlesOf(LibraryIndex(db).loadQueue()), "AB");  // the last good save
}

}  // namespace
}  // namespace lyrvox
