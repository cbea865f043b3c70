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

TEST(PathParts, FolderAndFileNameKeepTheirSeparatorRules) {
    EXPECT_EQ(FolderOf("/CDG/song.cdg"), "/CDG/");
    EXPECT_EQ(FolderOf("/CDG/"), "/CDG/");
    EXPECT_EQ(FolderOf("song.cdg"), "");
    EXPECT_EQ(FolderOf("/song.cdg"), "");  // the only separator is the first character
    EXPECT_EQ(FolderOf(""), "");
    EXPECT_EQ(FolderOf("/home/ann/my.songs/hit.cdg"), "/home/ann/my.songs/");

    EXPECT_EQ(FileNameOf("/CDG/song.cdg"), "song.cdg");
    EXPECT_EQ(FileNameOf("song.cdg"), "song.cdg");
    EXPECT_EQ(FileNameOf("/song.cdg"), "/song.cdg");
    EXPECT_EQ(FileNameOf("/CDG/"), "");
    EXPECT_EQ(FileNameOf(""), "");
}

TEST(PathParts, ExtensionIsLookedForInTheLastComponentOnly) {
    EXPECT_EQ(ExtensionOf("song.cdg"), "cdg");
    EXPECT_EQ(ExtensionOf("a.b.c"), "c");
    EXPECT_EQ(ExtensionOf("song."), "");
    EXPECT_EQ(ExtensionOf(".cdg"), "");
    EXPECT_EQ(ExtensionOf("song"), "");
    EXPECT_EQ(ExtensionOf(""), "");
    EXPECT_EQ(ExtensionOf("/home/my.dir/song"), "");
    EXPECT_EQ(ExtensionOf("/home/ann/.karaoke/song.CDG"), "CDG");
    EXPECT_EQ(ExtensionOf("/home/ann/.cdg"), "");
}

TEST(PathParts, StripExtensionNeverCutsAFolderName) {
    EXPECT_EQ(StripExtension("song.cdg"), "song");
    EXPECT_EQ(StripExtension("a.b.c"), "a");
    EXPECT_EQ(StripExtension("/CDG/song.cdg"), "/CDG/song");
    EXPECT_EQ(StripExtension("/home/ann/my.songs/hit.cdg"), "/home/ann/my.songs/hit");
    EXPECT_EQ(StripExtension("/home/ann/.karaoke/hit.mp3"), "/home/ann/.karaoke/hit");
    EXPECT_EQ(StripExtension("/home/my.dir/song"), "/home/my.dir/song");
    EXPECT_EQ(StripExtension(".cdg"), ".cdg");
    EXPECT_EQ(StripExtension("/songs/.cdg"), "/songs/.cdg");
    EXPECT_EQ(StripExtension("song"), "song");
    // Leading full stops belong to the name, not to its extension.
    EXPECT_EQ(StripExtension("/songs/.hit.cdg"), "/songs/.hit");
    EXPECT_EQ(StripExtension("..hit.cdg"), "..hit");
    EXPECT_EQ(StripExtension("..."), "...");
    EXPECT_EQ(StripExtension(""), "");
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

TEST(PacketsToTime, DescribedExamplesAndRounding) {
    EXPECT_EQ(PacketsToTime(0), "00:00");
    EXPECT_EQ(PacketsToTime(300), "00:01");
    EXPECT_EQ(PacketsToTime(18000), "01:00");
    EXPECT_EQ(PacketsToTime(150), "00:00");  // 0.5 s: halves go to the even neighbour
    EXPECT_EQ(PacketsToTime(450), "00:02");  // 1.5 s
    EXPECT_EQ(PacketsToTime(750), "00:02");  // 2.5 s
    EXPECT_EQ(PacketsToTime(1800000), "100:00");
}

TEST(PacketsToTime, NeverShowsSixtySecondsNorOverflows) {
    EXPECT_EQ(PacketsToTime(17999), "01:00");  // 59.997 s rounds into the next minute
    EXPECT_EQ(PacketsToTime(89999), "05:00");
    EXPECT_EQ(PacketsToTime(17850), "01:00");  // exactly 59.5 s, a half to the even 60
    EXPECT_EQ(PacketsToTime(17849), "00:59");
    EXPECT_EQ(PacketsToTime(9846000), "547:00");  // where a 16-bit product overflowed
    EXPECT_EQ(PacketsToTime(18000000), "1000:00");
    EXPECT_EQ(PacketsToTime(-1), "00:00");
    EXPECT_EQ(PacketsToTime(-18000), "00:00");
    EXPECT_EQ(PacketsToTime(std::nan("")), "00:00");
    EXPECT_FALSE(PacketsToTime(1e300).empty());
    EXPECT_FALSE(PacketsToTime(HUGE_VAL).empty());
}

class FileExistsTest : public ::testing::Test {
  protected:
    TempFolder dir_;
};

TEST_F(FileExistsTest, OrdinaryFilesOnly) {
    writeFile(dir_.path("song.cdg"), "x");
    writeFile(dir_.path(".hidden.cdg"), "x");
    std::filesystem::create_directory(dir_.path("folder.bin"));
    std::filesystem::create_directory(dir_.path(".karaoke"));
    writeFile(dir_.path(".karaoke/hit.cdg"), "x");
    std::filesystem::create_symlink(dir_.path("song.cdg"), dir_.path("link.cdg"));
    std::filesystem::create_symlink(dir_.path("gone.cdg"), dir_.path("broken.cdg"));

    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(FileExists(dir_.path("song.cdg")));
    EXPECT_FALSE(FileExists(dir_.path("Song.cdg")));  // names are case-sensitive here
    EXPECT_FALSE(FileExists(dir_.path("missing.cdg")));
    EXPECT_FALSE(FileExists(dir_.path(".hidden.cdg")));
    EXPECT_FALSE(FileExists(dir_.path("folder.bin")));
    EXPECT_TRUE(FileExists(dir_.path(".karaoke/hit.cdg")));  // a hidden folder is fine
    EXPECT_TRUE(FileExists(dir_.path("link.cdg")));
    EXPECT_FALSE(FileExists(dir_.path("broken.cdg")));
    EXPECT_FALSE(FileExists(dir_.path("no-such-folder/song.cdg")));
    EXPECT_FALSE(FileExists(dir_.path("song.cdg/inner")));  // a file is not a folder
    EXPECT_FALSE(FileExists(dir_.path("song.cdg") + std::string(1, '\0') + "x"));
}

TEST_F(FileExistsTest, WildcardsInTheLastComponent) {
    writeFile(dir_.path("disc01.bin"), "x");
    writeFile(dir_.path(".disc02.bin"), "x");
    std::filesystem::create_directory(dir_.path("sub.raw"));

    EXPECT_TRUE(FileExists(dir_.path("*.bin")));
    EXPECT_TRUE(FileExists(dir_.path("disc??.bin")));
    EXPECT_TRUE(FileExists(dir_.path("d*1*")));
    EXPECT_FALSE(FileExists(dir_.path("disc?.bin")));
    EXPECT_FALSE(FileExists(dir_.path("*.BIN")));
    EXPECT_FALSE(FileExists(dir_.path("*.raw")));    // only a directory matches
    EXPECT_FALSE(FileExists(dir_.path("*02.bin")));  // only a hidden file matches
    EXPECT_FALSE(FileExists(dir_.path("nowhere/*.bin")));
}

TEST_F(FileExistsTest, FolderWithTrailingSeparatorAsksForAnyOrdinaryFile) {
    const std::string folder = dir_.path("songs") + "/";
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(FileExists(folder));
    writeFile(folder + ".hidden", "x");
    std::filesystem::create_directory(folder + "inner");
    EXPECT_FALSE(FileExists(folder));
    writeFile(folder + "a.cdg", "x");
    EXPECT_TRUE(FileExists(folder));
    EXPECT_FALSE(FileExists(dir_.path("missing") + "/"));
}

TEST_F(FileExistsTest, FindFileIgnoreCase) {
    writeFile(dir_.path("Song.CDG"), "x");
    writeFile(dir_.path("track.Mp3"), "x");
    writeFile(dir_.path("TRACK.mp3"), "x");
    writeFile(dir_.path("both.cdg"), "x");
    writeFile(dir_.path("Both.cdg"), "x");
    writeFile(dir_.path(".Hidden.cdg"), "x");
    std::filesystem::create_directory(dir_.path("Folder.bin"));

    EXPECT_EQ(findFileIgnoreCase(dir_.path("song.cdg")), dir_.path("Song.CDG"));
    EXPECT_EQ(findFileIgnoreCase(dir_.path("SONG.cdg")), dir_.path("Song.CDG"));
    EXPECT_EQ(findFileIgnoreCase(dir_.path("Both.cdg")), dir_.path("Both.cdg"));  // exact wins
    EXPECT_EQ(findFileIgnoreCase(dir_.path("BOTH.CDG")), dir_.path("Both.cdg"));  // byte order
    EXPECT_EQ(findFileIgnoreCase(dir_.path("track.mp3")), dir_.path("TRACK.mp3"));
    EXPECT_FALSE(findFileIgnoreCase(dir_.path("song.cd")).has_value());
    // Hidden only by convention: a song the user names is found all the same.
    EXPECT_EQ(findFileIgnoreCase(dir_.path(".hidden.cdg")), dir_.path(".Hidden.cdg"));
    EXPECT_FALSE(findFileIgnoreCase(dir_.path("folder.bin")).has_value());
    EXPECT_FALSE(findFileIgnoreCase(dir_.path("*.cdg")).has_value());  // no wildcards
    EXPECT_FALSE(findFileIgnoreCase(dir_.path("")).has_value());
    EXPECT_FALSE(findFileIgnoreCase("").has_value());
}

}  // namespace
}  // namespace lyrvox
