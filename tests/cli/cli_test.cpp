// lyrvox-cdg render, info and extract through their entry points, with string streams.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <memory>
#include <sstream>

#include "library/library_index.h"
#include "playback/cdg/cdg_machine.h"
#include "playback/cdg/packet_encoder.h"
#include "support/sqlite_shell.h"
#include "support/test_files.h"
#include "tools/cli/cli_commands.h"
#include "util/sha256.h"

namespace lyrvox {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
const std::string kSong = LYRVOX_CORPUS_DIR "/demokar.cdg";

using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);

// A subcommand on these words, as "STATUS OUT|ERR".
std::string runOn(Command command, const std::vector<std::string>& words) {
    std::ostringstream out, err;
    const int status = command(words, out, err);
    return std::to_string(status) + " " + out.str() + "|" + err.str();
}

// The same on the words of `line` (split at spaces; the test's paths have none).
std::string run(Command command, const std::string& line) {
    std::istringstream words(line);
    return runOn(command, {std::istream_iterator<std::string>(words), {}});
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What render --sha256 prints: the machine's own picture after `packets` packets.
std::string pictureHash(std::size_t packets) {
    const std::string bytes = readFile(kSong);
    auto m = std::make_unique<CdgMachine>();
    m->beginSession();
    interpretPackets(*m, reinterpret_cast<const uint8_t*>(bytes.data()),
                     std::min(bytes.size(), packets * kPacketSize));
    std::vector<uint8_t> rgb(kScreenWidth * kScreenHeight * 3);
    m->renderRgb24(rgb.data());
    return sha256Hex(rgb.data(), rgb.size()) + "\n";
}

TEST(Cli, RenderHashesOrWritesThePictureAfterPacketsTimeOrTheWholeSong) {
    EXPECT_EQ(run(runRender, kSong + " --packets 9000 --sha256"), "0 " + pictureHash(9000) + "|");
    EXPECT_EQ(run(runRender, "--time 30 " + kSong + " --sha256"), "0 " + pictureHash(9000) + "|");
    EXPECT_EQ(run(runRender, kSong + " --sha256"),
              "0 " + pictureHash(SIZE_MAX / kPacketSize) + "|");
    TempFolder dir;
    EXPECT_EQ(run(runRender, kSong + " --packets 2000 -o " + dir.path("a.png")), "0 |");
    EXPECT_EQ(run(runRender, kSong + " -o " + dir.path("a.BMP")), "0 |");
    EXPECT_EQ(readFile(dir.path("a.png")).substr(0, 4), "\x89PNG");
    EXPECT_EQ(readFile(dir.path("a.BMP")).substr(0, 2), "BM");
}

TEST(Cli, RenderAndInfoRefuseBadArgumentsAndFilesTheyCannotUse) {
    for (const char* bad : {"--packets abc", "--packets -5", "--packets 12x", "--time nan",
                            "--packets 99999999999999999999", "--time -1", "--time 1e300",
                            "--packets 5 --time 1", "--bogus", "-o x.gif", "--packets"}) {
        const std::string r = run(runRender, kSong + " --sha256 " + bad);
        EXPECT_TRUE(r.starts_with("2 |") && has(r, "usage:")) << bad << ": " << r;
    }
    EXPECT_TRUE(run(runRender, kSong).starts_with("2 |"));  // nothing to do
    EXPECT_TRUE(run(runInfo, "").starts_with("2 |"));
    TempFolder dir;
    const std::string song = dir.path("song.png");  // a song named like a picture
    writeFile(song, encode::fileOf({encode::memoryPreset(1)}));
    EXPECT_TRUE(run(runRender, song + " -o " + song).starts_with("2 |"));
    EXPECT_EQ(readFile(song).size(), 24u);
    EXPECT_TRUE(run(runRender, song + " -o " + dir.path("none/a.png")).starts_with("1 |"));
    // A full disk (the file-size limit) leaves an earlier picture as it was, and no other file.
    writeFile(dir.path("old.bmp"), std::string("old"));
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{}, limited{1000, RLIM_INFINITY};
    getrlimit(RLIMIT_FSIZE, &limit);
    setrlimit(RLIMIT_FSIZE, &limited);
    const std::string full = run(runRender, song + " -o " + dir.path("old.bmp"));
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_TRUE(has(full, "1 |lyrvox-cdg render: cannot write '") &&
                has(full, "': File too large"));
    EXPECT_TRUE(testing::filesIn(dir.path()).size() == 2 && readFile(dir.path("old.bmp")) == "old");
    for (const std::string& path : {dir.path("no-such.cdg"), dir.path()}) {
        EXPECT_TRUE(run(runRender, path + " --sha256").starts_with("1 |")) << path;
        EXPECT_TRUE(run(runInfo, path).starts_with("1 |")) << path;
    }
}

TEST(Cli, InfoCountsInstructionsAndWarnsAboutATail) {
    TempFolder dir;
    std::vector<uint8_t> bytes =
        encode::fileOf({encode::memoryPreset(3), encode::packet(0x7F),
                        encode::scroll(true, 0, 1, 0, 0, 0), encode::solidTile(1, 0, 0, true)});
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5});
    writeFile(dir.path("t.cdg"), bytes);
    const std::string r = run(runInfo, dir.path("t.cdg"));
    for (const char* part : {"0 file:", "packets:   4\n", " 1  memory preset", "24  scroll copy",
                             "38  tile block XOR", "63  unknown, ignored", "the last 5 bytes"})
        EXPECT_TRUE(has(r, part)) << part << " in " << r;
    // Asked for more packets than the file holds: the picture after all of them.
    EXPECT_TRUE(has(run(runRender, dir.path("t.cdg") + " --packets 10 --sha256"), "holds only 4"));
}

TEST(Cli, ExtractExitsZeroOnlyWhenEverythingWasConverted) {
    TempFolder dir;
    writeFile(dir.path("song.bin"), testing::makeImage(2));
    writeFile(dir.path("bad.bin"), std::string(2449, 'x'));
    EXPECT_EQ(run(runExtract, dir.path("song.bin")), "0 File(s) converted!\n|");
    EXPECT_EQ(run(runExtract, dir.path("missing.bin")), "1 |lyrvox-cdg: File not found!\n");
    EXPECT_EQ(run(runExtract, dir.path("bad.bin")),
              "1 |lyrvox-cdg: Not a valid CDRWin CD+G file!\n");
    // An existing output is kept unless --force is given.
    writeFile(dir.path("song.cdg"), std::string("old"));
    EXPECT_EQ(run(runExtract, dir.path("song.bin")),
              "1 |lyrvox-cdg: Nothing converted: the existing file(s) were kept.\nlyrvox-cdg: " +
                  dir.path("song.cdg") + " exists and was kept; --force replaces it\n");
    EXPECT_EQ(readFile(dir.path("song.cdg")), "old");
    EXPECT_EQ(run(runExtract, "--force " + dir.path("song.bin")), "0 File(s) converted!\n|");
    EXPECT_EQ(readFile(dir.path("song.cdg")), testing::expectedSubcode(testing::makeImage(2), 2));
    EXPECT_TRUE(run(runExtract, "a.bin b.bin").starts_with("2 |usage:"));
    EXPECT_TRUE(run(runExtract, "--help").starts_with("0 usage:"));
}

// After "--" every word is a name; names reach the file system byte for byte and are
// printed escaped; a name too long for the system is reported with its reason.
TEST(Cli, NamesOfAnyShape) {
    TempFolder dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::string song = "-t\xE9\\.cdg", tooLong(300, 'a');
    writeFile(song, encode::fileOf({encode::memoryPreset(1)}));
    writeFile("-s.bin", testing::makeImage(1));
    EXPECT_TRUE(run(runInfo, "-- " + song).starts_with("0 file:      -t\\xE9\\\\.cdg\n"));
    EXPECT_TRUE(run(runRender, "--sha256 -o \xE9.png -- " + song).starts_with("0 "));
    EXPECT_EQ(readFile("\xE9.png").substr(0, 4), "\x89PNG");
    EXPECT_EQ(run(runExtract, "-- -s.bin"), "0 File(s) converted!\n|");
    EXPECT_EQ(run(runInfo, tooLong), "1 |lyrvox-cdg info: '" + tooLong + "': File name too long\n");
    EXPECT_TRUE(has(run(runRender, tooLong + " --sha256"), "': File name too long\n"));
    std::filesystem::current_path(previous);
}

// scan takes folders only, and adds none of them when one is not a folder. (A --db
// that is not a file: LibraryFile.WhatIsNotARegularFileIsRefusedAndLeftAlone, and the
// last rows of Cli.SingersAndQueueRunANightFromScripts.)
TEST(Cli, LibraryScanRefusesPathsThatAreNotFolders) {
    TempFolder dir;
    const std::string db = dir.path("library.db");
    std::filesystem::create_directory(dir.path("songs"));
    writeFile(dir.path("notes.txt"), std::string("text"));
    const std::pair<std::string, std::string> scans[] = {
        {dir.path("nonexistent"), "No such file or directory; nothing was added"},
        {dir.path("notes.txt"), "not a folder; nothing was added"}};
    for (const auto& [path, says] : scans) {
        const std::string r = runOn(runLibrary, {"scan", dir.path("songs"), path, "--db", db});
        EXPECT_TRUE(r.starts_with("1 |") && has(r, says)) << path << ": " << r;
    }
    EXPECT_TRUE(LibraryIndex(db).folders().empty());
    EXPECT_TRUE(
        runOn(runLibrary, {"scan", dir.path("songs"), "--db", db}).starts_with("0 0 songs"));
}

// A library damaged where the opening does not look: the search that finds it says
// so and answers from the library made again. (The copy kept and what is made again:
// DamageTest in library_file_test.)
TEST(Cli, LibrarySearchOnADamagedLibraryRebuildsItAndFinds) {
    TempFolder dir;
    const std::string db = dir.path("library.db");
    std::filesystem::create_directory(dir.path("songs"));
    writeFile(dir.path("songs/ABBA - Waterloo.cdg"), std::string(7200, '\0'));
    ASSERT_TRUE(
        runOn(runLibrary, {"scan", dir.path("songs"), "--db", db}).starts_with("0 1 songs: 1 new"));
    testing::garble(db, "songs");
    const std::string r = runOn(runLibrary, {"search", "waterloo", "--db", db});
    EXPECT_TRUE(r.starts_with("0 ABBA\tWaterloo\t")) << r;
    EXPECT_TRUE(has(r, "was damaged; a copy was kept as " + db + ".broken-1")) << r;
}

// Every column of a search is escaped: no name reaches the terminal raw, and each
// song stays one line of six tab-separated columns.
TEST(Cli, LibrarySearchEscapesEveryColumn) {
    TempFolder dir;
    std::filesystem::create_directory(dir.path("songs"));
    struct Case {
        const char* file;     // in the songs folder, ".cdg" added
        const char* line;     // as printed, up to the length
        const char* printed;  // the file's name as printed
    };
    const Case cases[] = {
        {"Esc\x1B[31mape - Red", "Esc\\x1B[31mape\tRed\t", "Esc\\x1B[31mape - Red"},
        {"Tab\tbed - Two\nLines", "Tab\\tbed\tTwo\\nLines\t", "Tab\\tbed - Two\\nLines"},
        {"Back\\slash - Bell\a", "Back\\\\slash\tBell\\x07\t", "Back\\\\slash - Bell\\x07"},
        {"SC12-01 - Car\rriage - Latin\xE9", "Car\\rriage\tLatin\xEF\xBF\xBD\tSC12-01",
         "SC12-01 - Car\\rriage - Latin\\xE9"},
    };
    for (const Case& c : cases)
        writeFile(dir.path("songs/") + c.file + ".cdg", std::string(7200, '\0'));
    const std::string db = " --db " + dir.path("library.db");
    ASSERT_TRUE(run(runLibrary, "scan " + dir.path("songs") + db).starts_with("0 4 songs: 4 new"));
    const std::string found = run(runLibrary, "search" + db);
    ASSERT_TRUE(found.starts_with("0 ") && found.ends_with("|")) << found;
    std::istringstream lines(found.substr(2, found.size() - 3));
    std::string line;
    std::vector<std::string> printed;
    while (std::getline(lines, line)) printed.push_back(line);
    ASSERT_EQ(printed.size(), std::size(cases)) << found;
    for (const Case& c : cases) {
        const auto at = std::find_if(printed.begin(), printed.end(),
                                     [&](const std::string& l) { return l.starts_with(c.line); });
        ASSERT_NE(at, printed.end()) << c.line << " in " << found;
        EXPECT_EQ(std::count(at->begin(), at->end(), '\t'), 5) << *at;
        EXPECT_TRUE(at->ends_with("\t00:01\tCDG\t" + dir.path("songs/") + c.printed + ".cdg"))
            << *at;
        for (char byte : *at)
            EXPECT_TRUE(byte == '\t' || static_cast<unsigned char>(byte) >= 0x20) << *at;
    }
}

// The order of the names below a folder, set by scan's options, takes effect for the
// songs already listed; a scan without one keeps it. (Folders inside folders, the
// deepest winning: LibraryTest.NameOrderReadsTheNamesAgainForAFolderOrASubfolder.)
TEST(Cli, LibraryScanSetsTheNameOrderOfAFolder) {
    TempFolder dir;
    std::filesystem::create_directories(dir.path("songs/sub"));
    writeFile(dir.path("songs/Waterloo - ABBA.cdg"), std::string(7200, '\0'));
    writeFile(dir.path("songs/sub/Queen - Bohemian Rhapsody.cdg"), std::string(7200, '\0'));
    const std::string db = " --db " + dir.path("library.db");
    const auto names = [&] {
        std::string list;
        const std::string found = run(runLibrary, "search" + db);
        std::istringstream lines(found.substr(2, found.rfind('|') - 2));
        for (std::string line; std::getline(lines, line);)
            list += line.substr(0, line.find('\t', line.find('\t') + 1)) + ";";
        return list;
    };
    struct Case {
        const char* args;
        const char* status;
        const char* names;  // artist and title of each song, by artist
    };
    const Case cases[] = {
        {"--title-artist songs", "0 2 songs: 2 new", "ABBA\tWaterloo;Bohemian Rhapsody\tQueen;"},
        {"songs", "0 2 songs: 0 new", "ABBA\tWaterloo;Bohemian Rhapsody\tQueen;"},
        {"--artist-title songs", "0 2 songs: 0 new", "Queen\tBohemian Rhapsody;Waterloo\tABBA;"},
        {"--title-artist elsewhere/sub", "0 0 songs", "Queen\tBohemian Rhapsody;Waterloo\tABBA;"},
        {"--title-artist --artist-title songs", "2 |", "Queen\tBohemian Rhapsody;Waterloo\tABBA;"},
    };
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::filesystem::create_directories("elsewhere/sub");
    for (const Case& c : cases) {
        const std::string r = run(runLibrary, std::string("scan ") + c.args + db);
        EXPECT_TRUE(r.starts_with(c.status)) << c.args << ": " << r;
        EXPECT_EQ(names(), c.names) << c.args;
    }
    EXPECT_TRUE(run(runLibrary, "search --title-artist x" + db).starts_with("2 |"));
    std::filesystem::current_path(previous);
}

// A termination signal stops an extraction as Stop does, leaving no output and no
// temporary file, and then still ends the process.
TEST(Cli, ExtractStopsCleanlyOnATerminationSignal) {
    TempFolder dir;
    writeFile(dir.path("song.bin"), testing::makeImage(50));
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {  // the signal waits, held, until the extraction looks for it
            sigset_t held;
            sigemptyset(&held);
            sigaddset(&held, signalNumber);
            sigprocmask(SIG_BLOCK, &held, nullptr);
            raise(signalNumber);
            run(runExtract, dir.path("song.bin"));
            sigprocmask(SIG_UNBLOCK, &held, nullptr);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
        EXPECT_EQ(testing::filesIn(dir.path()).size(), 1u) << signalNumber;
    }
}

// A night's singers and queue on one library file: each line a command's words
// and what it must answer ("STATUS OUT|ERR", or its beginning and a part of it).
TEST(Cli, SingersAndQueueRunANightFromScripts) {
    TempFolder dir;
    const std::string db = dir.path("library.db");
    const std::string song = dir.path("Queen - Bohemian Rhapsody.cdg");
    const std::string zip = dir.path("ABBA - Waterloo.ZIP");
    writeFile(song, std::string(7200, '\0'));
    writeFile(zip, std::string(100, 'z'));
    writeFile(dir.path("notes.txt"), std::string(100, 't'));
    writeFile(dir.path("empty.cdg"), std::string());
    struct Case {
        Command command;
        std::vector<std::string> words;
        std::string starts, says;  // says: a part of the whole answer
    };
    const Case cases[] = {
        {runSingers, {"list"}, "0 |", ""},
        {runQueue, {"list"}, "0 |", ""},
        {runSingers, {"add", "Ann", "Smith, \"Bo\"\nJr"}, "0 |", ""},
        {runSingers, {"add", "Cy", "Ann"}, "1 |", "Ann: already a singer; nothing was changed"},
        {runSingers, {"add", "Dee", "Dee"}, "1 |", "already a singer"},
        {runSingers, {"remove", "Nobody"}, "1 |", "Nobody: no such singer"},
        {runSingers, {"add"}, "2 |", "usage:"},
        {runSingers, {"rename", "Ann"}, "2 |", "usage:"},
        {runSingers, {"list", "--next-round"}, "2 |", "usage:"},
        {runQueue, {"add", "--singer", "Ann", "--key", "-2", song, zip}, "0 |", ""},
        {runQueue, {"add", "--singer", "Smith, \"Bo\"\nJr", song}, "0 |", ""},
        {runQueue, {"add", zip}, "0 |", ""},
        {runQueue, {"add", "--singer", "Cy", song}, "1 |", "Cy: no such singer"},
        {runQueue,
         {"add", "--singer", "Ann", song, dir.path("notes.txt")},
         "1 |",
         "notes.txt: not a karaoke song"},
        {runQueue, {"add", "--singer", "Ann", dir.path("empty.cdg")}, "1 |", "empty or not CD+G"},
        {runQueue,
         {"add", "--singer", "Ann", dir.path("gone.cdg")},
         "1 |",
         "No such file or directory; nothing was queued"},
        {runQueue, {"add", "--singer", "Ann", dir.path()}, "1 |", "not a file"},
        {runQueue, {"add", "--singer", "Ann", "--key", "7", song}, "2 |", "-6 to +6"},
        {runQueue, {"add", "--singer", "Ann", "--key", "x", song}, "2 |", "--key takes"},
        {runQueue, {"add", "--key", "1", song}, "2 |", "--key needs --singer"},
        {runQueue, {"list", "--singer", "Ann"}, "2 |", "usage:"},
        {runQueue, {"add"}, "2 |", "usage:"},
        // Ann's two songs come round by turns; the name's comma, quote and line
        // break are escaped; the plain queue follows with no singer.
        {runQueue,
         {"list"},
         "0 Ann\tQueen\tBohemian Rhapsody\t-2\n"
         "Smith, \"Bo\"\\nJr\tQueen\tBohemian Rhapsody\t0\n"
         "Ann\tABBA\tWaterloo\t-2\n"
         "\tABBA\tWaterloo\t0\n|",
         ""},
        {runSingers, {"list"}, "0 Ann\t2 songs\nSmith, \"Bo\"\\nJr\t1 song\n|", ""},
        {runSingers, {"remove", "Ann"}, "0 |", ""},
        {runQueue, {"list"}, "0 Smith", "\tABBA\tWaterloo\t0\n|"},
        {runSingers, {"list", "--db", ""}, "1 |", "--db needs a file name"},
        {runQueue, {"list", "--db", dir.path()}, "1 |", "is a folder, not a song library file"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = c.words;
        if (std::find(words.begin(), words.end(), "--db") == words.end())
            words.insert(words.end(), {"--db", db});
        const std::string r = runOn(c.command, words);
        EXPECT_TRUE(r.starts_with(c.starts) && has(r, c.says)) << words.at(0) << ": " << r;
    }
}

}  // namespace
}  // namespace lyrvox
