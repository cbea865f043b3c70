// The singer rotation: its fairness through a night's actions, the key memory, the
// history and its CSV, and all of it kept in the library's file across reopening.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "library/library_index.h"
#include "library/singer_rotation.h"
#include "support/sqlite_shell.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

using testing::sqlite;
using testing::TempFolder;

RotationSong song(const std::string& singer, int n) {
    return {0,
            "/songs/" + singer + std::to_string(n) + ".cdg",
            "Artist " + singer,
            "Title " + std::to_string(n),
            std::nullopt,
            std::nullopt};
}

// A singer named `name` with `songs` songs.
std::function<void(SingerRotation&)> singer(const std::string& name, int songs,
                                            SingerRotation::Join join = {}) {
    return [=](SingerRotation& r) {
        ASSERT_TRUE(r.addSinger(name, join)) << r.error();
        for (int i = 1; i <= songs; ++i) ASSERT_TRUE(r.addSong(name, song(name, i)));
    };
}

// One step of a night: an action, or the singers the next turns must give (one
// letter a turn; "." for no turn at all).
struct Step {
    std::function<void(SingerRotation&)> act;
    std::string turns;
};

struct FairCase {
    const char* label;
    std::vector<Step> steps;
};

Step act(std::function<void(SingerRotation&)> f) {
    return {std::move(f), ""};
}
Step expect(std::string turns) {
    return {{}, std::move(turns)};
}

std::string names(const std::vector<RotationTurn>& turns) {
    std::string text;
    for (const RotationTurn& t : turns) text += t.singer;
    return text;
}

class Fairness : public ::testing::TestWithParam<FairCase> {};

TEST_P(Fairness, TurnsComeInRoundsAsTheHostArrangedThem) {
    TempFolder temp;
    LibraryIndex index(temp.path("library.db"));
    SingerRotation r(index);
    for (const Step& step : GetParam().steps) {
        if (step.act) {
            step.act(r);
            continue;
        }
        if (step.turns == ".") {
            EXPECT_TRUE(r.upcoming(5).empty());
            EXPECT_FALSE(r.next().has_value());
            continue;
        }
        // What the list of coming songs shows is what the turns then give.
        EXPECT_EQ(names(r.upcoming(static_cast<int>(step.turns.size()))), step.turns);
        std::string given;
        for (std::size_t i = 0; i < step.turns.size(); ++i) {
            const auto turn = r.next();
            given += turn ? turn->singer : "-";
        }
        EXPECT_EQ(given, step.turns);
    }
}

void takeAndPutBack(SingerRotation& r) {
    ASSERT_TRUE(r.next().has_value());
    ASSERT_TRUE(r.endTurn(nullptr, true)) << r.error();
}

const auto ABC3 = act([](SingerRotation& r) {
    singer("A", 3)(r);
    singer("B", 3)(r);
    singer("C", 3)(r);
});

INSTANTIATE_TEST_SUITE_P(
    Rotation, Fairness,
    ::testing::Values(
        FairCase{"once each per round, in order", {ABC3, expect("ABCABCABC"), expect(".")}},
        FairCase{"no singers is no turn", {expect(".")}},
        FairCase{"a singer joining this round sings at its end",
                 {ABC3, expect("A"), act(singer("D", 3)), expect("BCD"), expect("ABCD")}},
        FairCase{"a singer joining next round waits for it",
                 {ABC3, expect("A"), act(singer("D", 3, SingerRotation::Join::NextRound)),
                  expect("BC"), expect("ABCD")}},
        FairCase{"a singer who leaves is passed from then on",
                 {ABC3, expect("AB"), act([](SingerRotation& r) { r.removeSinger("C"); }),
                  expect("AB"), expect("AB"), expect(".")}},
        FairCase{
            "an away singer is passed over and keeps the round's turn when back",
            {ABC3, expect("A"), act([](SingerRotation& r) { r.setAway("B", true); }), expect("CAC"),
             act([](SingerRotation& r) { r.setAway("B", false); }), expect("B"), expect("AB")}},
        FairCase{"a singer made next sings next and not again this round",
                 {ABC3, expect("A"), act([](SingerRotation& r) { r.makeNext("C"); }), expect("CB"),
                  expect("ABC")}},
        FairCase{"a singer made next again in a round sings twice in it",
                 {ABC3, expect("AB"), act([](SingerRotation& r) { r.makeNext("A"); }), expect("AC"),
                  expect("ABC"), expect("BC"), expect(".")}},
        FairCase{"a turn put back comes again",
                 {ABC3, expect("A"), act(takeAndPutBack), expect("BCABCABC"), expect(".")}},
        FairCase{"a turn out of order put back comes again before the order's",
                 {ABC3, expect("A"), act([](SingerRotation& r) { r.makeNext("C"); }),
                  act(takeAndPutBack), expect("CB"), expect("ABC")}},
        FairCase{"a turn put back at a round's start keeps the round",
                 {ABC3, expect("ABC"), act(takeAndPutBack), expect("A"),
                  act([](SingerRotation& r) { r.moveSinger("C", 0); }), expect("CB")}},
        FairCase{"a singer with no songs is passed over until given one",
                 {act(singer("A", 0)), act(singer("B", 2)), act(singer("C", 1)), expect("BCB"),
                  expect("."), act([](SingerRotation& r) { r.addSong("A", song("A", 1)); }),
                  expect("A"), expect(".")}},
        FairCase{
            "a reordered rotation sings in its new order",
            {ABC3, expect("A"), act([](SingerRotation& r) { r.moveSinger("C", 0); }), expect("CB"),
             expect("CAB"), act([](SingerRotation& r) { r.moveSinger("C", 2); }), expect("AB")}},
        FairCase{"a singer made next who leaves hands the turn to no one",
                 {ABC3, act([](SingerRotation& r) { r.makeNext("C"); }),
                  act([](SingerRotation& r) { r.removeSinger("C"); }), act(singer("D", 1)),
                  expect("ABD")}},
        FairCase{"a renamed singer keeps their place and songs",
                 {ABC3, expect("A"), act([](SingerRotation& r) { r.renameSinger("B", "E"); }),
                  expect("ECAEC")}}),
    [](const auto& param) {
        std::string name;
        for (const char c : std::string(param.param.label)) name += std::isalnum(c) ? c : '_';
        return name;
    });

TEST(Rotation, RefusesUnknownSingersTakenNamesAndRowsOutOfRange) {
    TempFolder temp;
    LibraryIndex index(temp.path("library.db"));
    SingerRotation r(index);
    ASSERT_TRUE(r.addSinger("Ann"));
    ASSERT_TRUE(r.addSinger("Bob"));
    EXPECT_FALSE(r.addSinger("Ann"));
    EXPECT_FALSE(r.addSinger(""));
    EXPECT_FALSE(r.renameSinger("Ann", "Bob"));
    EXPECT_FALSE(r.removeSinger("Cy"));
    EXPECT_EQ(r.error(), "no singer named Cy");
    EXPECT_FALSE(r.moveSinger("Ann", 2));
    EXPECT_FALSE(r.removeSong("Ann", 0));
    EXPECT_FALSE(r.addSong("Cy", song("C", 1)));
    // A singer who leaves during their turn: it ends as sung, but is not given back.
    for (const bool giveBack : {false, true}) {
        ASSERT_TRUE(r.addSinger("Cy") && r.addSong("Cy", song("C", 1)) && r.makeNext("Cy"));
        ASSERT_TRUE(r.next().has_value() && r.removeSinger("Cy"));
        EXPECT_EQ(r.endTurn(nullptr, giveBack), !giveBack);
    }
    EXPECT_EQ(r.singers().size(), 2u);
}

// The key a singer last sang a song in comes back when it comes up for them again;
// a key the host set for the queued entry wins; another singer's memory is theirs.
TEST(Rotation, TheKeyASingerLastSangASongInIsApplied) {
    TempFolder temp;
    LibraryIndex index(temp.path("library.db"));
    SingerRotation r(index);
    ASSERT_TRUE(r.addSinger("Ann") && r.addSinger("Bob"));
    const RotationSong s = song("X", 1);
    ASSERT_TRUE(r.played({"Ann", s.path, s.artist, s.title, 1000, -2, 95, "finished"}));
    ASSERT_TRUE(r.played({"Ann", "/other.cdg", "O", "O", 1001, 3, 100, "finished"}));
    ASSERT_TRUE(r.addSong("Ann", s) && r.addSong("Bob", s) && r.addSong("Ann", s));
    ASSERT_TRUE(r.setSongKey("Ann", 1, 4, std::nullopt));
    const std::vector<RotationTurn> turns = r.upcoming(3);
    ASSERT_EQ(names(turns), "AnnBobAnn");
    EXPECT_EQ(turns[0].song.key, -2);
    EXPECT_EQ(turns[0].song.tempo, 95);
    EXPECT_EQ(turns[1].song.key, 0);  // Bob never sang it
    EXPECT_EQ(turns[1].song.tempo, 100);
    EXPECT_EQ(turns[2].song.key, 4);  // the host's
    EXPECT_EQ(turns[2].song.tempo, 95);
    // Singing it again in another key is what is remembered next.
    ASSERT_TRUE(r.played({"Ann", s.path, s.artist, s.title, 1002, 1, 100, "skipped"}));
    EXPECT_EQ(r.rememberedKey("Ann", s.path), (KeyMemory{1, 100}));
    EXPECT_EQ(r.next()->song.key, 1);
    // A renamed singer keeps their keys.
    ASSERT_TRUE(r.renameSinger("Ann", "Anna"));
    EXPECT_EQ(r.rememberedKey("Anna", "/other.cdg"), (KeyMemory{3, 100}));
    EXPECT_FALSE(r.rememberedKey("Ann", "/other.cdg").has_value());
}

TEST(Rotation, HistoryListsTonightAndASingerAndExportsCsv) {
    TempFolder temp;
    LibraryIndex index(temp.path("library.db"));
    SingerRotation r(index);
    const std::vector<HistoryEntry> played = {
        {"Ann", "/a.cdg", "ABBA", "Waterloo", 1000, 0, 100, "finished"},
        {"Smith, \"Bo\"", "/b,\"c\".zip", "Line\nBreak", "Plain", 90000, -3, 90, "skipped"},
        {"Ann", "/c.cdg", "Queen", "Crème", 90100, 2, 100, "stopped"},
    };
    for (const HistoryEntry& e : played) ASSERT_TRUE(r.played(e)) << r.error();
    EXPECT_EQ(r.historySince(0), played);
    EXPECT_EQ(r.historySince(90000), (std::vector<HistoryEntry>{played[1], played[2]}));
    EXPECT_EQ(r.historyOf("Ann"), (std::vector<HistoryEntry>{played[0], played[2]}));
    EXPECT_EQ(historyCsv(played),
              "started,singer,artist,title,key,tempo,ended,path\r\n"
              "1970-01-01T00:16:40Z,Ann,ABBA,Waterloo,0,100,finished,/a.cdg\r\n"
              "1970-01-02T01:00:00Z,\"Smith, \"\"Bo\"\"\",\"Line\nBreak\",Plain,-3,90,skipped,"
              "\"/b,\"\"c\"\".zip\"\r\n"
              "1970-01-02T01:01:40Z,Ann,Queen,Crème,2,100,stopped,/c.cdg\r\n");
    EXPECT_EQ(historyCsv({{"A", "/x", "", "", 1796677500, 0, 100, "finished"}}).substr(50, 20),
              "2026-12-07T21:05:00Z");
}

// Every action is in the file at once: a rotation opened again (as after the
// program was killed) goes on where it was. A turn's song stays in the file until
// the turn ends: lyrvox-cdg reading the file beside a running player sees it
// neither queued nor ended, and a turn left open by a killed player is given back
// first by the next one, recorded "interrupted".
TEST(Rotation, ARotationOpenedAgainGoesOnWhereItWas) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    std::string before;
    {
        LibraryIndex index(db);
        SingerRotation r(index);
        singer("A", 3)(r);
        singer("B", 3)(r);
        singer("C", 3)(r);
        ASSERT_TRUE(r.next().has_value());
        ASSERT_TRUE(r.setAway("B", true));
        ASSERT_TRUE(r.makeNext("C"));
        ASSERT_TRUE(r.moveSinger("A", 2));
        ASSERT_TRUE(r.setSongKey("C", 0, -1, 110));
        ASSERT_TRUE(r.addSinger("D", SingerRotation::Join::NextRound));
        ASSERT_TRUE(r.addSong("D", song("D", 1), 0));
        ASSERT_TRUE(r.played({"A", "/songs/A2.cdg", "", "", 5, 2, 100, "finished"}));
        ASSERT_TRUE(r.next().has_value() && r.endTurn(nullptr, true));  // stopped at once
        before = names(r.upcoming(20));
        ASSERT_EQ(before, "CCADCA");
        ASSERT_EQ(r.next(20)->singer, "C");  // playing when the program is killed
        LibraryIndex besideIndex(db);
        SingerRotation beside(besideIndex);
        EXPECT_EQ(names(beside.upcoming(20)), "CADCA");
        EXPECT_FALSE(beside.playing().has_value());
    }
    for (const bool first : {true, false}) {
        LibraryIndex index(db);
        SingerRotation r(index);
        EXPECT_EQ(r.resumeInterrupted().has_value(), first);
        EXPECT_EQ(names(r.upcoming(20)), before);
        const std::vector<RotationTurn> turns = r.upcoming(3);
        EXPECT_EQ(turns[0].song.key, -1);
        EXPECT_EQ(turns[0].song.tempo, 110);
        EXPECT_EQ(turns[2].song.path, "/songs/A2.cdg");
        EXPECT_EQ(turns[2].song.key, 2);
        EXPECT_TRUE(r.singers().at(0).away);
        EXPECT_EQ(r.historyOf("A").size(), 1u);
        EXPECT_EQ(r.historyOf("C"),
                  (std::vector<HistoryEntry>{
                      {"C", "/songs/C1.cdg", "Artist C", "Title 1", 20, -1, 110, "interrupted"}}));
    }
}

// The file may give a later singer the id of one who left: the turn the host gave
// the one who left is not theirs.
TEST(Rotation, ATurnGivenToASingerWhoLeftIsNooneElsesAfterReopening) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    {
        LibraryIndex index(db);
        SingerRotation r(index);
        ABC3.act(r);
        ASSERT_TRUE(r.makeNext("C") && r.removeSinger("C"));
    }
    LibraryIndex index(db);
    SingerRotation r(index);
    singer("D", 1)(r);
    EXPECT_EQ(names(r.upcoming(3)), "ABD");
}

// A library of the second layout opens with its songs and queue and takes a rotation.
TEST(Rotation, TheSecondLayoutsLibraryIsKept) {
    TempFolder temp;
    const std::string db = temp.path("library.db");
    {
        LibraryIndex index(db);
        const std::int64_t folder = index.addFolder("/songs", NameOrder::ArtistTitle);
        LibrarySong s;
        s.path = "/songs/ABBA - Waterloo.cdg";
        s.artist = "ABBA";
        s.title = "Waterloo";
        ASSERT_TRUE(index.writeBatch(folder, {s}));
        ASSERT_TRUE(index.saveQueue({{s.path, s.artist, s.title}}));
    }
    // Back to the second layout, as an older Lyrvox left it.
    sqlite(db,
           "DROP TABLE singer_songs; DROP TABLE singers; DROP TABLE rotation; "
           "DROP TABLE key_memory; DROP TABLE history; DROP TABLE loudness; PRAGMA user_version=2");
    ASSERT_EQ(sqlite(db, "PRAGMA user_version"), "2\n");
    LibraryIndex index(db);
    ASSERT_TRUE(index.isOpen() && index.notice().empty()) << index.notice();
    EXPECT_EQ(index.search("waterloo", 5).total, 1);
    EXPECT_EQ(index.loadQueue().size(), 1u);
    SingerRotation r(index);
    ASSERT_TRUE(r.addSinger("Ann") && r.addSong("Ann", song("A", 1)));
    EXPECT_EQ(names(r.upcoming(2)), "Ann");
    EXPECT_EQ(sqlite(db, "PRAGMA user_version"),
              std::to_string(LibraryIndex::kSchemaVersion) + "\n");
}

}  // namespace
}  // namespace lyrvox
