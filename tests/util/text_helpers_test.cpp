#include "util/text_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "tests/extract/temp_folder.h"

namespace lyrvox {
namespace {

using testing::TempFolder;
using testing::writeFile;
namespace fs = std::filesystem;

// Folders keep their separator; an extension is looked for in the last component
// only, and leading full stops belong to the name, never to its extension.
TEST(PathParts, FolderFileNameExtensionAndStem) {
    struct Case {
        const char *path, *folder, *fileName, *extension, *stripped;
    } const cases[] = {
        {"/CDG/song.cdg", "/CDG/", "song.cdg", "cdg", "/CDG/song"},
        {"/CDG/", "/CDG/", "", "", "/CDG/"},
        {"song.cdg", "", "song.cdg", "cdg", "song"},
        {"/song.cdg", "", "/song.cdg", "cdg", "/song"},  // the only separator is the first
        {"", "", "", "", ""},
        {"/home/ann/my.songs/hit.cdg", "/home/ann/my.songs/", "hit.cdg", "cdg",
         "/home/ann/my.songs/hit"},
        {"a.b.c", "", "a.b.c", "c", "a"},
        {"song.", "", "song.", "", "song"},
        {".cdg", "", ".cdg", "", ".cdg"},
        {"song", "", "song", "", "song"},
        {"/home/my.dir/song", "/home/my.dir/", "song", "", "/home/my.dir/song"},
        {"/home/ann/.karaoke/song.CDG", "/home/ann/.karaoke/", "song.CDG", "CDG",
         "/home/ann/.karaoke/song"},
        {"/home/ann/.cdg", "/home/ann/", ".cdg", "", "/home/ann/.cdg"},
        {"/songs/.hit.cdg", "/songs/", ".hit.cdg", "cdg", "/songs/.hit"},
        {"..hit.cdg", "", "..hit.cdg", "cdg", "..hit"},
        {"...", "", "...", "", "..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(FileNameOf(c.path), c.fileName) << c.path;
        EXPECT_EQ(ExtensionOf(c.path), c.extension) << c.path;
        EXPECT_EQ(StripExtension(c.path), c.stripped) << c.path;
    }
}

TEST(PathParts, AnyBytesAndAnyLengthAreSafe) {
    const std::string longStem(100000, 'a');  // far past any 16-bit position
    EXPECT_EQ(StripExtension(longStem + ".cdg"), longStem);
    EXPECT_EQ(ExtensionOf(longStem + ".cdg"), "cdg");
    EXPECT_EQ(FileNameOf("/x/" + longStem), longStem);
    EXPECT_EQ(FolderOf(longStem + "/a"), longStem + "/");

    const std::string invalidUtf8 = "/\xC3\x28/\xFF\xFE.\x80\xBF";
    EXPECT_EQ(StripExtension(invalidUtf8), "/\xC3\x28/\xFF\xFE");
    EXPECT_EQ(ExtensionOf(invalidUtf8), "\x80\xBF");
    EXPECT_FALSE(FileExists(invalidUtf8));
    EXPECT_FALSE(findFileIgnoreCase(invalidUtf8).has_value());
    EXPECT_FALSE(FileExists("/" + longStem + "/" + longStem));  // name too long: false
    EXPECT_FALSE(findFileIgnoreCase("/" + longStem).has_value());
}

// Halves go to the even neighbour, 60 seconds carry into the next minute, and
// a 16-bit product no longer overflows.
TEST(PacketsToTime, RoundsCarriesAndNeverOverflows) {
    const std::pair<double, const char*> cases[] = {
        {0, "00:00"},          {300, "00:01"},   {18000, "01:00"},    {150, "00:00"},
        {450, "00:02"},        {750, "00:02"},   {1800000, "100:00"}, {17999, "01:00"},
        {89999, "05:00"},      {17850, "01:00"}, {17849, "00:59"},    {9846000, "547:00"},
        {18000000, "1000:00"}, {-1, "00:00"},    {-18000, "00:00"},   {std::nan(""), "00:00"}};
    for (const auto& [packets, text] : cases) EXPECT_EQ(PacketsToTime(packets), text) << packets;
    EXPECT_FALSE(PacketsToTime(1e300).empty());
    EXPECT_FALSE(PacketsToTime(HUGE_VAL).empty());
}

class FileExistsTest : public ::testing::Test {
  protected:
    void expectExists(const std::vector<std::pair<std::string, bool>>& cases) {
        for (const auto& [name, exists] : cases)
            EXPECT_EQ(FileExists(dir_.path(name)), exists) << name;
    }
    TempFolder dir_;
};

TEST_F(FileExistsTest, OrdinaryFilesOnly) {
    writeFile(dir_.path("song.cdg"), "x");
    writeFile(dir_.path(".hidden.cdg"), "x");
    fs::create_directory(dir_.path("folder.bin"));
    fs::create_directory(dir_.path(".karaoke"));
    writeFile(dir_.path(".karaoke/hit.cdg"), "x");
    fs::create_symlink(dir_.path("song.cdg"), dir_.path("link.cdg"));
    fs::create_symlink(dir_.path("gone.cdg"), dir_.path("broken.cdg"));

    EXPECT_FALSE(FileExists(""));
    expectExists({{"song.cdg", true},
                  {"Song.cdg", false},  // names are case-sensitive here
                  {"missing.cdg", false},
                  {".hidden.cdg", false},
                  {"folder.bin", false},
                  {".karaoke/hit.cdg", true},  // a hidden folder is fine
                  {"link.cdg", true},
                  {"broken.cdg", false},
                  {"no-such-folder/song.cdg", false},
                  {"song.cdg/inner", false},  // a file is not a folder
                  {"song.cdg" + std::string(1, '\0') + "x", false}});
}

TEST_F(FileExistsTest, WildcardsInTheLastComponent) {
    writeFile(dir_.path("disc01.bin"), "x");
    writeFile(dir_.path(".disc02.bin"), "x");
    fs::create_directory(dir_.path("sub.raw"));
    expectExists({{"*.bin", true},
                  {"disc??.bin", true},
                  {"d*1*", true},
                  {"disc?.bin", false},
                  {"*.BIN", false},
                  {"*.raw", false},    // only a directory matches
                  {"*02.bin", false},  // only a hidden file matches
                  {"nowhere/*.bin", false}});
}

TEST_F(FileExistsTest, FolderWithTrailingSeparatorAsksForAnyOrdinaryFile) {
    const std::string folder = dir_.path("songs") + "/";
    fs::create_directory(folder);
    EXPECT_FALSE(FileExists(folder));
    writeFile(folder + ".hidden", "x");
    fs::create_directory(folder + "inner");
    EXPECT_FALSE(FileExists(folder));
    writeFile(folder + "a.cdg", "x");
    EXPECT_TRUE(FileExists(folder));
    EXPECT_FALSE(FileExists(dir_.path("missing") + "/"));
}

TEST_F(FileExistsTest, FindFileIgnoreCase) {
    for (const char* name :
         {"Song.CDG", "track.Mp3", "TRACK.mp3", "both.cdg", "Both.cdg", ".Hidden.cdg"})
        writeFile(dir_.path(name), "x");
    fs::create_directory(dir_.path("Folder.bin"));

    const std::pair<const char*, const char*> cases[] = {
        {"song.cdg", "Song.CDG"},
        {"SONG.cdg", "Song.CDG"},
        {"Both.cdg", "Both.cdg"},  // exact wins
        {"BOTH.CDG", "Both.cdg"},  // then byte order
        {"track.mp3", "TRACK.mp3"},
        {".hidden.cdg", ".Hidden.cdg"},  // hidden only by convention: found all the same
        {"song.cd", nullptr},
        {"folder.bin", nullptr},
        {"*.cdg", nullptr},  // no wildcards
        {"", nullptr}};
    for (const auto& [asked, found] : cases) {
        const auto result = findFileIgnoreCase(dir_.path(asked));
        if (found)
            EXPECT_EQ(result, dir_.path(found)) << asked;
        else
            EXPECT_FALSE(result.has_value()) << asked;
    }
    EXPECT_FALSE(findFileIgnoreCase("").has_value());
}

}  // namespace
}  // namespace lyrvox
